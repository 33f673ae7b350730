// The camera's portable rules: rate clamping, durations, the image-size guard, the schedule,
// the pacing wait and the bottom-up row copy into buffers of any size.
#include "CameraSettings.h"
#include "FrameSchedule.h"
#include "SampleRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace vwc;

TEST(CameraSettings, FrameRateClampsToOneToSixty) {
  EXPECT_EQ(FrameDurationFor(2), 5'000'000);
  EXPECT_EQ(FrameDurationFor(30), 333'333);
  EXPECT_EQ(FrameDurationFor(60), 166'666);
  EXPECT_EQ(FrameDurationFor(7), 1'428'571);
  EXPECT_EQ(FrameDurationFor(25), 400'000);
  EXPECT_EQ(FrameDurationFor(0), 10'000'000);
  EXPECT_EQ(FrameDurationFor(-5), 10'000'000);
  EXPECT_EQ(FrameDurationFor(int32_t(0xFFFFFFFFu)), 10'000'000);  // a DWORD read as signed
  EXPECT_EQ(FrameDurationFor(61), 166'666);
  EXPECT_EQ(FrameDurationFor(INT32_MAX), 166'666);
}

TEST(CameraSettings, ImageSizeGuardsNegativeAndOversizedFrames) {
  EXPECT_EQ(ImageSize(160, 120), 76'800);
  EXPECT_EQ(ImageSize(0, 120), 0);
  EXPECT_FALSE(IsStreamableSize(0, 120));
  EXPECT_FALSE(IsStreamableSize(160, 0));
  EXPECT_FALSE(ImageSize(-160, 120).has_value());
  EXPECT_FALSE(ImageSize(160, -120).has_value());
  EXPECT_FALSE(IsStreamableSize(-1, -1));  // the product is positive, the frame is not
  // 23170 x 23170 x 4 = 2,147,395,600 still fits; one more row does not.
  EXPECT_EQ(ImageSize(23170, 23170), 2'147'395'600);
  EXPECT_FALSE(ImageSize(23170, 23171).has_value());
  EXPECT_FALSE(ImageSize(65536, 65536).has_value());  // wraps to 0 in 32 bits
  EXPECT_TRUE(IsStreamableSize(1, 1));
}

TEST(CameraSettings, BitRateFromSizeAndDuration) {
  EXPECT_EQ(BitRate(160, 120, 5'000'000), 1'228'800u);
  EXPECT_EQ(BitRate(160, 120, 333'333), 18'432'018u);
  EXPECT_EQ(BitRate(640, 480, 166'666), 589'826'359u);
  EXPECT_EQ(BitRate(23170, 23170, 166'666), UINT32_MAX);
  EXPECT_EQ(BitRate(-1, 5, 5'000'000), 0u);
}

TEST(FrameSchedule, TimeStampsAreProductsWithoutGaps) {
  EXPECT_EQ(FrameTimes(0, 5'000'000).Start, 0);
  EXPECT_EQ(FrameTimes(0, 5'000'000).Stop, 5'000'000);
  EXPECT_EQ(FrameTimes(1, 5'000'000).Start, 5'000'000);
  EXPECT_EQ(FrameTimes(30, 333'333).Start, 9'999'990);
  // Far along a 60 fps stream: beyond 2^31 frames (414 days) stamps stay n x duration.
  for (int64_t n : {int64_t(INT32_MAX), int64_t(INT32_MAX) + 1, int64_t(1) << 40}) {
    EXPECT_EQ(FrameTimes(n, 166'666).Start, n * 166'666) << n;
    EXPECT_EQ(FrameTimes(n, 166'666).Stop, FrameTimes(n + 1, 166'666).Start) << n;
  }
  for (int32_t n = 0; n < 1000; ++n) EXPECT_EQ(FrameTimes(n, 333'333).Stop, FrameTimes(n + 1, 333'333).Start);
}

TEST(FrameSchedule, DueComparesTheStartAgainstElapsedCounterTime) {
  const int64_t f = 10'000'000;  // counter ticks per second
  EXPECT_TRUE(IsDue(0, 123, 123, f));
  EXPECT_FALSE(IsDue(9'999'990, 1000 + 9'999'989, 1000, f));
  EXPECT_TRUE(IsDue(9'999'990, 1000 + 9'999'990, 1000, f));
}

TEST(FrameSchedule, WaitSleepsInMillisecondStepsUntilDue) {
  const int64_t f = 1'000'000;  // microsecond counter
  int64_t now = 500;
  int sleeps = WaitUntilDue(
      5'000'000, 500, f, [&] { return now; }, [&] { now += 1000; });
  EXPECT_EQ(sleeps, 500);
  EXPECT_EQ(now, 500 + 500'000);
  // Already late: no sleep at all, so a slow frame is followed back to back.
  sleeps = WaitUntilDue(
      5'000'000, 0, f, [&] { return int64_t(900'000); }, [&] { FAIL(); });
  EXPECT_EQ(sleeps, 0);
}

namespace {
std::vector<uint8_t> Picture(int w, int h) {  // pixel (x, y) = bytes x, y, 7, 255
  std::vector<uint8_t> p(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = &p[(size_t(y) * w + x) * 4];
      q[0] = uint8_t(x), q[1] = uint8_t(y), q[2] = 7, q[3] = 255;
    }
  return p;
}
}  // namespace

TEST(SampleRows, FullBufferGetsBottomRowFirst) {
  auto pic = Picture(5, 3);
  std::vector<uint8_t> out(5 * 3 * 4 + 8, 0xAA);
  EXPECT_EQ(CopyRowsBottomUp(pic.data(), 5 * 4, 5, 3, out.data(), out.size()), 60u);
  for (int r = 0; r < 3; ++r)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(out[(r * 5 + x) * 4 + 0], x);
      EXPECT_EQ(out[(r * 5 + x) * 4 + 1], 2 - r);
    }
  EXPECT_EQ(out[60], 0xAA);  // nothing past the frame
  // Rows read bottom-up in memory (a negative stride), fourth bytes made opaque, colours kept.
  std::fill(out.begin(), out.end(), 0xAA);
  for (size_t i = 3; i < pic.size(); i += 4) pic[i] = 0x12;
  EXPECT_EQ(CopyRowsBottomUp(pic.data() + 2 * 5 * 4, -5 * 4, 5, 3, out.data(), out.size(), true), 60u);
  for (int r = 0; r < 3; ++r)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(out[(r * 5 + x) * 4 + 0], x);
      EXPECT_EQ(out[(r * 5 + x) * 4 + 1], r);
      EXPECT_EQ(out[(r * 5 + x) * 4 + 2], pic[(r * 5 + x) * 4 + 2]);
      EXPECT_EQ(out[(r * 5 + x) * 4 + 3], 0xFF);
    }
  EXPECT_EQ(out[60], 0xAA);
}

TEST(SampleRows, ShortBufferGetsWholeRowsOnly) {
  auto pic = Picture(5, 3);
  std::vector<uint8_t> out(5 * 4 * 2 - 1, 0xAA);  // one byte short of two rows
  EXPECT_EQ(RowsThatFit(out.size(), 5, 3), 1);
  EXPECT_EQ(CopyRowsBottomUp(pic.data(), 5 * 4, 5, 3, out.data(), out.size()), 20u);
  EXPECT_EQ(out[1], 2);     // the bottom row
  EXPECT_EQ(out[20], 0xAA);  // the partial row is left alone
  EXPECT_EQ(CopyRowsBottomUp(pic.data(), 20, 5, 3, out.data(), 19), 0u);
  EXPECT_EQ(RowsThatFit(1000, 0, 3), 0);
  EXPECT_EQ(RowsThatFit(1000, -5, 3), 0);
}

TEST(SampleRows, BlackFrameIsOpaqueBlackWithinTheBuffer) {
  std::vector<uint8_t> out(4 * 4 * 3 + 5, 0xAA);
  EXPECT_EQ(FillBlackRows(4, 3, out.data(), out.size()), 48u);
  for (size_t i = 0; i < 48; ++i) EXPECT_EQ(out[i], (i % 4 == 3) ? 0xFF : 0) << i;
  EXPECT_EQ(out[48], 0xAA);
  EXPECT_EQ(FillBlackRows(4, 3, out.data(), 20), 16u);
}
