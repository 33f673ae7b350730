// Cutting UTF-16 text to a field's length without parting a surrogate pair (a character outside
// the Basic Multilingual Plane): the cut falls one unit earlier instead.
#pragma once

#include <cstddef>
#include <string_view>

namespace murmella::forms {

template <class Char>
std::basic_string_view<Char> CutUtf16(std::basic_string_view<Char> text, std::size_t maxUnits) {
  static_assert(sizeof(Char) == 2, "UTF-16 units");
  if (text.size() <= maxUnits) return text;
  std::size_t n = maxUnits;
  if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return text.substr(0, n);
}

}  // namespace murmella::forms
