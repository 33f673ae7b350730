// The capture choices' portable rules: which display, where the region lies on it, how it
// follows the cursor, where a picture with its shape kept sits in the frame, the bars around
// it, and the answer to each bad entry of the settings page.
#include "CaptureRegion.h"
#include "SampleRows.h"
#include "SettingsChoices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vwc;

namespace {

CaptureSettings Region(int32_t l, int32_t t, int32_t w, int32_t h, int32_t follow = 0) {
  CaptureSettings s;
  s.CaptureLeft = l;
  s.CaptureTop = t;
  s.CaptureWidth = w;
  s.CaptureHeight = h;
  s.FollowCursor = follow;
  return s;
}

std::string Narrow(const wchar_t* s) { return std::string(s, s + std::wstring(s).size()); }

std::string Text(const TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

}  // namespace

TEST(CaptureRegion, StoredValuesHaveTheirDefaultsAndRanges) {
  const CaptureSettings defaults;
  for (const CaptureValue& v : kCaptureValues) {
    SCOPED_TRACE(Narrow(v.Name));
    EXPECT_EQ(defaults.*v.Field, v.Default);
    EXPECT_TRUE(v.Allows(v.Default));
    EXPECT_FALSE(v.Allows(-1)) << "no stored value may be negative";
    EXPECT_FALSE(v.Allows(INT32_MIN));
  }
  // Switches are 0 or 1; the region and display take any size a long holds.
  EXPECT_FALSE(kCaptureValues[5].Allows(2));
  EXPECT_TRUE(kCaptureValues[0].Allows(INT32_MAX));
  EXPECT_EQ(defaults.ShowCursor, 1) << "the cursor is drawn unless the operator hides it";
}

TEST(CaptureRegion, DisplayIndexFallsBackToThePrimary) {
  // monitor, count, primary -> index
  const int cases[][4] = {{0, 2, 1, 1}, {1, 2, 1, 0}, {2, 2, 1, 1}, {3, 2, 1, 1}, {INT32_MAX, 1, 0, 0},
                          {-1, 3, 2, 2}, {1, 1, 0, 0}, {2, 1, 0, 0}};
  for (auto [monitor, count, primary, index] : cases)
    EXPECT_EQ(DisplayIndex(monitor, count, primary), index) << monitor << " of " << count;
}

TEST(CaptureRegion, RegionIsPlacedOnItsDisplayAndClipped) {
  const TRect primary{0, 0, 1280, 1024}, left{-800, 100, 0, 700};
  struct Case {
    CaptureSettings s;
    TRect display, expected;
  } cases[] = {
      {Region(0, 0, 0, 0), primary, primary},                                      // whole display
      {Region(100, 50, 640, 480), primary, {100, 50, 740, 530}},                   // inside
      {Region(1000, 900, 640, 480), primary, {1000, 900, 1280, 1024}},              // clipped
      {Region(1280, 0, 10, 10), primary, primary},                                 // nothing left
      {Region(10, 10, 0, 100), primary, primary},                                  // empty
      {Region(0, 0, INT32_MAX, INT32_MAX), primary, primary},                      // huge, no wrap
      {Region(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), primary, primary},      // far away
      {Region(0, 0, 0, 0), left, left},                                            // other display
      {Region(100, 0, 200, 100), left, {-700, 100, -500, 200}},                    // display coordinates
      {Region(700, 500, 200, 200), left, {-100, 600, 0, 700}},                     // clipped there
  };
  for (const Case& c : cases) EXPECT_EQ(Text(RegionOnDisplay(c.s, c.display)), Text(c.expected));
}

TEST(CaptureRegion, RegionFollowsTheCursorByTheLeastMoveAndStaysOnTheDisplay) {
  const TRect display{0, 0, 1280, 1024}, region{100, 100, 740, 580};
  struct Case {
    int32_t x, y;
    TRect expected;
  } cases[] = {
      {400, 300, region},                     // inside: no move
      {100, 100, region},                     // on the top-left pixel
      {740, 300, {101, 100, 741, 580}},       // one past the right edge
      {1000, 800, {361, 321, 1001, 801}},     // down and right
      {50, 20, {50, 20, 690, 500}},           // up and left
      {1279, 1023, {640, 544, 1280, 1024}},   // to the corner
      {5000, -300, {640, 0, 1280, 480}},      // beyond the display: kept on it
  };
  for (const Case& c : cases) EXPECT_EQ(Text(FollowPoint(region, c.x, c.y, display)), Text(c.expected)) << c.x;
  // A region as large as its display has nowhere to go.
  EXPECT_EQ(Text(FollowPoint(display, -10, 5000, display)), Text(display));
  // On a display left of the primary, in its own coordinates.
  const TRect left{-800, 0, 0, 600};
  EXPECT_EQ(Text(FollowPoint({-800, 0, -600, 200}, -1, 599, left)), Text(TRect{-200, 400, 0, 600}));
}

TEST(CaptureRegion, TrackerKeepsTheFollowedPlaceUntilTheSettingsChange) {
  const TRect display{0, 0, 1280, 1024};
  TRegionTracker t;
  t.Reset(Region(0, 0, 320, 240, 1), display);
  EXPECT_EQ(Text(t.Next(10, 10)), Text(TRect{0, 0, 320, 240}));
  EXPECT_EQ(Text(t.Next(500, 10)), Text(TRect{181, 0, 501, 240}));
  // Reading the same settings again (once a second while streaming) keeps the place.
  t.Reset(Region(0, 0, 320, 240, 1), display);
  EXPECT_EQ(Text(t.Next(400, 10)), Text(TRect{181, 0, 501, 240}));
  // Changed settings start from their region again; without following the cursor is ignored.
  t.Reset(Region(0, 0, 320, 240, 0), display);
  EXPECT_EQ(Text(t.Next(900, 900)), Text(TRect{0, 0, 320, 240}));
  // So does another display.
  t.Reset(Region(0, 0, 320, 240, 0), TRect{1280, 0, 2080, 600});
  EXPECT_EQ(Text(t.Region()), Text(TRect{1280, 0, 1600, 240}));
}

TEST(CaptureRegion, LetterboxKeepsTheShapeWithinOnePixelAndCentres) {
  // Exact cases first.
  EXPECT_EQ(Text(Letterbox(1280, 1024, 640, 360)), Text(TRect{95, 0, 545, 360}));
  EXPECT_EQ(Text(Letterbox(1920, 1080, 640, 480)), Text(TRect{0, 60, 640, 420}));
  EXPECT_EQ(Text(Letterbox(640, 480, 320, 240)), Text(TRect{0, 0, 320, 240}));
  EXPECT_EQ(Text(Letterbox(0, 480, 320, 240)), Text(TRect{0, 0, 320, 240}));
  EXPECT_EQ(Text(Letterbox(100000, 1, 160, 120)), Text(TRect{0, 59, 160, 60})) << "never thinner than a pixel";
  // Then every shape against a spread of frames: inside, centred, touching two opposite edges,
  // and the same shape as the source within one pixel.
  srand(7);
  for (int i = 0; i < 3000; ++i) {
    const int32_t sw = 1 + rand() % 4000, sh = 1 + rand() % 3000, w = 1 + rand() % 2000, h = 1 + rand() % 2000;
    const TRect r = Letterbox(sw, sh, w, h);
    ASSERT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= w && r.Bottom <= h) << Text(r);
    ASSERT_TRUE(r.Width() == w || r.Height() == h) << Text(r);
    ASSERT_LE(std::abs(r.Left - (w - r.Right)), 1);
    ASSERT_LE(std::abs(r.Top - (h - r.Bottom)), 1);
    // The other side differs from the exact shape by at most one pixel (clamped to one pixel).
    const double exactW = double(r.Height()) * sw / sh, exactH = double(r.Width()) * sh / sw;
    if (r.Height() == h && r.Width() < w) {
      ASSERT_LE(std::abs(r.Width() - exactW), 1.0) << sw << "x" << sh;
    }
    if (r.Width() == w && r.Height() < h && exactH >= 1) {
      ASSERT_LE(std::abs(r.Height() - exactH), 1.0) << sw << "x" << sh;
    }
  }
}

TEST(CaptureRegion, PictureIsPlacedBetweenOpaqueBlackBars) {
  const int32_t w = 6, h = 5;
  const TRect inner{1, 1, 4, 3};  // 3 x 2 pixels
  std::vector<uint8_t> picture(3 * 2 * 4);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(10 + i);
  std::vector<uint8_t> frame(w * h * 4 + 8, 0xAB);
  ASSERT_EQ(PlaceInFrame(picture.data(), inner, w, h, frame.data(), w * h * 4), size_t(w * h * 4));
  for (int r = 0; r < h; ++r)      // bottom-up frame rows
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &frame[(size_t(r) * w + x) * 4];
      const int pictureRow = h - 1 - r;  // top-down
      if (x >= 1 && x < 4 && pictureRow >= 1 && pictureRow < 3) {
        const int innerBottomUp = 2 - pictureRow;  // inner rows 1..2 top-down -> 1..0 bottom-up
        EXPECT_EQ(p[0], picture[(size_t(innerBottomUp) * 3 + (x - 1)) * 4]) << r << "," << x;
      } else {
        EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0xFF) << "bar at " << r << "," << x;
      }
    }
  EXPECT_EQ(frame[w * h * 4], 0xAB);
  // A buffer of three rows gets the bottom three and nothing past them.
  std::fill(frame.begin(), frame.end(), 0xAB);
  ASSERT_EQ(PlaceInFrame(picture.data(), inner, w, h, frame.data(), w * 3 * 4 + 5), size_t(w * 3 * 4));
  EXPECT_EQ(frame[(2 * w + 1) * 4], picture[0]) << "the picture's bottom row is frame row 2";
  EXPECT_EQ(frame[w * 3 * 4], 0xAB);
}

TEST(SettingsChoices, EveryBadEntryIsNamedAndGoodOnesStored) {
  SettingsChoices good;
  good.VideoWidth = {true, 640};
  good.VideoHeight = {true, 480};
  good.FramesPerSecond = {true, 30};
  good.WholeDisplay = false;
  good.CaptureLeft = {true, 10};
  good.CaptureTop = {true, 0};
  good.CaptureWidth = {true, 320};
  good.CaptureHeight = {true, 240};
  good.FollowCursor = true;
  EXPECT_EQ(FindChoiceError(good), nullptr);
  const CaptureSettings stored = CaptureSettingsOf(good);
  EXPECT_EQ(stored, (CaptureSettings{0, 10, 0, 320, 240, 1, 1, 0}));

  struct Case {
    void (*Break)(SettingsChoices&);
    const wchar_t* Names;
  } cases[] = {
      {[](SettingsChoices& c) { c.VideoWidth = {}; }, L"Frame width"},
      {[](SettingsChoices& c) { c.VideoWidth = {true, 0}; }, L"Frame width"},
      {[](SettingsChoices& c) { c.VideoHeight = {true, int64_t(INT32_MAX) + 1}; }, L"Frame height"},
      {[](SettingsChoices& c) { c.VideoWidth = {true, 30000}, c.VideoHeight = {true, 30000}; }, L"Frame size"},
      {[](SettingsChoices& c) { c.FramesPerSecond = {true, 0}; }, L"Frames per second"},
      {[](SettingsChoices& c) { c.FramesPerSecond = {true, 61}; }, L"Frames per second"},
      {[](SettingsChoices& c) { c.Monitor = -1; }, L"Display"},
      {[](SettingsChoices& c) { c.CaptureLeft = {}; }, L"Region left"},
      {[](SettingsChoices& c) { c.CaptureTop = {true, int64_t(INT32_MAX) + 5}; }, L"Region top"},
      {[](SettingsChoices& c) { c.CaptureWidth = {true, 0}; }, L"Region width"},
      {[](SettingsChoices& c) { c.CaptureHeight = {}; }, L"Region height"},
  };
  for (const Case& c : cases) {
    SettingsChoices bad = good;
    c.Break(bad);
    const wchar_t* error = FindChoiceError(bad);
    ASSERT_NE(error, nullptr) << Narrow(c.Names);
    EXPECT_EQ(std::wstring(error).rfind(c.Names, 0), 0u) << Narrow(error);
  }
  // With the whole display chosen the region fields do not matter, and a zero region is stored.
  SettingsChoices whole = good;
  whole.WholeDisplay = true;
  whole.CaptureWidth = {};
  EXPECT_EQ(FindChoiceError(whole), nullptr);
  EXPECT_TRUE(IsWholeDisplay(CaptureSettingsOf(whole)));
  EXPECT_EQ(FramesPerSecondOf(333'333), 30);
  EXPECT_EQ(FramesPerSecondOf(1'428'571), 7);
  EXPECT_EQ(FramesPerSecondOf(166'666), 60);
}

TEST(CaptureRegion, SettingsAreReadAgainAtMostOnceASecond) {
  EXPECT_FALSE(IsRereadDue(1000, 1999, 1000));
  EXPECT_TRUE(IsRereadDue(1000, 2000, 1000));
  EXPECT_TRUE(IsRereadDue(1000, 900'000, 1000));
}
