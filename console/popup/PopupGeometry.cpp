#include "PopupGeometry.h"

#include "MarkupValues.h"

#include <algorithm>

namespace murmella::popup {

namespace {

int ClampToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -(1ll << 30), 1ll << 30));
}

int Channel(std::uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

}  // namespace

int ShadeStripeCount(int steps) { return steps < 1 ? 1 : steps; }

TShadeStripe ShadeStripe(std::uint32_t startRgb, std::uint32_t endRgb, int steps, TShadeDirection direction,
                         int width, int height, int i) {
  const int n = ShadeStripeCount(steps);
  const bool horizontal = direction == TShadeDirection::sdHorizontal;
  const double band = static_cast<double>(horizontal ? width : height) / n;
  TShadeStripe s;
  for (int shift : {0, 8, 16}) {
    const int from = Channel(startRgb, shift);
    const double d = static_cast<double>(Channel(endRgb, shift) - from) / n;
    const long long c = std::clamp<long long>(from + RoundHalfEven(i * d), 0, 255);
    s.Rgb |= static_cast<std::uint32_t>(c) << shift;
  }
  // The offset wraps as a 16-bit coordinate would; the breadth does not.
  const int o = static_cast<int>(((RoundHalfEven(i * band) % 65536) + 65536) % 65536);
  const int far = ClampToInt(o + RoundHalfEven(band) + 1);
  s.Rect = horizontal ? TRect{o, 0, far, height} : TRect{0, o, width, far};
  return s;
}

TRect PaintPopupFrame(TMarkupCanvas& canvas, const TPopupLook& look, int w, int h) {
  if (look.ShadeEnable) {
    const std::uint32_t from = canvas.ResolveColor(look.ShadeStartColor);
    const std::uint32_t to = canvas.ResolveColor(look.ShadeEndColor);
    const int n = ShadeStripeCount(look.ShadeSteps);
    for (int i = 0; i < n; ++i) {
      const TShadeStripe s = ShadeStripe(from, to, n, look.ShadeDirection, w, h, i);
      canvas.SetPenColor(s.Rgb);
      canvas.SetBrushColor(s.Rgb);
      canvas.FillRect(s.Rect);
    }
  } else {
    canvas.SetBrushColor(look.Color);
    canvas.FillRect({0, 0, w, h});
  }
  const int b = std::max(look.BorderSize, 0);
  if (b > 0) {
    canvas.SetBrushColor(clBtnFace);
    canvas.SetPenColor(clBtnFace);
    canvas.FillRect({0, 0, w, b});
    canvas.FillRect({w - b, 0, w, h});
    canvas.FillRect({0, h - b, w, h});
    canvas.FillRect({0, 0, b, h});
    canvas.SetPenColor(clWhite);
    canvas.MoveTo(0, h);
    canvas.LineTo(0, 0);
    canvas.LineTo(w - 1, 0);
    canvas.SetPenColor(clGray);
    canvas.LineTo(w - 1, h - 1);
    canvas.LineTo(0, h - 1);
    canvas.MoveTo(b, h - b);
    canvas.LineTo(b, b);
    canvas.LineTo(w - b, b);
    canvas.SetPenColor(clWhite);
    canvas.LineTo(w - b, h - b);
    canvas.LineTo(b, h - b);
  } else {
    canvas.SetPenColor(cl3DLight);
    canvas.MoveTo(0, h - 2);
    canvas.LineTo(0, 0);
    canvas.LineTo(w - 1, 0);
    canvas.SetPenColor(cl3DDkShadow);
    canvas.MoveTo(0, h - 1);
    canvas.LineTo(w - 1, h - 1);
    canvas.LineTo(w - 1, -1);
  }
  return {b, b, w - b, h - b};
}

TRect PopupTextRect(int width, int height, int border, int marginX, int marginY) {
  const int b = std::max(border, 0);
  return {b + marginX, b + marginY, width - b - marginX, height - b - marginY};
}

TRect AutoSizeMeasuringRect(int border, TAutoSizeType type) {
  const int b = std::max(border, 0);
  TRect r{b + 6, b + 2, 0, 0};
  r.Right = type == TAutoSizeType::asdHeight ? r.Left : r.Left + 4096;
  r.Bottom = type == TAutoSizeType::asdWidth ? r.Top : r.Top + 4096;
  return r;
}

TSize AutoSizeWindowSize(int contentWidth, int contentHeight, int border) {
  const long long frame = 16 + 2ll * std::max(border, 0);
  return {ClampToInt(contentWidth + frame), ClampToInt(contentHeight + frame)};
}

TSize FitToWorkArea(TSize size, int workWidth, int workHeight) {
  return {std::min(size.Width, std::max(workWidth - kWorkAreaMargin, 1)),
          std::min(size.Height, std::max(workHeight - kWorkAreaMargin, 1))};
}

bool SlideInGoesOn(int top, int height, int workBottom, int finalTop) {
  return static_cast<long long>(top) + height > workBottom && top > finalTop;
}

int SlideInNext(int top, int finalTop) { return std::max(top - kSlideStep, finalTop); }

bool SlideOutGoesOn(int top, int workBottom) { return top < workBottom; }

int SlideOutNext(int top) { return top + kSlideStep; }

THoverChange UpdateHover(THoverState& state, bool hitLink, const std::string& hitTarget, int hitNumber,
                         const TRect& hitRect, bool hover) {
  THoverChange c;
  if (hitLink && !hitTarget.empty()) {
    c.HandCursor = true;
    if (state.Number != hitNumber && hover) {
      if (state.Number != -1) c.Repaint[c.RepaintCount++] = state.Rect;
      c.Repaint[c.RepaintCount++] = hitRect;
    }
    state.Number = hitNumber;
    state.Rect = hitRect;
  } else {
    if (state.Number != -1 && hover) c.Repaint[c.RepaintCount++] = state.Rect;
    state.Number = -1;
  }
  return c;
}

TMarkupFont MarkupFontOf(const forms::TFontData& font) {
  TMarkupFont f;
  f.Name = font.Name;
  f.Height = font.Height;
  f.Size = forms::FontPointsForHeight(font.Height, 96);
  f.Charset = font.Charset;
  f.Style = font.Style;
  f.Color = font.Color;
  return f;
}

}  // namespace murmella::popup
