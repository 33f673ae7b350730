// Colours and font descriptions shared by the framework and the console's drawing code. No
// platform state here; the GDI side (fonts made real, system colours looked up) is in
// GraphicsWin.h.
#pragma once

#include <cstdint>
#include <string>

namespace murmella::forms {

// 0x00BBGGRR for a plain colour (red in the lowest byte), 0x80000000 + a system colour index
// (the platform's COLOR_ numbering) for a system colour, clNone for no colour.
using TColor = std::uint32_t;

inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clHighlightText = 0x8000000E;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor cl3DDkShadow = 0x80000015;
inline constexpr TColor cl3DLight = 0x80000016;
inline constexpr TColor clInfoBk = 0x80000018;

inline constexpr bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == 0x80000000u; }

enum TFontStyle : unsigned {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

// A font as the console describes one. Height in pixels, negative for the character height
// without internal leading (-11 is 8 points at 96 pixels per inch), as the platform takes it.
struct TFontData {
  std::string Name = "MS Shell Dlg 2";
  int Height = -11;
  unsigned Style = 0;  // TFontStyle bits
  TColor Color = clWindowText;
  unsigned char Charset = 1;  // DEFAULT_CHARSET
  friend bool operator==(const TFontData&, const TFontData&) = default;
};

// Points to the platform's pixel height at `pixelsPerInch`, rounded as the platform rounds.
inline int FontHeightForPoints(int points, int pixelsPerInch) {
  const long long n = static_cast<long long>(points) * pixelsPerInch;
  return -static_cast<int>((n + (n >= 0 ? 36 : -36)) / 72);
}
inline int FontPointsForHeight(int height, int pixelsPerInch) {
  const long long n = static_cast<long long>(height < 0 ? -height : height) * 72;
  return pixelsPerInch > 0 ? static_cast<int>((n + pixelsPerInch / 2) / pixelsPerInch) : 0;
}

}  // namespace murmella::forms
