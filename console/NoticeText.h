// What the console knows of the page's external object and the notice it composes: the one
// method name, its dispatch number, and the notice's markup around the visitor's name.
#pragma once

#include <string>
#include <string_view>

namespace murmella::console {

inline constexpr long kPageSetupDispId = 1;

inline constexpr std::string_view kNoticePrefix = "<B>Murmellachat</B><br><FONT color=\"#FF0000\">";
inline constexpr std::string_view kNoticeSuffix = "</FONT> is ONLINE.";

// "pagesetup" with its letters A to Z in any case; any other difference is another name.
inline bool IsExternalMethodName(std::string_view name) {
  constexpr std::string_view kName = "pagesetup";
  if (name.size() != kName.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kName[i]) return false;
  }
  return true;
}

// The name is not escaped: markup in it is the renderer's to interpret.
inline std::string ComposeNotice(std::string_view name) {
  std::string notice;
  notice.reserve(kNoticePrefix.size() + name.size() + kNoticeSuffix.size());
  notice.append(kNoticePrefix).append(name).append(kNoticeSuffix);
  return notice;
}

}  // namespace murmella::console
