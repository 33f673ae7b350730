#include "PageScripts.h"

#include <algorithm>
#include <array>

namespace murmella::webcontrol {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (Lower(s[at + i]) != word[i]) return false;
  return true;
}

// A tag name ends at white space, '>' or '/' (or the end of the page).
bool TagNameEndsAt(std::string_view s, std::size_t at) {
  return at >= s.size() || IsSpace(s[at]) || s[at] == '>' || s[at] == '/';
}

// Position of "</name" closing a raw-text element started before `from`, or npos.
std::size_t FindEndTag(std::string_view s, std::size_t from, std::string_view name) {
  for (std::size_t p = s.find("</", from); p != std::string_view::npos; p = s.find("</", p + 1))
    if (StartsWithNoCase(s, p + 2, name) && TagNameEndsAt(s, p + 2 + name.size())) return p;
  return std::string_view::npos;
}

struct TAttribute {
  std::string Name;   // lower case
  std::string Value;
};

// Reads the attributes of a start tag from just after its name; returns the position after
// its '>' (or the end of the page when the tag never closes).
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

bool IsJavaScript(const std::vector<TAttribute>& attrs) {
  static constexpr std::array<std::string_view, 6> kTypes = {
      "text/javascript", "application/javascript", "text/jscript",
      "application/x-javascript", "text/ecmascript", "application/ecmascript"};
  for (const TAttribute& a : attrs) {
    if (a.Name == "src") return false;
    if (a.Name == "type") {
      std::string t = LowerTrimmed(a.Value);
      t = t.substr(0, t.find(';'));  // parameters such as charset do not change the language
      if (!t.empty() && std::find(kTypes.begin(), kTypes.end(), LowerTrimmed(t)) == kTypes.end()) return false;
    }
    if (a.Name == "language") {
      const std::string l = LowerTrimmed(a.Value);
      if (!l.empty() && l.rfind("javascript", 0) != 0 && l.rfind("jscript", 0) != 0 && l.rfind("ecmascript", 0) != 0)
        return false;
    }
  }
  return true;
}

// Old pages hide scripts from browsers without scripting inside "<!--" ... "-->"; neither
// line is script.
std::string_view StripCommentWrapper(std::string_view text, std::size_t& skippedNewlines) {
  std::size_t p = 0;
  while (p < text.size() && IsSpace(text[p])) ++p;
  if (text.substr(p, 4) == "<!--") {
    const std::size_t eol = text.find('\n', p);
    skippedNewlines = static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(p), '\n')) +
                      (eol == std::string_view::npos ? 0 : 1);
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
  }
  std::size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  if (end >= 3 && text.substr(end - 3, 3) == "-->") {
    const std::size_t bol = text.rfind('\n', end - 1);
    text = bol == std::string_view::npos ? std::string_view{} : text.substr(0, bol + 1);
  }
  return text;
}

// Elements whose content is text, not markup: a "<script" inside them is not a script.
constexpr std::array<std::string_view, 8> kRawText = {"style", "textarea", "title", "xmp",
                                                      "noscript", "iframe", "noembed", "noframes"};

}  // namespace

std::vector<TInlineScript> ExtractInlineScripts(std::string_view s) {
  std::vector<TInlineScript> scripts;
  std::size_t line = 1, counted = 0;
  auto lineAt = [&](std::size_t pos) {
    line += static_cast<std::size_t>(std::count(s.begin() + static_cast<std::ptrdiff_t>(counted),
                                                s.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
    counted = pos;
    return line;
  };
  std::size_t p = 0;
  while ((p = s.find('<', p)) != std::string_view::npos) {
    if (s.substr(p, 4) == "<!--") {
      const std::size_t end = s.find("-->", p + 4);
      if (end == std::string_view::npos) break;
      p = end + 3;
      continue;
    }
    if (StartsWithNoCase(s, p + 1, "script") && TagNameEndsAt(s, p + 7)) {
      std::vector<TAttribute> attrs;
      const std::size_t body = ReadAttributes(s, p + 7, attrs);
      const std::size_t end = FindEndTag(s, body, "script");
      const std::size_t stop = end == std::string_view::npos ? s.size() : end;
      if (IsJavaScript(attrs)) {
        std::size_t skipped = 0;
        const std::string_view text = StripCommentWrapper(s.substr(body, stop - body), skipped);
        if (!text.empty()) scripts.push_back({std::string(text), lineAt(body) + skipped});
      }
      p = stop;
      continue;
    }
    bool raw = false;
    for (std::string_view name : kRawText) {
      if (StartsWithNoCase(s, p + 1, name) && TagNameEndsAt(s, p + 1 + name.size())) {
        std::vector<TAttribute> ignored;
        const std::size_t body = ReadAttributes(s, p + 1 + name.size(), ignored);
        const std::size_t end = FindEndTag(s, body, name);
        p = end == std::string_view::npos ? s.size() : end;
        raw = true;
        break;
      }
    }
    if (!raw) ++p;
  }
  return scripts;
}

std::u16string DecodePageText(std::string_view b) {
  std::u16string out;
  out.reserve(b.size());
  std::size_t i = 0;
  while (i < b.size()) {
    const unsigned char c = static_cast<unsigned char>(b[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < b.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const unsigned char cc = static_cast<unsigned char>(b[i + static_cast<std::size_t>(k)]);
      if ((cc & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (valid && ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
                  (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
      valid = false;
    if (!valid) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

}  // namespace murmella::webcontrol
