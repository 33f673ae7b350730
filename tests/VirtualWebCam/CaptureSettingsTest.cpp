// The camera's Windows layer against the real platform: settings in the registry, a capture
// of a screen painted with known colours, the draft stretch into samples of every size.
#include "CameraSettings.h"
#include "ScreenCapture.h"
#include "SettingsStore.h"
#include "CameraTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Bitmap32.h"
#include "DraftResampler.h"
#include "PlatformBitmap.h"

using namespace vwc;

using namespace vwctest;

TEST(Settings, MissingKeyIsCreatedWithDefaults) {
  ClearKey();
  CameraSettings s = LoadCameraSettings();
  EXPECT_EQ(s.VideoWidth, 160);
  EXPECT_EQ(s.VideoHeight, 120);
  EXPECT_EQ(s.FrameDuration, 5'000'000);
  EXPECT_EQ(Stored(L"VideoWidth"), std::make_pair(DWORD(REG_DWORD), DWORD(160)));
  EXPECT_EQ(Stored(L"VideoHeight"), std::make_pair(DWORD(REG_DWORD), DWORD(120)));
  EXPECT_EQ(Stored(L"FramesPerSecond"), std::make_pair(DWORD(REG_DWORD), DWORD(2)));
}

TEST(Settings, RatesAreClampedAndStoredValuesKept) {
  const std::pair<DWORD, int64_t> cases[] = {{0, 10'000'000}, {61, 166'666}, {DWORD(-3), 10'000'000},
                                             {25, 400'000},   {30, 333'333}, {60, 166'666}};
  for (auto [rate, duration] : cases) {
    ClearKey();
    PutDword(L"FramesPerSecond", rate);
    EXPECT_EQ(LoadCameraSettings().FrameDuration, duration) << rate;
    EXPECT_EQ(Stored(L"FramesPerSecond").second, rate) << "a clamped rate is not rewritten";
  }
}

TEST(Settings, WronglyTypedValuesAreReplacedIndependently) {
  ClearKey();
  PutString(L"FramesPerSecond", L"30");
  PutDword(L"VideoWidth", 320);
  CameraSettings s = LoadCameraSettings();
  EXPECT_EQ(s.FrameDuration, 5'000'000);
  EXPECT_EQ(Stored(L"FramesPerSecond"), std::make_pair(DWORD(REG_DWORD), DWORD(2)));
  EXPECT_EQ(s.VideoWidth, 320);
  EXPECT_EQ(s.VideoHeight, 120);
  EXPECT_EQ(Stored(L"VideoHeight"), std::make_pair(DWORD(REG_DWORD), DWORD(120)));
  // Sizes are taken as stored, even when they cannot make a frame.
  PutDword(L"VideoWidth", DWORD(-4));
  PutDword(L"VideoHeight", 0);
  s = LoadCameraSettings();
  EXPECT_EQ(s.VideoWidth, -4);
  EXPECT_EQ(s.VideoHeight, 0);
  EXPECT_FALSE(IsStreamableSize(s.VideoWidth, s.VideoHeight));
  ClearKey();
}


TEST_F(PaintedScreen, FrameIsTheScreenScaledBottomUp) {
  RECT all{0, 0, w_, h_};
  HBITMAP bmp = CopyScreenToBitmapEx(all);
  ASSERT_TRUE(bmp);
  BITMAP info{};
  GetObjectW(bmp, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, w_);
  EXPECT_EQ(info.bmHeight, h_);
  std::vector<uint8_t> buf(160 * 120 * 4 + 16, 0xAB);
  ASSERT_EQ(ScaleToSample(bmp, 160, 120, buf.data(), 160 * 120 * 4), 76'800u);
  DeleteObject(bmp);
  auto at = [&](int x, int rowFromBufferStart) { return &buf[(size_t(rowFromBufferStart) * 160 + x) * 4]; };
  // The first rows in the buffer are the bottom of the screen.
  ExpectPixel(at(40, 30), kColours[2], "bottom left");
  ExpectPixel(at(120, 30), kColours[3], "bottom right");
  ExpectPixel(at(40, 90), kColours[0], "top left");
  ExpectPixel(at(120, 90), kColours[1], "top right");
  ExpectPixel(at(0, 119), kColours[0], "first pixel of the last buffer row");
  EXPECT_EQ(buf[76'800], 0xAB) << "nothing past the frame";
}

TEST_F(PaintedScreen, StreamedFramesAreTheFramesOfNewBitmaps) {
  TScreenFrames frames;
  // Sizes below, at and above the capture, twice each, then a smaller rectangle: the kept
  // picture is reused, then made again, and an enlargement can still read it.
  const int sizes[][2] = {{160, 120}, {160, 120}, {w_, h_}, {w_ + 20, h_ + 2}, {640, 480}};
  for (RECT rect : {RECT{0, 0, w_, h_}, RECT{0, 0, w_ / 2, h_ / 3}}) {
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(::testing::Message() << rect.right << "x" << rect.bottom << " -> " << w << "x" << h);
      HBITMAP bmp = CopyScreenToBitmapEx(rect);
      ASSERT_TRUE(bmp);
      std::vector<uint8_t> expected(size_t(w) * h * 4), frame(expected.size());
      ASSERT_EQ(ScaleToSample(bmp, w, h, expected.data(), expected.size()), expected.size());
      DeleteObject(bmp);
      ASSERT_TRUE(frames.Capture(rect));
      ASSERT_EQ(frames.ScaleTo(w, h, frame.data(), frame.size()), frame.size());
      ASSERT_TRUE(frame == expected);
    }
  }
  // No picture: a black frame, as for no bitmap.
  EXPECT_FALSE(frames.Capture(RECT{0, 0, 0, 10}));
  std::vector<uint8_t> frame(8 * 2 * 4, 0xAB);
  EXPECT_EQ(frames.ScaleTo(8, 2, frame.data(), frame.size()), frame.size());
  for (size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i], i % 4 == 3 ? 0xFF : 0);
}

TEST_F(PaintedScreen, ShortBuffersGetWholeBottomRows) {
  RECT all{0, 0, w_, h_};
  HBITMAP bmp = CopyScreenToBitmapEx(all);
  ASSERT_TRUE(bmp);
  std::vector<uint8_t> buf(640 * 10 + 100, 0xAB);
  // Less than a row: nothing made, nothing written.
  EXPECT_EQ(ScaleToSample(bmp, 160, 120, buf.data(), 639), 0u);
  for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xAB) << i;
  EXPECT_EQ(ScaleToSample(bmp, 160, 120, buf.data(), 640 * 10 + 7), 6400u);
  DeleteObject(bmp);
  ExpectPixel(&buf[0], kColours[2], "bottom left");
  for (size_t i = 6400; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xAB) << i;
}

TEST(Capture, EmptyRectangleGivesNoBitmapAndABlackFrame) {
  EXPECT_EQ(CopyScreenToBitmapEx(RECT{0, 0, 0, 100}), nullptr);
  EXPECT_EQ(CopyScreenToBitmapEx(RECT{10, 10, 5, 20}), nullptr);
  std::vector<uint8_t> buf(8 * 4 * 4, 0xAB);
  EXPECT_EQ(ScaleToSample(nullptr, 8, 4, buf.data(), buf.size()), buf.size());
  for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], i % 4 == 3 ? 0xFF : 0);
}

TEST(Capture, RectangleBeyondTheDisplayIsClamped) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HBITMAP bmp = CopyScreenToBitmapEx(RECT{-50, -50, w + 300, h + 200});
  ASSERT_TRUE(bmp);
  BITMAP info{};
  GetObjectW(bmp, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, w);
  EXPECT_EQ(info.bmHeight, h);
  DeleteObject(bmp);
}

namespace {

enum class Kind { ScreenCompatible, OpaqueDib, AlphaDib, TopDownAlphaDib };

// A bitmap of random pixels, fourth bytes included, so that every source pixel counts: a
// screen-compatible one, a capture's DIB (its fourth byte padding) or a DIB with alpha.
HBITMAP NoiseBitmap(int w, int h, unsigned seed, Kind kind = Kind::ScreenCompatible) {
  std::vector<uint32_t> px(size_t(w) * h);
  for (auto& p : px) p = seed = seed * 1664525u + 1013904223u;
  if (kind != Kind::ScreenCompatible) {
    void* bits = nullptr;
    HBITMAP b = kind == Kind::OpaqueDib ? murmella::bitmap32::CreateOpaqueDib32(w, h, &bits) : nullptr;
    if (kind == Kind::AlphaDib || kind == Kind::TopDownAlphaDib) {
      BITMAPINFO bi{};
      bi.bmiHeader = murmella::bitmap32::DibHeader(w, kind == Kind::AlphaDib ? h : -h, 32);
      b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    if (b) memcpy(bits, px.data(), px.size() * 4);
    return b;
  }
  HDC screen = GetDC(nullptr);
  HBITMAP b = CreateCompatibleBitmap(screen, w, h);
  BITMAPINFO bi{};
  bi.bmiHeader = murmella::bitmap32::DibHeader(w, -h, 32);
  SetDIBits(screen, b, 0, UINT(h), px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return b;
}

// The frame as the whole picture would give it: the bitmap loaded into a full-size 32-bit
// bitmap, drawn with the draft resampler, rows turned bottom-up.
std::vector<uint8_t> WholePictureFrame(HBITMAP b, int w, int h) {
  namespace bm = murmella::bitmap32;
  bm::TPlatformBitmap platform(b, false);
  bm::TBitmap32 src, dst;
  src.CopyFrom(platform);
  bm::TDraftResampler::CreateFor(src);
  dst.SetSize(w, h);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  std::vector<uint8_t> frame(size_t(w) * h * 4);
  for (int r = 0; r < h; ++r) memcpy(&frame[size_t(r) * w * 4], dst.ScanLine(h - 1 - r), size_t(w) * 4);
  return frame;
}

}  // namespace

TEST(Capture, FramesAreTheWholePictureDraftScaledPixelForPixel) {
  for (Kind kind : {Kind::ScreenCompatible, Kind::OpaqueDib, Kind::AlphaDib, Kind::TopDownAlphaDib}) {
    SCOPED_TRACE(::testing::Message() << "bitmap kind " << int(kind));
    HBITMAP b = NoiseBitmap(1280, 1024, 5, kind);
    ASSERT_TRUE(b);
    const int sizes[][2] = {{160, 120}, {640, 480}, {1280, 1024}, {1280, 7}, {1, 1}, {1300, 1024}, {427, 1024}};
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(::testing::Message() << w << "x" << h);
      const std::vector<uint8_t> expected = WholePictureFrame(b, w, h);
      std::vector<uint8_t> frame(expected.size() + 64, 0xAB);
      ASSERT_EQ(ScaleToSample(b, w, h, frame.data(), expected.size()), expected.size());
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), frame.begin()));
      for (size_t i = expected.size(); i < frame.size(); ++i) ASSERT_EQ(frame[i], 0xAB) << "past the frame";
      if (w == 1280 && h == 1024 && (kind == Kind::ScreenCompatible || kind == Kind::OpaqueDib)) {
        for (size_t i = 3; i < expected.size(); i += 4) ASSERT_EQ(frame[i], 0xFF) << "a screen picture is opaque";
      }
      // A buffer two rows short of a frame gets the bottom rows, the same as in the whole frame.
      if (h > 2) {
        const size_t shortSize = expected.size() - size_t(w) * 8 + 3;
        std::fill(frame.begin(), frame.end(), 0xAB);
        ASSERT_EQ(ScaleToSample(b, w, h, frame.data(), shortSize), expected.size() - size_t(w) * 8);
        ASSERT_TRUE(std::equal(frame.begin(), frame.begin() + (shortSize - 3), expected.begin()));
        ASSERT_EQ(frame[shortSize - 3], 0xAB);
      }
    }
    DeleteObject(b);
  }
}
