// How the markup's attribute values are read: leniently, never failing.
#pragma once

#include "MarkupCanvas.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace murmella::popup {

struct TLenientNumber {
  int Value = 0;
  bool Complete = false;  // the whole text was a number, nothing left over
};

// Leading blanks, optional sign, decimal digits or hexadecimal after "$", "x", "X" or "0x".
// Reading stops at the first character that does not belong; the value read so far is used,
// without its sign when something was left over. Magnitudes saturate at the int range.
TLenientNumber ReadNumber(std::string_view text);
inline int ReadNumberValue(std::string_view text) { return ReadNumber(text).Value; }

// "#RRGGBB", or a colour name such as "clRed" in any case. Empty means "no colour".
bool ReadColor(std::string_view value, TColor& color);

// Looks up a colour name (already lower case); unknown names give black.
TColor ColorFromName(std::string_view lowerName);

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// The text between the first double quote after the first occurrence of name (any case)
// and the next double quote; empty when the name is absent or the value is not quoted.
std::string_view AttributeValue(std::string_view attributes, std::string_view name);

// The text between the first and the second double quote.
std::string_view FirstQuotedValue(std::string_view attributes);

// round(a * b / c) as the platform's MulDiv does it, halves away from zero; c == 0 gives -1.
int MulDiv(int a, int b, int c);

// Rounds to the nearest integer, halves to even.
long long RoundHalfEven(double v);

}  // namespace murmella::popup
