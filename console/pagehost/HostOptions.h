// The page host's option sets: each member stands for one document host flag or one download
// control flag, in the platform's bit order, so that a set's value is the OR of its members'
// single bits.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace murmella::pagehost {

// Members of UserInterfaceOptions, each one DOCHOSTUIFLAG bit.
enum class TUserInterfaceOption {
  DialogBox,                   // 0x1
  DisableHelpMenu,             // 0x2
  DontUse3DBorders,            // 0x4
  DontUseScrollBars,           // 0x8
  DisableScriptInactive,       // 0x10
  OpenNewWindow,               // 0x20
  DisableOffscreen,            // 0x40
  FlatScrollBars,              // 0x80
  DivBlockDefault,             // 0x100
  ActivateClientHitOnly,       // 0x200
  OverrideBehaviourFactory,    // 0x400
  CodePageLinkedFonts,         // 0x800
  UrlEncodingDisableUTF8,      // 0x1000
  UrlEncodingEnableUTF8,       // 0x2000
  EnablesFormsAutoComplete,    // 0x4000; 0x8000 has no member
  EnableInPlaceNavigation,     // 0x10000
  ImeEnableReconversion,       // 0x20000
  EnableThemes,                // 0x40000
  DisableThemes,               // 0x80000
  NoPictures,                  // 0x100000
  No3DOuterBorder,             // 0x200000
  DisableEditNsFixup,          // 0x400000
  LocalMachineAccessCheck,     // 0x800000
  DisableUntrustedProtocol,    // 0x1000000
  HostNavigates,               // 0x2000000
  EnableRedirectNotification,  // 0x4000000
  UseWindowlessSelectControl,  // 0x8000000
  UseWindowedSelectControl,    // 0x10000000
  EnableActiveXInactivateMode, // 0x20000000
};
inline constexpr int kUserInterfaceOptionCount = 29;

// Members of DownloadOptions, each one DLCTL bit.
enum class TDownloadOption {
  DownloadImages,             // 0x10
  DownloadVideos,             // 0x20
  DownloadBGSounds,           // 0x40
  DontExecuteScripts,         // 0x80
  DontExecuteJava,            // 0x100
  DontExecuteActiveX,         // 0x200
  DontDownloadActiveX,        // 0x400
  DownloadButDontDisplay,     // 0x800
  DontDownloadFrame,          // 0x1000
  CheckPageResynchronize,     // 0x2000
  DownloadAndIgnoreCache,     // 0x4000
  DontDownloadBehaviors,      // 0x8000
  SuppressedMetaCharset,      // 0x10000
  DisableUrlIfEncodingUTF8,   // 0x20000
  EnableUrlIfEncodingUTF8,    // 0x40000
  ForceOfflineMode,           // 0x10000000
  DontPerformClientPull,      // 0x20000000
  DownloadInSilentMode,       // 0x40000000
  WorkOfflineIfNotConnected,  // 0x80000000
};
inline constexpr int kDownloadOptionCount = 19;

// The platform value of one member.
constexpr std::uint32_t OptionValue(TUserInterfaceOption o) {
  const int i = static_cast<int>(o);
  return i < 15 ? std::uint32_t{1} << i : std::uint32_t{1} << (i + 1);  // skips 0x8000
}
constexpr std::uint32_t OptionValue(TDownloadOption o) {
  const int i = static_cast<int>(o);
  return i < 15 ? std::uint32_t{0x10} << i : std::uint32_t{0x10000000} << (i - 15);
}

// A set of members; Value() is what the platform receives.
template <typename Option>
class TOptionSet {
 public:
  constexpr TOptionSet() = default;
  constexpr TOptionSet(std::initializer_list<Option> members) {
    for (Option m : members) Include(m);
  }
  constexpr void Include(Option m) { bits_ |= std::uint64_t{1} << static_cast<int>(m); }
  constexpr void Exclude(Option m) { bits_ &= ~(std::uint64_t{1} << static_cast<int>(m)); }
  constexpr bool Contains(Option m) const { return bits_ >> static_cast<int>(m) & 1; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Value() const {
    std::uint32_t v = 0;
    for (int i = 0; i < 64; ++i)
      if (bits_ >> i & 1) v |= OptionValue(static_cast<Option>(i));
    return v;
  }
  friend constexpr bool operator==(TOptionSet, TOptionSet) = default;

 private:
  std::uint64_t bits_ = 0;
};

using TUserInterfaceOptions = TOptionSet<TUserInterfaceOption>;
using TDownloadOptions = TOptionSet<TDownloadOption>;

// What a fresh host has before a window's settings are applied.
inline constexpr TUserInterfaceOptions kDefaultUserInterfaceOptions{
    TUserInterfaceOption::EnablesFormsAutoComplete, TUserInterfaceOption::EnableThemes};
inline constexpr TDownloadOptions kDefaultDownloadOptions{
    TDownloadOption::DownloadImages, TDownloadOption::DownloadVideos, TDownloadOption::DownloadBGSounds};

// Whether a key-down of virtual key `key` with Control held and Alt not is one of the
// shortcuts the host swallows: `disabled` lists them as the characters whose codes equal the
// virtual keys (upper-case letters name letter keys).
constexpr bool IsDisabledCtrlShortcut(std::string_view disabled, unsigned key) {
  for (char c : disabled)
    if (static_cast<unsigned char>(c) == key) return true;
  return false;
}

}  // namespace murmella::pagehost
