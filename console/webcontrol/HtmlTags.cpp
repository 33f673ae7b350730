#include "HtmlTags.h"

namespace murmella::webcontrol {

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view word) {
  if (at > s.size() || s.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (Lower(s[at + i]) != word[i]) return false;
  return true;
}

bool TagNameEndsAt(std::string_view s, std::size_t at) {
  return at >= s.size() || IsSpace(s[at]) || s[at] == '>' || s[at] == '/';
}

std::size_t FindEndTag(std::string_view s, std::size_t from, std::string_view name) {
  for (std::size_t p = s.find("</", from); p != std::string_view::npos; p = s.find("</", p + 1))
    if (StartsWithNoCase(s, p + 2, name) && TagNameEndsAt(s, p + 2 + name.size())) return p;
  return std::string_view::npos;
}

std::size_t ReadAttributes(std::string_view s, std::size_t p, std::vector<TAttribute>& out) {
  while (p < s.size()) {
    while (p < s.size() && (IsSpace(s[p]) || s[p] == '/')) ++p;
    if (p >= s.size()) break;
    if (s[p] == '>') return p + 1;
    TAttribute a;
    while (p < s.size() && !IsSpace(s[p]) && s[p] != '>' && s[p] != '/' && s[p] != '=') a.Name += Lower(s[p++]);
    if (a.Name.empty()) a.Name += Lower(s[p++]);  // a stray '=' names an attribute, as in HTML
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p < s.size() && s[p] == '=') {
      ++p;
      while (p < s.size() && IsSpace(s[p])) ++p;
      if (p < s.size() && (s[p] == '"' || s[p] == '\'')) {
        const char q = s[p++];
        const std::size_t end = s.find(q, p);
        a.Value = std::string(s.substr(p, end == std::string_view::npos ? std::string_view::npos : end - p));
        p = end == std::string_view::npos ? s.size() : end + 1;
      } else {
        while (p < s.size() && !IsSpace(s[p]) && s[p] != '>') a.Value += s[p++];
      }
    }
    out.push_back(std::move(a));
  }
  return s.size();
}

std::string LowerTrimmed(std::string_view v) {
  while (!v.empty() && IsSpace(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsSpace(v.back())) v.remove_suffix(1);
  std::string r;
  for (char c : v) r += Lower(c);
  return r;
}

}  // namespace murmella::webcontrol
