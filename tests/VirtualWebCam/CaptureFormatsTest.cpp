// What the camera offers: the capabilities in order for configured sizes of every kind, the
// exact image sizes and bit rates of each format, and the rates a stream may ask for.
#include "CaptureFormats.h"

#include <gtest/gtest.h>

#include <string>

using namespace vwc;

namespace {

std::string Describe(const std::vector<TCapability>& caps) {
  static const char* const kNames[] = {"RGB32", "YUY2", "NV12", "I420", "RGB24"};
  std::string s;
  for (const TCapability& c : caps)
    s += std::string(kNames[int(c.Format)]) + " " + std::to_string(c.Size.Width) + "x" +
         std::to_string(c.Size.Height) + ";";
  return s;
}

std::string AllFormats(const char* size) {
  std::string s;
  for (const char* f : {"RGB32", "YUY2", "NV12", "I420", "RGB24"}) s += std::string(f) + " " + size + ";";
  return s;
}

}  // namespace

TEST(CaptureFormats, CapabilitiesInOfferOrder) {
  const std::string ladder[] = {"1920x1080", "1280x720", "960x540", "640x480", "640x360", "320x240", "160x120"};
  struct Case {
    TSize Configured;
    bool Single;
    std::string Expected;
  };
  std::string fromLadder, withoutVga;
  for (const std::string& s : ladder) {
    fromLadder += AllFormats(s.c_str());
    if (s != "640x480") withoutVga += AllFormats(s.c_str());
  }
  const Case cases[] = {
      // The configured size first; a ladder size equal to it is not offered twice.
      {{640, 480}, false, AllFormats("640x480") + withoutVga},
      {{800, 600}, false, AllFormats("800x600") + fromLadder},
      // YUV needs even sizes: an odd configured size is offered in RGB only.
      {{801, 600}, false, "RGB32 801x600;RGB24 801x600;" + fromLadder},
      {{800, 1}, false, "RGB32 800x1;RGB24 800x1;" + fromLadder},
      // An empty frame keeps its one RGB32 offer, which fails only when buffers are sized.
      {{0, 120}, false, "RGB32 0x120;" + fromLadder},
      // A size that cannot make a frame offers nothing at all.
      {{-160, 120}, false, ""},
      {{40'000, 40'000}, false, ""},
      {{640, 480}, true, "RGB32 640x480;"},
      {{161, 121}, true, "RGB32 161x121;"},
      {{-160, 120}, true, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Describe(CameraCapabilities(c.Configured, c.Single)), c.Expected)
        << c.Configured.Width << "x" << c.Configured.Height << (c.Single ? " single" : "");
  EXPECT_EQ(CameraCapabilities({1280, 720}, false).size(), 35u);
}

TEST(CaptureFormats, ImageSizesAndBitRates) {
  struct Case {
    TPixelFormat Format;
    TSize Size;
    int32_t Bytes;
    uint32_t BitsAt30;
  } cases[] = {
      {TPixelFormat::RGB32, {160, 120}, 76'800, 18'432'018},
      {TPixelFormat::RGB24, {160, 120}, 57'600, 13'824'013},
      {TPixelFormat::RGB24, {161, 2}, 2 * 484, 231'840},  // rows padded to 484 bytes; the rate is of pixels
      {TPixelFormat::YUY2, {640, 480}, 614'400, 147'456'147},
      {TPixelFormat::NV12, {1280, 720}, 1'382'400, 331'776'331},
      {TPixelFormat::I420, {320, 240}, 115'200, 27'648'027},
      {TPixelFormat::RGB32, {1920, 1080}, 8'294'400, 1'990'657'990},
      {TPixelFormat::RGB32, {3840, 2160}, 33'177'600, 4'294'967'295u},  // saturated
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatImageSize(c.Format, c.Size), c.Bytes) << int(c.Format) << " " << c.Size.Width;
    EXPECT_EQ(FormatBitRate(c.Format, c.Size, FrameDurationFor(30)), c.BitsAt30) << int(c.Format) << " " << c.Size.Width;
  }
  // RGB32's rate is the one-format camera's own.
  EXPECT_EQ(FormatBitRate(TPixelFormat::RGB32, {640, 480}, 5'000'000), BitRate(640, 480, 5'000'000));
  EXPECT_FALSE(FormatImageSize(TPixelFormat::NV12, {641, 480}));
  EXPECT_FALSE(FormatImageSize(TPixelFormat::YUY2, {640, 481}));
  EXPECT_FALSE(FormatImageSize(TPixelFormat::RGB24, {-2, 2}));
  EXPECT_FALSE(FormatImageSize(TPixelFormat::RGB24, {26'755, 26'755}));  // beyond 32 bits
  EXPECT_EQ(FormatBitRate(TPixelFormat::NV12, {641, 480}, 333'333), 0u);
}

TEST(CaptureFormats, RatesAStreamMayAskFor) {
  EXPECT_EQ(kMinFrameInterval, 166'666);
  EXPECT_EQ(kMaxFrameInterval, 10'000'000);
  EXPECT_EQ(AcceptedFrameDuration(0, 5'000'000), 5'000'000) << "none asked: the configured rate";
  EXPECT_EQ(AcceptedFrameDuration(666'666, 5'000'000), 666'666);
  EXPECT_EQ(AcceptedFrameDuration(166'666, 5'000'000), 166'666);
  EXPECT_EQ(AcceptedFrameDuration(10'000'000, 5'000'000), 10'000'000);
  EXPECT_FALSE(AcceptedFrameDuration(166'665, 5'000'000)) << "faster than 60 a second";
  EXPECT_FALSE(AcceptedFrameDuration(10'000'001, 5'000'000)) << "slower than one a second";
  EXPECT_FALSE(AcceptedFrameDuration(-333'333, 5'000'000));
}
