#include "Utf8Text.h"

namespace murmella::text {

namespace {

constexpr char32_t kNoChar = 0xFFFFFFFF;

// Decodes one character at text[i], advancing i past it, or past the maximal ill-formed part
// there (returning kNoChar). Bounds of the second byte follow the well-formed ranges, so that
// overlongs and surrogates are refused at their first byte.
char32_t Next(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i++);
  if (b0 < 0x80) return b0;
  int extra;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t c;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, c = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, c = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return kNoChar;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return kNoChar;
    const unsigned char b = byte(i);
    if (b < lo || b > hi) return kNoChar;
    lo = 0x80, hi = 0xBF;
    c = (c << 6) | (b & 0x3F);
    ++i;
  }
  return c;
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t i, char32_t& cp) {
  std::size_t next = i;
  const char32_t c = Next(bytes, next);
  if (c == kNoChar) return 0;
  cp = c;
  return next - i;
}

// Never more UTF-16 units than bytes: the result is written in place and cut to size.
std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      out[n++] = static_cast<char16_t>(utf8[i++]);
      continue;
    }
    const char32_t c = Next(utf8, i);
    if (c == kNoChar) {
      out[n++] = kReplacementChar;
    } else if (c >= 0x10000) {
      out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(c);
    }
  }
  out.resize(n);
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementChar;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    AppendUtf8(out, c);
  }
  return out;
}

bool HasRightToLeft(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++i;
      continue;
    }
    const char32_t c = Next(utf8, i);
    if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
        c == 0x200F || c == 0x202B || c == 0x202E || (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF))
      return true;
  }
  return false;
}

}  // namespace murmella::text
