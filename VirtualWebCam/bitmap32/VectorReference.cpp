#include "VectorRoutines.h"

namespace murmella::bitmap32 {
namespace {

const std::uint8_t* Row(const TColor32* first, std::int32_t stride, std::int32_t y) {
  return reinterpret_cast<const std::uint8_t*>(first) + std::ptrdiff_t(y) * stride;
}

TColor32 Divide(const std::uint32_t total[4], std::uint32_t n) {
  const std::uint32_t m = 16777216u / n;
  TColor32 r = 0;
  for (int c = 0; c < 4; ++c) r |= ((total[c] * m) >> 24) << (8 * c);
  return r;
}

TColor32 RefAverageBlock(std::int32_t bw, std::int32_t bh, const TColor32* first, std::int32_t stride) {
  std::uint32_t total[4] = {0, 0, 0, 0};
  for (std::int32_t y = 0; y < bh; ++y) {
    const std::uint8_t* p = Row(first, stride, y);
    for (std::int32_t x = 0; x < 4 * bw; x += 4)
      for (int c = 0; c < 4; ++c) total[c] += p[x + c];
  }
  return Divide(total, std::uint32_t(bw) * std::uint32_t(bh));
}

void RefSumRows16(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t pixels,
                  std::uint16_t* sums) {
  for (std::int32_t i = 0; i < 4 * pixels; ++i) sums[i] = 0;
  for (std::int32_t y = 0; y < rows; ++y) {
    const std::uint8_t* p = Row(first, stride, y);
    for (std::int32_t i = 0; i < 4 * pixels; ++i) sums[i] = std::uint16_t(sums[i] + p[i]);
  }
}

void RefSumPairs16(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t pairs,
                   std::uint16_t* sums) {
  for (std::int32_t i = 0; i < 4 * pairs; ++i) sums[i] = 0;
  for (std::int32_t y = 0; y < rows; ++y) {
    const std::uint8_t* p = Row(first, stride, y);
    for (std::int32_t i = 0; i < pairs; ++i)
      for (int c = 0; c < 4; ++c) sums[4 * i + c] = std::uint16_t(sums[4 * i + c] + p[8 * i + c] + p[8 * i + 4 + c]);
  }
}

void RefAverageSums16(const std::uint16_t* sums, const std::int32_t* edges, std::int32_t count, std::int32_t rows,
                      TColor32* out) {
  for (std::int32_t c = 0; c < count; ++c) {
    std::uint32_t total[4] = {0, 0, 0, 0};
    for (std::int32_t x = edges[c]; x < edges[c + 1]; ++x)
      for (int k = 0; k < 4; ++k) total[k] += sums[4 * x + k];
    out[c] = Divide(total, std::uint32_t(edges[c + 1] - edges[c]) * std::uint32_t(rows));
  }
}

void RefInterpolateAcross(const TColor32* row, std::int32_t, const std::int32_t* pos, const std::uint8_t* weights, TColor32* out,
                          std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) out[i] = Combine(row[pos[i]], row[pos[i] + 1], weights[i]);
}

void RefCombineRows(const TColor32* top, const TColor32* bottom, std::uint8_t b, TColor32* out, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) out[i] = Combine(top[i], bottom[i], b);
}

}  // namespace

TColor32 Combine(TColor32 x, TColor32 y, std::uint32_t w) {
  if (w == 0) return y;
  if (w >= 255) return x;
  TColor32 r = 0;
  for (int s = 0; s < 32; s += 8) {
    const std::uint32_t xc = (x >> s) & 0xFF, yc = (y >> s) & 0xFF;
    r |= (((xc * w + 128) >> 8) + ((yc * (255 - w) + 128) >> 8)) << s;
  }
  return r;
}

const TVectorRoutines ReferenceRoutines{"reference", RefAverageBlock, RefSumRows16, RefSumPairs16, RefAverageSums16,
                                        RefInterpolateAcross, RefCombineRows, nullptr, nullptr};

}  // namespace murmella::bitmap32
