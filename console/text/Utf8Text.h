// The notice's text and the pages' decoded bytes are UTF-8; the platform draws and scripts in
// UTF-16. Conversions between the two, with a defined answer for text that is not well formed.
#pragma once

#include <string>
#include <string_view>

namespace murmella::text {

inline constexpr char16_t kReplacementChar = 0xFFFD;

// Each maximal ill-formed part of the input (a stray continuation byte, a sequence cut short,
// an overlong form, a surrogate or a value past U+10FFFF) becomes one U+FFFD; characters
// outside the Basic Multilingual Plane become a surrogate pair.
std::u16string Utf8ToUtf16(std::string_view utf8);

// The length of the well-formed UTF-8 sequence at `i` (its code point in `cp`), or 0 where the
// bytes there are not UTF-8 (a stray byte, an overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t i, char32_t& cp);

// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-8 form of one code point (U+FFFD for a surrogate or a value past U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);

// Whether the text holds a character written right to left (Hebrew, Arabic, Syriac, Thaana,
// N'Ko and their presentation forms, or an explicit right-to-left mark or embedding).
bool HasRightToLeft(std::string_view utf8);

}  // namespace murmella::text
