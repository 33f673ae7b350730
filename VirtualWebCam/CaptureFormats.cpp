#include "CaptureFormats.h"

namespace vwc {

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::RGB32: return 32;
    case TPixelFormat::RGB24: return 24;
    case TPixelFormat::YUY2: return 16;
    case TPixelFormat::NV12:
    case TPixelFormat::I420: return 12;
  }
  return 0;
}

std::optional<int32_t> FormatImageSize(TPixelFormat format, TSize size) {
  if (!ImageSize(size.Width, size.Height)) return std::nullopt;
  if (IsYuv(format) && (size.Width % 2 || size.Height % 2)) return std::nullopt;
  const size_t bytes = murmella::yuv::FrameBytes(format, size.Width, size.Height);
  if (bytes > size_t(INT32_MAX)) return std::nullopt;
  return int32_t(bytes);
}

uint32_t FormatBitRate(TPixelFormat format, TSize size, int64_t frameDuration) {
  if (!FormatImageSize(format, size) || frameDuration <= 0) return 0;
  const double bits = double(int64_t(size.Width) * size.Height * BitsPerPixel(format)) *
                      (double(kUnitsPerSecond) / double(frameDuration));
  return bits >= 4294967295.0 ? UINT32_MAX : uint32_t(bits);
}

std::vector<TCapability> CameraCapabilities(TSize configured, bool singleFormat) {
  std::vector<TCapability> caps;
  if (!FormatImageSize(TPixelFormat::RGB32, configured)) return caps;
  const auto add = [&](TSize size) {
    for (TPixelFormat f : kFormatOrder) {
      // An empty configured frame is still offered in RGB32, the one format it always had.
      const auto bytes = FormatImageSize(f, size);
      if (bytes && (*bytes > 0 || f == TPixelFormat::RGB32)) caps.push_back({f, size});
    }
  };
  if (singleFormat) {
    caps.push_back({TPixelFormat::RGB32, configured});
    return caps;
  }
  add(configured);
  for (TSize s : kSizeLadder)
    if (!(s == configured)) add(s);
  return caps;
}

std::optional<int64_t> AcceptedFrameDuration(int64_t asked, int64_t configured) {
  if (asked == 0) return configured;
  if (asked < kMinFrameInterval || asked > kMaxFrameInterval) return std::nullopt;
  return asked;
}

}  // namespace vwc
