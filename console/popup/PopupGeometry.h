// The popup's rules that need no window system: the shade's stripes, the frame, the slide's
// steps and pauses, the auto-size rectangle and the hover bookkeeping. The window
// (HTMLPopup.h) applies them; native tests check them against their tables.
#pragma once

#include "Graphics.h"
#include "MarkupCanvas.h"

#include <cstdint>
#include <string>

namespace murmella::popup {

enum class TAutoSizeType { asdHeight, asdWidth, asdBoth };
enum class THideType { htMouseLeave, htTimeOut };
enum class TShadeDirection { sdHorizontal, sdVertical };

// The background and frame settings the window paints with.
struct TPopupLook {
  bool ShadeEnable = false;
  TColor ShadeStartColor = clSilver;
  TColor ShadeEndColor = clGray;
  int ShadeSteps = 40;
  TShadeDirection ShadeDirection = TShadeDirection::sdHorizontal;
  TColor Color = clInfoBk;
  int BorderSize = 0;  // below 0 is taken as 0
};

struct TShadeStripe {
  TRect Rect;
  std::uint32_t Rgb = 0;  // red in the lowest byte
};

// Steps below 1 count as 1.
int ShadeStripeCount(int steps);
// Stripe i (0-based) of the shade over a width x height client area, between two plain
// colours (red in the lowest byte): each channel start + nearest(i x (end - start) / n),
// offset nearest(i x band) modulo 65536, breadth nearest(band) + 1; nearest() halves to even.
TShadeStripe ShadeStripe(std::uint32_t startRgb, std::uint32_t endRgb, int steps, TShadeDirection direction,
                         int width, int height, int i);

// Background (shade or Color), then the bevelled border (BorderSize > 0) or the one-pixel
// frame; answers the text area (the client area inside the border).
TRect PaintPopupFrame(TMarkupCanvas& canvas, const TPopupLook& look, int width, int height);

// The text rectangle of painting and hit-testing: the client area inside the border and the
// margins.
TRect PopupTextRect(int width, int height, int border, int marginX, int marginY);
// Where auto-size lays the text out: inside the border, 6 in and 2 down, and 4096 wide or
// high for the dimensions that are measured, 0 for the other.
TRect AutoSizeMeasuringRect(int border, TAutoSizeType type);
// The window size auto-size gives for the renderer's content size.
TSize AutoSizeWindowSize(int contentWidth, int contentHeight, int border);

// A notice never outgrows the work area less 40 pixels either way (what lies beyond is cut), so
// it stays on the screen wherever its text comes from.
inline constexpr int kWorkAreaMargin = 40;
TSize FitToWorkArea(TSize size, int workWidth, int workHeight);

// The slide: 20 pixels per pause of 50 ms.
inline constexpr int kSlideStep = 20;
inline constexpr std::uint32_t kSlidePauseMs = 50;
// The climb goes on while the window reaches below the work area and is still under its
// final top; each step moves up 20 pixels, never past the final top.
bool SlideInGoesOn(int top, int height, int workBottom, int finalTop);
int SlideInNext(int top, int finalTop);
// The descent goes on while the top is above the work area's bottom.
bool SlideOutGoesOn(int top, int workBottom);
int SlideOutNext(int top);
// Whether a pause that began at tick `start` is over at tick `now` (32-bit ticks that wrap
// after 49.7 days: the unsigned difference counts).
inline bool PauseOver(std::uint32_t start, std::uint32_t now, std::uint32_t length) {
  return static_cast<std::uint32_t>(now - start) >= length;
}

// The link under the pointer and what a pointer move over the window changes.
struct THoverState {
  int Number = -1;  // -1: no link under the pointer
  TRect Rect;
};
struct THoverChange {
  bool HandCursor = false;
  int RepaintCount = 0;  // rectangles to repaint (0 to 2), the old link's first
  TRect Repaint[2];
};
THoverChange UpdateHover(THoverState& state, bool hitLink, const std::string& hitTarget, int hitNumber,
                         const TRect& hitRect, bool hover);

// The renderer's base font for a framework font.
TMarkupFont MarkupFontOf(const forms::TFontData& font);

}  // namespace murmella::popup
