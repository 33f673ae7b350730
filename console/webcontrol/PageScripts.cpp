#include "PageScripts.h"

#include "HtmlTags.h"
#include "PageCharset.h"
#include "Utf8Text.h"

#include <algorithm>
#include <array>

namespace murmella::webcontrol {

namespace {

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
    char32_t cp = 0;
    const std::size_t n = text::Utf8SequenceAt(b, i, cp);
    if (n == 0) {
      out += static_cast<char16_t>(static_cast<unsigned char>(b[i]));
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
    i += n;
  }
  return out;
}

}  // namespace murmella::webcontrol
