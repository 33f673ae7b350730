#include "ChatPages.h"

#include <cstdio>

namespace murmella::service {

namespace {

// Decodes one UTF-8 sequence at `i`; a byte that starts no valid sequence is its own code point.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](size_t k) { return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80; };
  auto at = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
  if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
    char32_t c = (char32_t{b0} & 0x1F) << 6 | at(1);
    i += 2;
    return c;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
    char32_t c = (char32_t{b0} & 0x0F) << 12 | at(1) << 6 | at(2);
    if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
      i += 3;
      return c;
    }
  }
  if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    char32_t c = (char32_t{b0} & 0x07) << 18 | at(1) << 12 | at(2) << 6 | at(3);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      i += 4;
      return c;
    }
  }
  ++i;
  return b0;
}

void AppendUnit(std::string& out, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04X", unit);
  out += buf;
}

}  // namespace

std::string JsStringLiteral(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const char32_t c = NextCodePoint(text, i);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                       c == '.' || c == ',' || c == '-' || c == '_' || c == ':' || c == '!' || c == '?' || c == '(' ||
                       c == ')';
    if (plain) {
      out += static_cast<char>(c);
    } else if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      AppendUnit(out, 0xD800 + static_cast<unsigned>(v >> 10));
      AppendUnit(out, 0xDC00 + static_cast<unsigned>(v & 0x3FF));
    } else {
      AppendUnit(out, static_cast<unsigned>(c));
    }
  }
  out += '"';
  return out;
}

std::string PresencePage(const std::vector<std::string>& visitors, int reloadMs) {
  std::string page =
      "<html><head><title>Murmella presence</title></head><body>\n"
      "<p>Presence page</p>\n"
      // The reload comes first, in its own block, so that a failing call below cannot stop it.
      "<script>setTimeout(function () { location.reload(); }, " +
      std::to_string(reloadMs) + ");</script>\n";
  if (!visitors.empty()) {
    page += "<script>\n";
    for (const std::string& name : visitors) page += "window.external.pagesetup(" + JsStringLiteral(name) + ");\n";
    page += "</script>\n";
  }
  page += "</body></html>\n";
  return page;
}

std::string RegisterPage() {
  return "<html><head><title>Murmella sign-up</title></head><body>\n"
         "<h1>Sign up for Murmella</h1>\n"
         "<p>Create an operator account to answer your visitors' chats.</p>\n"
         "</body></html>\n";
}

std::string DisconnectPage() {
  return "<html><head><title>Murmella</title></head><body>\n"
         "<p>You have been logged out. Visitors see you as offline.</p>\n"
         "</body></html>\n";
}

}  // namespace murmella::service
