#include "StartupRules.h"

#include <algorithm>

namespace murmella::startup {

namespace {
bool IsControlOrSpace(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::string_view TrimControl(std::string_view text) {
  while (!text.empty() && IsControlOrSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsControlOrSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<StoredLine> SplitStoredLine(std::string_view line) {
  const auto dot = line.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto component = TrimControl(line.substr(0, dot));
  const auto property = TrimControl(line.substr(dot + 1));
  if (component.empty() || property.empty()) return std::nullopt;
  return StoredLine{std::string(component), std::string(property)};
}

std::string ProgramFileName(std::string_view path) {
  const auto cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string ProgramBaseName(std::string_view path) {
  std::string name = ProgramFileName(path);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string QuotedProgramPath(std::string_view path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '"';
  quoted += path;
  quoted += '"';
  return quoted;
}

std::string_view TrimBackslashes(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

}  // namespace murmella::startup
