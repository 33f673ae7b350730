// The offered format field by field, the checks of proposed types, the capability entry and
// the pin category property, including sizes that must never make a type.
#include "CameraSettings.h"
#include "VideoFormat.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vwc;

// The records the platform and its peers exchange have these sizes in each build; a header or
// packing change that moved them would break every caller silently.
#if defined(_WIN64)
static_assert(sizeof(AM_MEDIA_TYPE) == 88 && sizeof(CURSORINFO) == 24);
#else
static_assert(sizeof(AM_MEDIA_TYPE) == 72 && sizeof(CURSORINFO) == 20);
#endif
static_assert(sizeof(VIDEOINFOHEADER) == 88 && sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);

namespace {

constexpr GUID kRgb24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID kPinSet = {0x9B00F101, 0x1567, 0x11D1, {0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
constexpr GUID kCapture = {0xFB6C4281, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

struct Owned {
  AM_MEDIA_TYPE T{};
  ~Owned() { CoTaskMemFree(T.pbFormat); }
  VIDEOINFOHEADER& Vih() { return *reinterpret_cast<VIDEOINFOHEADER*>(T.pbFormat); }
};

constexpr FrameFormat kDefault{160, 120, 5'000'000};

}  // namespace

TEST(VideoFormat, ProposedTypeFieldByField) {
  Owned m;
  ASSERT_EQ(FillProposedType(m.T, FrameFormat{160, 120, 333'333}), S_OK);
  EXPECT_EQ(m.T.majortype, MEDIATYPE_Video);
  EXPECT_EQ(m.T.subtype, MEDIASUBTYPE_RGB32);
  EXPECT_TRUE(m.T.bFixedSizeSamples);
  EXPECT_FALSE(m.T.bTemporalCompression);
  EXPECT_EQ(m.T.lSampleSize, 76'800u);
  EXPECT_EQ(m.T.formattype, FORMAT_VideoInfo);
  EXPECT_EQ(m.T.pUnk, nullptr);
  EXPECT_EQ(m.T.cbFormat, 88u);
  const RECT zero{};
  EXPECT_EQ(memcmp(&m.Vih().rcSource, &zero, sizeof zero), 0);
  EXPECT_EQ(memcmp(&m.Vih().rcTarget, &zero, sizeof zero), 0);
  EXPECT_EQ(m.Vih().dwBitRate, 18'432'018u);
  EXPECT_EQ(m.Vih().dwBitErrorRate, 0u);
  EXPECT_EQ(m.Vih().AvgTimePerFrame, 333'333);
  const BITMAPINFOHEADER& b = m.Vih().bmiHeader;
  EXPECT_EQ(b.biSize, 40u);
  EXPECT_EQ(b.biWidth, 160);
  EXPECT_EQ(b.biHeight, 120);
  EXPECT_EQ(b.biPlanes, 1);
  EXPECT_EQ(b.biBitCount, 32);
  EXPECT_EQ(b.biCompression, DWORD(BI_RGB));
  EXPECT_EQ(b.biSizeImage, 76'800u);
  EXPECT_EQ(b.biXPelsPerMeter | b.biYPelsPerMeter | b.biClrUsed | b.biClrImportant, 0u);
  EXPECT_EQ(CheckProposedType(m.T, FrameFormat{160, 120, 333'333}), S_OK);
}

TEST(VideoFormat, UnframeableSizesOfferAndAcceptNothing) {
  for (FrameFormat f : {FrameFormat{-160, 120, 5'000'000}, FrameFormat{160, -120, 5'000'000},
                        FrameFormat{65536, 65536, 5'000'000}, FrameFormat{-2, -2, 5'000'000}}) {
    AM_MEDIA_TYPE t{};
    EXPECT_EQ(FillProposedType(t, f), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(t.pbFormat, nullptr);
    Owned m;
    ASSERT_EQ(FillProposedType(m.T, kDefault), S_OK);
    m.Vih().bmiHeader.biWidth = f.Width;
    m.Vih().bmiHeader.biHeight = f.Height;
    EXPECT_EQ(CheckProposedType(m.T, f), E_INVALIDARG);
  }
  // A zero size is still offered; it fails later, when buffers are sized.
  Owned z;
  EXPECT_EQ(FillProposedType(z.T, FrameFormat{0, 120, 5'000'000}), S_OK);
  EXPECT_EQ(z.T.lSampleSize, 0u);
}

TEST(VideoFormat, ProposedTypesThatAreRefused) {
  auto refused = [](auto change) {
    Owned m;
    EXPECT_EQ(FillProposedType(m.T, kDefault), S_OK);
    change(m);
    return CheckProposedType(m.T, kDefault);
  };
  EXPECT_EQ(refused([](Owned& m) { m.Vih().bmiHeader.biHeight = -120; }), E_INVALIDARG);  // top-down
  EXPECT_EQ(refused([](Owned& m) { m.T.subtype = kRgb24; }), E_INVALIDARG);
  EXPECT_EQ(refused([](Owned& m) { m.T.subtype = GUID_NULL; }), E_INVALIDARG);
  EXPECT_EQ(refused([](Owned& m) { m.T.bFixedSizeSamples = FALSE; }), E_INVALIDARG);
  EXPECT_EQ(refused([](Owned& m) { m.T.majortype = MEDIATYPE_Audio; }), E_INVALIDARG);
  EXPECT_EQ(refused([](Owned& m) { m.Vih().bmiHeader.biWidth = 161; }), E_INVALIDARG);
  EXPECT_EQ(refused([](Owned& m) { m.T.cbFormat = 87; }), E_INVALIDARG);  // short block, never read
  EXPECT_EQ(refused([](Owned& m) {
              CoTaskMemFree(m.T.pbFormat);
              m.T.pbFormat = nullptr;
            }),
            E_INVALIDARG);
  // What is not looked at: bit count, image size, rate, format type.
  EXPECT_EQ(refused([](Owned& m) { m.Vih().bmiHeader.biBitCount = 24; }), S_OK);
  EXPECT_EQ(refused([](Owned& m) { m.Vih().bmiHeader.biSizeImage = 0; }), S_OK);
  EXPECT_EQ(refused([](Owned& m) { m.Vih().AvgTimePerFrame = 1; }), S_OK);
}

TEST(VideoFormat, StreamCapsAndPinCategory) {
  VIDEO_STREAM_CONFIG_CAPS c;
  memset(&c, 0xCC, sizeof c);
  FillStreamCaps(c, kDefault);
  EXPECT_EQ(sizeof c, 128u);
  EXPECT_EQ(c.guid, FORMAT_VideoInfo);
  EXPECT_EQ(c.InputSize.cx, 160);
  EXPECT_EQ(c.MaxOutputSize.cy, 120);
  EXPECT_EQ(c.CropGranularityX, 160);
  EXPECT_EQ(c.CropGranularityY, 120);
  EXPECT_EQ(c.CropAlignX, 1);
  EXPECT_EQ(c.OutputGranularityY, 1);
  EXPECT_EQ(c.ShrinkTapsY, 0);
  EXPECT_EQ(c.MinFrameInterval, 5'000'000);
  EXPECT_EQ(c.MaxFrameInterval, 5'000'000);
  EXPECT_EQ(c.MinBitsPerSecond, 1'228'800);
  // The signed rates saturate instead of wrapping negative.
  struct Rate {
    FrameFormat Format;
    LONG Bits;
  } rates[] = {{{1920, 1080, FrameDurationFor(30)}, 1'990'657'990},
               {{1920, 1080, FrameDurationFor(33)}, INT32_MAX},
               {{1280, 1024, FrameDurationFor(60)}, INT32_MAX},
               {{3840, 2160, FrameDurationFor(60)}, INT32_MAX}};
  for (const Rate& r : rates) {
    FillStreamCaps(c, r.Format);
    EXPECT_EQ(c.MinBitsPerSecond, r.Bits) << r.Format.Width << "x" << r.Format.Height;
    EXPECT_EQ(c.MaxBitsPerSecond, r.Bits) << r.Format.Width << "x" << r.Format.Height;
  }
  GUID out{};
  DWORD n = 0;
  EXPECT_EQ(GetPinCategory(kPinSet, 0, &out, 16, &n), S_OK);
  EXPECT_EQ(out, kCapture);
  EXPECT_EQ(n, 16u);
  n = 0;
  EXPECT_EQ(GetPinCategory(kPinSet, 0, &out, 15, &n), E_UNEXPECTED);
  EXPECT_EQ(n, 16u);
  n = 0;
  EXPECT_EQ(GetPinCategory(kPinSet, 0, nullptr, 0, &n), S_OK);
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(GetPinCategory(kPinSet, 1, &out, 16, &n), HRESULT(0x80070490));
  EXPECT_EQ(GetPinCategory(kCapture, 0, &out, 16, &n), HRESULT(0x80070492));
}
