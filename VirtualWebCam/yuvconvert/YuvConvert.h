// Turning the camera's RGB32 pictures into the layouts capture applications ask for: packed
// RGB24, and the BT.601 limited-range YUV layouts YUY2 (4:2:2), NV12 and I420 (4:2:0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace murmella::yuv {

enum class TPixelFormat { RGB32, YUY2, NV12, I420, RGB24 };

// Bytes of one row of the first plane: RGB rows are padded to whole DWORDs, as in a DIB;
// a YUY2 row holds a whole number of two-pixel groups.
std::size_t RowBytes(TPixelFormat format, std::int32_t width);
// Bytes of a whole frame, every plane included. Odd sizes round the chroma planes up.
std::size_t FrameBytes(TPixelFormat format, std::int32_t width, std::int32_t height);
// Whether the layout's rows run bottom-up (the RGB ones, as a positive DIB height says).
constexpr bool IsBottomUp(TPixelFormat format) { return format == TPixelFormat::RGB32 || format == TPixelFormat::RGB24; }

// Writes the picture of width x height pixels, whose top row is at top and whose rows lie
// stride bytes apart (negative for a bottom-up picture), into dst in the format's layout:
// RGB bottom-up, YUV top-down, FrameBytes(format, width, height) bytes. Chroma is the
// rounded mean of each 2x1 (YUY2) or 2x2 block; a block cut by the right or bottom edge
// repeats the edge pixels. Uses the routines VectorRoutines chooses (YuvRoutines.h).
void ConvertFrame(TPixelFormat format, const std::uint8_t* top, std::ptrdiff_t stride, std::int32_t width,
                  std::int32_t height, std::uint8_t* dst);

// The coefficients, for one pixel (chroma of a block of n equal pixels is the same):
//   Y = (66 R + 129 G + 25 B + 128) >> 8 + 16
//   U = (112 B - 74 G - 38 R + 128) >> 8 + 128
//   V = (112 R - 94 G - 18 B + 128) >> 8 + 128
// with >> rounding toward minus infinity. A block's chroma uses the channel sums S over its
// n = 2^s pixels in place of the channels, 128 << s in place of 128 and >> (8 + s).
struct TYuv {
  std::uint8_t Y, U, V;
};
TYuv ToYuv(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace murmella::yuv
