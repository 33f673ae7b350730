// The camera's stored settings and the numbers derived from them. No platform calls: the
// registry and the display are read by the pin; the rules that turn what they hold into
// frame sizes and durations live here so that they can be checked everywhere.
#pragma once

#include <cstdint>
#include <optional>

namespace vwc {

inline constexpr int32_t kDefaultVideoWidth = 160;
inline constexpr int32_t kDefaultVideoHeight = 120;
inline constexpr int32_t kDefaultFramesPerSecond = 2;
inline constexpr int32_t kMinFramesPerSecond = 1;
inline constexpr int32_t kMaxFramesPerSecond = 60;
inline constexpr int64_t kUnitsPerSecond = 10'000'000;  // stream time: 100-ns units
inline constexpr int64_t kDefaultFrameDuration = kUnitsPerSecond / kDefaultFramesPerSecond;

// A stored rate is a DWORD read as signed: 0 and "negative" values mean the slowest rate.
constexpr int32_t ClampFrameRate(int32_t stored) {
  return stored < kMinFramesPerSecond ? kMinFramesPerSecond
         : stored > kMaxFramesPerSecond ? kMaxFramesPerSecond
                                        : stored;
}

constexpr int64_t FrameDurationFor(int32_t storedRate) { return kUnitsPerSecond / ClampFrameRate(storedRate); }

// Bytes of one RGB32 frame, or nothing when the size cannot describe a frame that fits in a
// 32-bit signed image size (negative, or too large). Zero sizes give 0.
constexpr std::optional<int32_t> ImageSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return std::nullopt;
  const int64_t bytes = int64_t(width) * int64_t(height) * 4;
  if (bytes > INT32_MAX) return std::nullopt;
  return int32_t(bytes);
}

// A pin can offer and accept a type only for a size that yields real frames.
constexpr bool IsStreamableSize(int32_t width, int32_t height) {
  auto size = ImageSize(width, height);
  return size && *size > 0;
}

// The format's bit rate: width x height x 32 bits per frame times frames per second, truncated.
// Saturates at the largest DWORD for sizes whose rate would not fit.
constexpr uint32_t BitRate(int32_t width, int32_t height, int64_t frameDuration) {
  auto size = ImageSize(width, height);
  if (!size || frameDuration <= 0) return 0;
  const double bits = double(int64_t(*size) * 8) * (double(kUnitsPerSecond) / double(frameDuration));
  return bits >= 4294967295.0 ? UINT32_MAX : uint32_t(bits);
}

}  // namespace vwc
