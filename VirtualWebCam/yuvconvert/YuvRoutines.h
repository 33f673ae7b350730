// Row routines behind ConvertFrame: a portable reference and SSE2 and AVX2 versions that give
// the same bytes. The choice follows the bitmap code's (bitmap32's VectorRoutines): the same
// processor test and the same switch that forces the reference.
#pragma once

#include <cstddef>
#include <cstdint>

#include "YuvConvert.h"

namespace murmella::yuv {

struct TYuvRoutines {
  const char* Name;
  // width pixels of RGB32 into width x 3 bytes.
  void (*Rgb24Row)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width);
  // width pixels into ((width + 1) / 2) x 4 bytes of Y0 U Y1 V.
  void (*Yuy2Row)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width);
  // Two rows into two luma rows and one row of chroma: interleaved U V pairs (NV12) or
  // separate U and V rows (I420), (width + 1) / 2 samples each. For a last odd row, pass it
  // twice (src1 = src0, y1 = y0).
  void (*Nv12Rows)(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                   std::uint8_t* uv, std::int32_t width);
  void (*I420Rows)(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                   std::uint8_t* u, std::uint8_t* v, std::int32_t width);
};

extern const TYuvRoutines ReferenceYuvRoutines;
extern const TYuvRoutines Sse2YuvRoutines;
extern const TYuvRoutines Avx2YuvRoutines;

// The routines of the level the bitmap code uses now (the reference while it is forced).
const TYuvRoutines& YuvRoutines();
// All levels this processor and build can run, the reference first.
int AvailableYuvRoutines(const TYuvRoutines* out[3]);

// ConvertFrame with the given routines (for benchmarks that compare the levels).
void ConvertFrameWith(const TYuvRoutines& routines, TPixelFormat format, const std::uint8_t* top,
                      std::ptrdiff_t stride, std::int32_t width, std::int32_t height, std::uint8_t* dst);

// The reference's work on pixels [from, width) of a row, which the vector routines leave
// to it at the right edge. from is even.
void ReferenceRgb24Tail(const std::uint8_t* src, std::uint8_t* dst, std::int32_t from, std::int32_t width);
void ReferenceYuy2Tail(const std::uint8_t* src, std::uint8_t* dst, std::int32_t from, std::int32_t width);
void Reference420Tail(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                      std::uint8_t* u, std::uint8_t* v, std::int32_t uvStep, std::int32_t from, std::int32_t width);

}  // namespace murmella::yuv
