#include "LocalPath.h"

#include "MarkupValues.h"

#include <array>
#include <string>

namespace murmella::popup {

namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsReservedDeviceName(std::string_view component) {
  // The device is found whatever follows a dot, and trailing blanks are ignored.
  std::size_t dot = component.find('.');
  std::string_view base = component.substr(0, dot);
  while (!base.empty() && (base.back() == ' ' || base.back() == '\t')) base.remove_suffix(1);
  const std::string up = UpperCase(base);
  static constexpr std::array<std::string_view, 6> kPlain{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view n : kPlain)
    if (up == n) return true;
  if (up.size() == 4 && (up.compare(0, 3, "COM") == 0 || up.compare(0, 3, "LPT") == 0) &&
      ((up[3] >= '0' && up[3] <= '9') || up[3] == '\xB9' || up[3] == '\xB2' || up[3] == '\xB3'))
    return true;
  return false;
}

}  // namespace

bool IsPlainLocalPath(std::string_view path) {
  if (path.empty()) return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  // Leading blanks are dropped by the platform before the prefix is looked at.
  std::size_t start = 0;
  while (start < path.size() && path[start] == ' ') ++start;
  std::string_view p = path.substr(start);
  if (p.size() >= 2 && IsSlash(p[0]) && IsSlash(p[1])) return false;
  if (p.size() >= 4 && IsSlash(p[0]) && p[1] == '?' && p[2] == '?' && IsSlash(p[3])) return false;
  if (FindNoCase(p, "file:") == 0 || p.find("://") != std::string_view::npos) return false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] != ':') continue;
    const unsigned char d = static_cast<unsigned char>(p[0]);
    const bool driveColon = i == 1 && ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z'));
    if (!driveColon) return false;
  }
  std::size_t i = (p.size() >= 2 && p[1] == ':') ? 2 : 0;
  while (i <= p.size()) {
    std::size_t j = i;
    while (j < p.size() && !IsSlash(p[j])) ++j;
    if (IsReservedDeviceName(p.substr(i, j - i))) return false;
    i = j + 1;
  }
  return true;
}

bool NamesShortcutLikeFile(std::string_view name) {
  // Trailing dots and spaces are dropped by the file system, so "x.lnk." opens x.lnk.
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  const std::size_t slash = name.find_last_of("\\/");
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  auto endsWith = [&](std::string_view tail) {
    if (base.size() < tail.size()) return false;
    const std::string_view end = base.substr(base.size() - tail.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
      const char c = end[i];
      if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != tail[i]) return false;
    }
    return true;
  };
  if (endsWith("desktop.ini") && base.size() == 11) return true;
  for (std::string_view ext : {".lnk", ".url", ".pif", ".scf", ".library-ms", ".searchconnector-ms"})
    if (endsWith(ext)) return true;
  return false;
}

}  // namespace murmella::popup
