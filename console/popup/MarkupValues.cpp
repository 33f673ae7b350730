#include "MarkupValues.h"

#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace murmella::popup {

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Upper(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::array<std::pair<std::string_view, TColor>, 40> kColorNames{{
    {"clred", 0x0000FF},          {"clblack", 0x000000},
    {"clblue", 0xFF0000},         {"clgreen", 0x008000},
    {"claqua", 0xFFFF00},         {"clyellow", 0x00FFFF},
    {"clfuchsia", 0xFF00FF},      {"clwhite", 0xFFFFFF},
    {"cllime", 0x00FF00},         {"clsilver", 0xC0C0C0},
    {"clgray", 0x808080},         {"clolive", 0x008080},
    {"clnavy", 0x800000},         {"clpurple", 0x800080},
    {"clteal", 0x808000},         {"clmaroon", 0x000080},
    {"clbackground", 0x80000001}, {"clactivecaption", 0x80000002},
    {"clinactivecaption", 0x80000003}, {"clmenu", 0x80000004},
    {"clwindow", 0x80000005},     {"clwindowframe", 0x80000006},
    {"clmenutext", 0x80000007},   {"clwindowtext", 0x80000008},
    {"clcaptiontext", 0x80000009}, {"clactiveborder", 0x8000000A},
    {"clinactiveborder", 0x8000000B}, {"clappworkspace", 0x8000000C},
    {"clhighlight", 0x8000000D},  {"clhighlighttext", 0x8000000E},
    {"clbtnface", 0x8000000F},    {"clbtnshadow", 0x80000010},
    {"clgraytext", 0x80000011},   {"clbtntext", 0x80000012},
    {"clinactivecaptiontext", 0x80000013}, {"clbtnhighlight", 0x80000014},
    {"cl3ddkshadow", 0x80000015}, {"cl3dlight", 0x80000016},
    {"clinfotext", 0x80000017},   {"clinfobk", 0x80000018},
}};

// One pair of "#RRGGBB": any character at or above 'A' counts from 'A' as 10, any other
// from '0', so malformed digits still give a (strange but bounded) value.
int ColorPair(std::string_view v, std::size_t at) {
  if (at + 2 > v.size()) return 0;
  auto digit = [](unsigned char c) { return c >= 'A' ? c - 'A' + 10 : c - '0'; };
  return digit(static_cast<unsigned char>(v[at])) * 16 + digit(static_cast<unsigned char>(v[at + 1]));
}

}  // namespace

TLenientNumber ReadNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
    base = 16;
    i += 2;
  }
  long long value = 0;
  std::size_t digits = 0;
  for (; i < text.size(); ++i) {
    int d = base == 16 ? HexDigit(static_cast<unsigned char>(text[i]))
                       : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (d < 0) break;
    value = value * base + d;
    if (value > INT_MAX) value = INT_MAX;  // hostile markup gets a bounded number
    ++digits;
  }
  TLenientNumber r;
  r.Complete = digits > 0 && i == text.size();
  r.Value = static_cast<int>(value);
  if (negative && r.Complete) r.Value = -r.Value;
  return r;
}

TColor ColorFromName(std::string_view lowerName) {
  for (const auto& [name, color] : kColorNames)
    if (name == lowerName) return color;
  return clBlack;
}

bool ReadColor(std::string_view value, TColor& color) {
  if (value.empty()) return false;
  if (value[0] == '#') {
    int r = ColorPair(value, 1), g = ColorPair(value, 3), b = ColorPair(value, 5);
    color = static_cast<TColor>(r + 256 * g + 65536 * b);
    return true;
  }
  color = ColorFromName(LowerCase(value));
  return true;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(Lower(static_cast<unsigned char>(c)));
  return r;
}

std::size_t FindNoCase(std::string_view h, std::string_view n, std::size_t from) {
  if (n.empty()) return from <= h.size() ? from : std::string_view::npos;
  if (h.size() < n.size()) return std::string_view::npos;
  const unsigned char first = Upper(static_cast<unsigned char>(n[0]));
  for (std::size_t i = from; i + n.size() <= h.size(); ++i) {
    if (Upper(static_cast<unsigned char>(h[i])) != first) continue;
    std::size_t k = 1;
    while (k < n.size() && Upper(static_cast<unsigned char>(h[i + k])) == Upper(static_cast<unsigned char>(n[k]))) ++k;
    if (k == n.size()) return i;
  }
  return std::string_view::npos;
}

std::string_view AttributeValue(std::string_view attributes, std::string_view name) {
  std::size_t at = FindNoCase(attributes, name);
  if (at == std::string_view::npos) return {};
  std::size_t open = attributes.find('"', at + name.size());
  if (open == std::string_view::npos) return {};
  std::size_t close = attributes.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return attributes.substr(open + 1, close - open - 1);
}

std::string_view FirstQuotedValue(std::string_view attributes) {
  std::size_t open = attributes.find('"');
  if (open == std::string_view::npos) return {};
  std::size_t close = attributes.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return attributes.substr(open + 1, close - open - 1);
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long p = static_cast<long long>(a) * b;
  long long q = c;
  bool negative = (p < 0) != (q < 0);
  unsigned long long up = p < 0 ? -static_cast<unsigned long long>(p) : p;
  unsigned long long uq = q < 0 ? -static_cast<unsigned long long>(q) : q;
  unsigned long long r = (up + uq / 2) / uq;
  if (r > INT_MAX) return -1;
  return negative ? -static_cast<int>(r) : static_cast<int>(r);
}

long long RoundHalfEven(double v) {
  double f = std::floor(v);
  double diff = v - f;
  long long i = static_cast<long long>(f);
  if (diff > 0.5) return i + 1;
  if (diff < 0.5) return i;
  return (i % 2 == 0) ? i : i + 1;
}

}  // namespace murmella::popup
