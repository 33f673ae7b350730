// The portable routines: the definition of every byte the vector routines must match.
#include "YuvConvert.h"
#include "YuvRoutines.h"

namespace murmella::yuv {
namespace {

// Channel sums of n = 2^shift pixels into one chroma pair; >> of a negative value rounds
// toward minus infinity (C++20), as the vector routines' arithmetic shifts do.
int ChromaU(int r, int g, int b, int shift) { return ((112 * b - 74 * g - 38 * r + (128 << shift)) >> (8 + shift)) + 128; }
int ChromaV(int r, int g, int b, int shift) { return ((112 * r - 94 * g - 18 * b + (128 << shift)) >> (8 + shift)) + 128; }
std::uint8_t Luma(const std::uint8_t* p) { return std::uint8_t((66 * p[2] + 129 * p[1] + 25 * p[0] + 128 + (16 << 8)) >> 8); }

// The second pixel of a pair, or the first again when the row ends after it.
const std::uint8_t* Partner(const std::uint8_t* row, std::int32_t x, std::int32_t width) {
  return row + 4 * (x + 1 < width ? x + 1 : x);
}

void RefRgb24Row(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) { ReferenceRgb24Tail(src, dst, 0, width); }
void RefYuy2Row(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) { ReferenceYuy2Tail(src, dst, 0, width); }

void RefNv12Rows(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                 std::uint8_t* uv, std::int32_t width) {
  Reference420Tail(src0, src1, y0, y1, uv, uv + 1, 2, 0, width);
}

void RefI420Rows(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                 std::uint8_t* u, std::uint8_t* v, std::int32_t width) {
  Reference420Tail(src0, src1, y0, y1, u, v, 1, 0, width);
}

}  // namespace

TYuv ToYuv(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const std::uint8_t p[4] = {blue, green, red, 0};
  return {Luma(p), std::uint8_t(ChromaU(red, green, blue, 0)), std::uint8_t(ChromaV(red, green, blue, 0))};
}

void ReferenceRgb24Tail(const std::uint8_t* src, std::uint8_t* dst, std::int32_t from, std::int32_t width) {
  for (std::int32_t x = from; x < width; ++x)
    for (int c = 0; c < 3; ++c) dst[3 * x + c] = src[4 * x + c];
}

void ReferenceYuy2Tail(const std::uint8_t* src, std::uint8_t* dst, std::int32_t from, std::int32_t width) {
  for (std::int32_t x = from; x < width; x += 2) {
    const std::uint8_t *a = src + 4 * x, *b = Partner(src, x, width);
    std::uint8_t* d = dst + 2 * x;
    d[0] = Luma(a);
    d[1] = std::uint8_t(ChromaU(a[2] + b[2], a[1] + b[1], a[0] + b[0], 1));
    d[2] = Luma(b);
    d[3] = std::uint8_t(ChromaV(a[2] + b[2], a[1] + b[1], a[0] + b[0], 1));
  }
}

void Reference420Tail(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                      std::uint8_t* u, std::uint8_t* v, std::int32_t uvStep, std::int32_t from, std::int32_t width) {
  for (std::int32_t x = from; x < width; x += 2) {
    const std::uint8_t *a = src0 + 4 * x, *b = Partner(src0, x, width);
    const std::uint8_t *c = src1 + 4 * x, *d = Partner(src1, x, width);
    y0[x] = Luma(a);
    y1[x] = Luma(c);
    if (x + 1 < width) {
      y0[x + 1] = Luma(b);
      y1[x + 1] = Luma(d);
    }
    int sum[3];
    for (int ch = 0; ch < 3; ++ch) sum[ch] = a[ch] + b[ch] + c[ch] + d[ch];
    const std::int32_t at = (x / 2) * uvStep;
    u[at] = std::uint8_t(ChromaU(sum[2], sum[1], sum[0], 2));
    v[at] = std::uint8_t(ChromaV(sum[2], sum[1], sum[0], 2));
  }
}

const TYuvRoutines ReferenceYuvRoutines = {"reference", RefRgb24Row, RefYuy2Row, RefNv12Rows, RefI420Rows};

}  // namespace murmella::yuv
