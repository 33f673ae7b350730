// The popup's portable rules: the shade's stripes, the frame, the slide's steps and pauses,
// the auto-size rectangle and the hover bookkeeping.
#include "PopupGeometry.h"
#include "TestCanvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace murmella::popup {
namespace {

using testing::TTestCanvas;

constexpr std::uint32_t kWhite = 0xFFFFFF, kYellow = 0x00FFFF;  // red in the lowest byte

TEST(PopupShade, StripesFollowTheRoundingAndOffsetRules) {
  struct TCase {
    const char* What;
    std::uint32_t From, To;
    int Steps;
    TShadeDirection Dir;
    int W, H, I;
    TRect Rect;
    std::uint32_t Rgb;
  };
  const auto h = TShadeDirection::sdHorizontal, v = TShadeDirection::sdVertical;
  const TCase cases[] = {
      // White to yellow over 120 pixels: bands of 3, blue falls by 6.375 a stripe.
      {"first stripe is the start colour", kWhite, kYellow, 40, h, 120, 52, 0, {0, 0, 4, 52}, kWhite},
      {"-6.375 rounds to -6", kWhite, kYellow, 40, h, 120, 52, 1, {3, 0, 7, 52}, 0xF9FFFF},
      {"-12.75 rounds to -13", kWhite, kYellow, 40, h, 120, 52, 2, {6, 0, 10, 52}, 0xF2FFFF},
      {"-25.5 halves to even: -26", kWhite, kYellow, 40, h, 120, 52, 4, {12, 0, 16, 52}, 0xE5FFFF},
      {"last stripe stops short of the end colour", kWhite, kYellow, 40, h, 120, 52, 39, {117, 0, 121, 52},
       0x06FFFF},
      // Bands of 2.5: the breadth rounds to 2 (+1), offsets 7.5 -> 8 and 12.5 -> 12.
      {"2.5 halves to even", kWhite, kYellow, 40, h, 100, 52, 1, {2, 0, 5, 52}, 0xF9FFFF},
      {"7.5 rounds up to even", kWhite, kYellow, 40, h, 100, 52, 3, {8, 0, 11, 52}, 0xECFFFF},
      {"12.5 rounds down to even", kWhite, kYellow, 40, h, 100, 52, 5, {12, 0, 15, 52}, 0xDFFFFF},
      // Vertical stripes run top to bottom over the height.
      {"vertical: 6.5 halves to 6", 0x000000, 0x0000FF, 40, v, 80, 52, 5, {0, 6, 80, 8}, 0x000020},
      // Rising channels and all three bytes at once.
      {"127.5 up to 128, -127.5 down to -128", 0x00FF00, 0x0000FF, 4, h, 40, 10, 2, {20, 0, 31, 10}, 0x007F80},
      // Steps of 0 or below count as 1: one stripe of the start colour over everything.
      {"no steps", 0x123456, kYellow, 0, h, 60, 20, 0, {0, 0, 61, 20}, 0x123456},
      {"negative steps", 0x123456, kYellow, -5, v, 60, 20, 0, {0, 0, 60, 21}, 0x123456},
      // Offsets wrap modulo 65536; the breadth does not.
      {"offset modulo 65536", kWhite, kWhite, 2, h, 200000, 10, 1, {34464, 0, 134465, 10}, kWhite},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TShadeStripe s = ShadeStripe(c.From, c.To, c.Steps, c.Dir, c.W, c.H, c.I);
    EXPECT_EQ(s.Rect, c.Rect);
    EXPECT_EQ(s.Rgb, c.Rgb);
  }
  EXPECT_EQ(ShadeStripeCount(0), 1);
  EXPECT_EQ(ShadeStripeCount(-3), 1);
  EXPECT_EQ(ShadeStripeCount(40), 40);
}

TEST(PopupFrame, ShadeUnderBevelOrColourInsideOnePixelFrame) {
  TPopupLook look;
  look.ShadeEnable = true;
  look.ShadeStartColor = clWhite;
  look.ShadeEndColor = clYellow;
  look.BorderSize = 5;
  look.Color = clBlack;
  TTestCanvas c;
  EXPECT_EQ(PaintPopupFrame(c, look, 120, 52), (TRect{5, 5, 115, 47}));
  ASSERT_EQ(c.Fills.size(), 44u);
  EXPECT_EQ(c.Fills[0].Color, clWhite) << "the shade, not Color";
  EXPECT_EQ(c.Fills[39].Rect, (TRect{117, 0, 121, 52}));
  const std::vector<TRect> border = {{0, 0, 120, 5}, {115, 0, 120, 52}, {0, 47, 120, 52}, {0, 0, 5, 52}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c.Fills[40 + i].Rect, border[i]);
    EXPECT_EQ(c.Fills[40 + i].Color, clBtnFace);
  }
  struct TSeg {
    TPoint From, To;
    TColor Color;
  };
  const TSeg bevel[] = {
      {{0, 52}, {0, 0}, clWhite},     {{0, 0}, {119, 0}, clWhite},    {{119, 0}, {119, 51}, clGray},
      {{119, 51}, {0, 51}, clGray},   {{5, 47}, {5, 5}, clGray},      {{5, 5}, {115, 5}, clGray},
      {{115, 5}, {115, 47}, clWhite}, {{115, 47}, {5, 47}, clWhite},
  };
  ASSERT_EQ(c.Lines.size(), std::size(bevel));
  for (std::size_t i = 0; i < std::size(bevel); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c.Lines[i].From, bevel[i].From);
    EXPECT_EQ(c.Lines[i].To, bevel[i].To);
    EXPECT_EQ(c.Lines[i].Color, bevel[i].Color);
  }

  // No shade, no border (a negative one counts as none): Color, then the one-pixel frame.
  for (int b : {0, -3}) {
    TTestCanvas flat;
    look.ShadeEnable = false;
    look.BorderSize = b;
    EXPECT_EQ(PaintPopupFrame(flat, look, 50, 30), (TRect{0, 0, 50, 30}));
    ASSERT_EQ(flat.Fills.size(), 1u);
    EXPECT_EQ(flat.Fills[0].Rect, (TRect{0, 0, 50, 30}));
    EXPECT_EQ(flat.Fills[0].Color, clBlack);
    const TSeg frame[] = {{{0, 28}, {0, 0}, cl3DLight},
                          {{0, 0}, {49, 0}, cl3DLight},
                          {{0, 29}, {49, 29}, cl3DDkShadow},
                          {{49, 29}, {49, -1}, cl3DDkShadow}};
    ASSERT_EQ(flat.Lines.size(), std::size(frame));
    for (std::size_t i = 0; i < std::size(frame); ++i) {
      EXPECT_EQ(flat.Lines[i].From, frame[i].From);
      EXPECT_EQ(flat.Lines[i].To, frame[i].To);
      EXPECT_EQ(flat.Lines[i].Color, frame[i].Color);
    }
  }
}

TEST(PopupSize, MeasuringRectangleTextRectangleAndWindowSize) {
  struct TCase {
    TAutoSizeType Type;
    int Border;
    TRect Measure;
  };
  const TCase cases[] = {
      {TAutoSizeType::asdHeight, 5, {11, 7, 11, 7 + 4096}},  // width 0: nothing wraps
      {TAutoSizeType::asdWidth, 5, {11, 7, 11 + 4096, 7}},   // height 0: the first line only
      {TAutoSizeType::asdBoth, 0, {6, 2, 6 + 4096, 2 + 4096}},
      {TAutoSizeType::asdBoth, -2, {6, 2, 6 + 4096, 2 + 4096}},
  };
  for (const TCase& c : cases) EXPECT_EQ(AutoSizeMeasuringRect(c.Border, c.Type), c.Measure);
  EXPECT_EQ(AutoSizeWindowSize(80, 26, 5), (TSize{106, 52}));
  EXPECT_EQ(AutoSizeWindowSize(80, 26, 0), (TSize{96, 42}));
  EXPECT_EQ(AutoSizeWindowSize(2147483647, 0, 2147483647).Width, 1 << 30) << "no overflow";
  EXPECT_EQ(FitToWorkArea({106, 52}, 1280, 1004), (TSize{106, 52}));
  EXPECT_EQ(FitToWorkArea({1 << 30, 52}, 1280, 1004), (TSize{1240, 52})) << "a 1 MB name is cut";
  EXPECT_EQ(FitToWorkArea({2000, 5000}, 1280, 1004), (TSize{1240, 964}));
  EXPECT_EQ(FitToWorkArea({50, 50}, 10, 10), (TSize{1, 1})) << "a work area smaller than the margin";
  EXPECT_EQ(PopupTextRect(106, 52, 5, 4, 4), (TRect{9, 9, 97, 43}));
  EXPECT_EQ(PopupTextRect(106, 52, 0, 4, 2), (TRect{4, 2, 102, 50}));
}

// Positions a window takes on its way, as the loops in SlideIn and SlideOut apply the steps.
std::vector<int> ClimbFrom(int top, int height, int workBottom, int finalTop) {
  std::vector<int> tops;
  while (SlideInGoesOn(top, height, workBottom, finalTop)) tops.push_back(top = SlideInNext(top, finalTop));
  tops.push_back(finalTop);
  return tops;
}

TEST(PopupSlide, StepsPerPauseAndWhereTheyStop) {
  struct TCase {
    const char* What;
    int Height, RollUp;
    std::vector<int> Tops;
  };
  const TCase cases[] = {
      {"52 pixels: three pauses", 52, 0, {984, 964, 952, 952}},
      {"exactly two steps", 40, 0, {984, 964, 964}},
      {"a 10-pixel gap: the climb stops at the bottom edge, then the jump", 52, 10, {984, 964, 944, 942}},
      {"a negative gap ends the climb at the final top, below the edge", 52, -30, {984, 982, 982}},
      {"nothing to climb for a window of no height", 0, 0, {1004}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(ClimbFrom(1004, c.Height, 1004, 1004 - c.Height - c.RollUp), c.Tops);
  }
  // A window another SlideIn has already put in place ends the climb at once.
  EXPECT_FALSE(SlideInGoesOn(952, 52, 1004, 952));
  // A hidden window a SlideOut left at the bottom climbs on.
  EXPECT_TRUE(SlideInGoesOn(1004, 52, 1004, 952));

  std::vector<int> down;
  for (int top = 952; SlideOutGoesOn(top, 1004); top = SlideOutNext(top)) down.push_back(top);
  EXPECT_EQ(down, (std::vector<int>{952, 972, 992}));
  EXPECT_FALSE(SlideOutGoesOn(1004, 1004));

  // Pauses count the unsigned tick difference, also across the wrap.
  EXPECT_FALSE(PauseOver(1000, 1049, 50));
  EXPECT_TRUE(PauseOver(1000, 1050, 50));
  EXPECT_FALSE(PauseOver(0xFFFFFFF0u, 0x00000010u, 50));  // 32 ms across the wrap
  EXPECT_TRUE(PauseOver(0xFFFFFFF0u, 0x00000022u, 50));
}

TEST(PopupHover, RepaintsOnlyTheLinksThatChange) {
  const TRect a{10, 10, 40, 23}, b{50, 10, 80, 23};
  struct TStep {
    const char* What;
    bool Link;
    const char* Target;
    int Number;
    TRect Rect;
    bool Hover;
    bool Hand;
    std::vector<TRect> Repaint;
    int NumberAfter;
  };
  const TStep steps[] = {
      {"onto link 1", true, "one", 1, a, true, true, {a}, 1},
      {"still on link 1", true, "one", 1, a, true, true, {}, 1},
      {"straight onto link 2", true, "two", 2, b, true, true, {a, b}, 2},
      {"off the links", false, "", -1, {}, true, false, {b}, -1},
      {"off again: nothing", false, "", -1, {}, true, false, {}, -1},
      {"a link without target is no link", true, "", 3, a, true, false, {}, -1},
      {"without hover style nothing is repainted", true, "one", 1, a, false, true, {}, 1},
      {"leaving without hover style", false, "", -1, {}, false, false, {}, -1},
  };
  THoverState state;
  for (const TStep& s : steps) {
    SCOPED_TRACE(s.What);
    const THoverChange c = UpdateHover(state, s.Link, s.Target, s.Number, s.Rect, s.Hover);
    EXPECT_EQ(c.HandCursor, s.Hand);
    EXPECT_EQ(std::vector<TRect>(c.Repaint, c.Repaint + c.RepaintCount), s.Repaint);
    EXPECT_EQ(state.Number, s.NumberAfter);
  }
}

TEST(PopupFont, FrameworkFontBecomesTheRenderersBaseFont) {
  forms::TFontData f;
  f.Name = "MS Sans Serif";
  f.Height = -11;
  f.Style = fsBold;
  f.Color = clWindowText;
  f.Charset = 0;
  const TMarkupFont m = MarkupFontOf(f);
  EXPECT_EQ(m.Name, "MS Sans Serif");
  EXPECT_EQ(m.Height, -11);
  EXPECT_EQ(m.Size, 8);
  EXPECT_EQ(m.Style, fsBold);
  EXPECT_EQ(m.Color, clWindowText);
  EXPECT_EQ(m.Charset, 0);
}

}  // namespace
}  // namespace murmella::popup
