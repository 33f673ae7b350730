// The drawing surface the markup renderer works on. The renderer itself knows no window
// system: the GDI canvas implements this on Windows, tests implement it with fixed metrics.
#pragma once

#include "Graphics.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace murmella::popup {

// Colours and font styles are the framework's (forms/Graphics.h); the renderer names them here.
using forms::TColor;
using forms::IsSystemColor;
using forms::clNone;
using forms::clBlack;
using forms::clWhite;
using forms::clRed;
using forms::clBlue;
using forms::clYellow;
using forms::clSilver;
using forms::clGray;
using forms::clHighlight;
using forms::clHighlightText;
using forms::clBtnFace;
using forms::clWindowText;
using forms::cl3DDkShadow;
using forms::cl3DLight;
using forms::clInfoBk;

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Right and bottom are exclusive; empty when Right <= Left or Bottom <= Top.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TRect Intersect(const TRect& o) const {
    return {Left > o.Left ? Left : o.Left, Top > o.Top ? Top : o.Top, Right < o.Right ? Right : o.Right,
            Bottom < o.Bottom ? Bottom : o.Bottom};
  }
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

using FontStyle = forms::TFontStyle;
using forms::fsBold;
using forms::fsItalic;
using forms::fsUnderline;
using forms::fsStrikeOut;

inline constexpr unsigned char kDefaultCharset = 1;  // the platform's DEFAULT_CHARSET

struct TMarkupFont {
  std::string Name = "MS Sans Serif";
  int Size = 8;            // points
  // A font given in pixels keeps that height (as the platform's font record has it:
  // negative for the character height); 0 derives it from Size. Setting a size in points
  // clears it (SetPoints).
  int Height = 0;
  unsigned char Charset = kDefaultCharset;
  unsigned Style = 0;      // FontStyle bits
  TColor Color = clWindowText;
  int Escapement = 0;      // tenths of a degree, counter-clockwise
  void SetPoints(int points) {
    Size = points;
    Height = 0;
  }
  friend bool operator==(const TMarkupFont&, const TMarkupFont&) = default;
};

class TMarkupCanvas {
 public:
  virtual ~TMarkupCanvas() = default;

  virtual const TMarkupFont& Font() const = 0;
  virtual void SetFont(const TMarkupFont& font) = 0;

  // The brush is either a solid colour or clear. Text runs are drawn on the brush colour
  // once the brush has been set solid, and without background while it is clear or after
  // SetTextTransparent until the brush is set again.
  virtual bool BrushSolid() const = 0;
  virtual TColor BrushColor() const = 0;
  virtual void SetBrushColor(TColor color) = 0;  // makes the brush solid
  virtual void SetBrushClear() = 0;
  virtual void SetTextTransparent() = 0;
  virtual TColor PenColor() const = 0;
  virtual void SetPenColor(TColor color) = 0;

  // Text is UTF-16, converted once per run by the layout: the platform measures and draws it
  // with its own text layout (shaping, right-to-left order, fonts linked behind the face).
  // Extent of the text in the current font, without prefix processing.
  virtual TSize TextExtent(std::u16string_view text) = 0;
  // Width of a single-line run as drawn with tabs expanded; with prefix processing a single
  // "&" is not shown and "&&" shows one.
  virtual int RunWidth(std::u16string_view text, bool prefix) = 0;
  // One line of text, bottom-aligned in box, tabs expanded, not clipped to the box.
  virtual void DrawRun(std::u16string_view text, const TRect& box, bool prefix) = 0;
  // Text with its top-left corner at (x, y).
  virtual void TextAt(int x, int y, std::u16string_view text) = 0;

  virtual void FillRect(const TRect& rect) = 0;  // with the brush; nothing when clear
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;         // with the pen, width 1

  // Drawing is limited to rect (intersected with any clip in force) until PopClip.
  virtual void PushClip(const TRect& rect) = 0;
  virtual void PopClip() = 0;

  // The part of the surface where drawing can show at all (the clip box of a paint). Drawing
  // outside it is lost; decorations that repeat along a long text skip it.
  virtual TRect VisibleRect() const { return {-kUnbounded, -kUnbounded, kUnbounded, kUnbounded}; }
  static constexpr int kUnbounded = 1 << 30;

  virtual int PixelsPerInchX() const = 0;
  virtual int PixelsPerInchY() const = 0;

  // Red in the lowest byte; system colours looked up.
  virtual std::uint32_t ResolveColor(TColor color) const = 0;
};

}  // namespace murmella::popup
