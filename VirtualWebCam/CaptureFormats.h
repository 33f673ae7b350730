// What the camera offers a capture application: its capabilities (a format at a size) in the
// order they are offered, and what each one's frames measure. No platform calls: the pin and
// the media-type records (VideoFormat.h) are built on these.
#pragma once

#include "CameraSettings.h"
#include "YuvConvert.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vwc {

using murmella::yuv::TPixelFormat;

// The formats in the order each size offers them: the operator's RGB32 first.
inline constexpr TPixelFormat kFormatOrder[] = {TPixelFormat::RGB32, TPixelFormat::YUY2, TPixelFormat::NV12,
                                                TPixelFormat::I420, TPixelFormat::RGB24};

struct TSize {
  int32_t Width;
  int32_t Height;
  friend constexpr bool operator==(TSize, TSize) = default;
};

// The sizes webcams commonly offer, largest first, after the configured one.
inline constexpr TSize kSizeLadder[] = {{1920, 1080}, {1280, 720}, {960, 540}, {640, 480},
                                        {640, 360},   {320, 240},  {160, 120}};

// Every capability takes any rate from 60 frames a second (the camera's shortest duration)
// down to one.
inline constexpr int64_t kMinFrameInterval = kUnitsPerSecond / kMaxFramesPerSecond;  // 166,666
inline constexpr int64_t kMaxFrameInterval = kUnitsPerSecond / kMinFramesPerSecond;  // 10,000,000

struct TCapability {
  TPixelFormat Format;
  TSize Size;
  friend constexpr bool operator==(const TCapability&, const TCapability&) = default;
};

// A capability and the frame duration a stream of it runs at.
struct TStreamFormat {
  TCapability Capability;
  int64_t FrameDuration;
};

constexpr bool IsYuv(TPixelFormat f) { return f != TPixelFormat::RGB32 && f != TPixelFormat::RGB24; }
int BitsPerPixel(TPixelFormat format);  // 32, 24, 16 (YUY2) or 12 (NV12, I420)

// Bytes of one frame, or nothing for a size that cannot make one in this format: negative,
// an image size beyond 32-bit signed, or odd for a YUV format. Zero sizes give 0.
std::optional<int32_t> FormatImageSize(TPixelFormat format, TSize size);

// The format's bit rate: width x height x bits per pixel, times frames per second, truncated
// and saturated at the largest DWORD (BitRate for RGB32).
uint32_t FormatBitRate(TPixelFormat format, TSize size, int64_t frameDuration);

// The capabilities in offer order: the configured size in RGB32, YUY2, NV12, I420 and RGB24,
// then each ladder size that differs from it in the same formats. Sizes that cannot make a
// frame in a format are left out (an odd configured size offers RGB only); a configured size
// that cannot make an RGB32 frame at all offers nothing. singleFormat: only the configured
// RGB32 capability, as a one-format camera.
std::vector<TCapability> CameraCapabilities(TSize configured, bool singleFormat);

// A duration a stream may run at: 0 (none asked: the configured one) or 1 to 60 frames a
// second; anything else is refused.
std::optional<int64_t> AcceptedFrameDuration(int64_t asked, int64_t configured);

}  // namespace vwc
