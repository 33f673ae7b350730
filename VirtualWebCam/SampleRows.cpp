#include "SampleRows.h"

#include <algorithm>
#include <cstring>

namespace vwc {

int32_t RowsThatFit(size_t bufferSize, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const size_t row = size_t(width) * 4;
  const size_t rows = bufferSize / row;
  return rows < size_t(height) ? int32_t(rows) : height;
}

size_t CopyRowsBottomUp(const uint8_t* topDown, ptrdiff_t rowStride, int32_t width, int32_t height, uint8_t* dst,
                        size_t dstSize, bool opaque) {
  const int32_t rows = RowsThatFit(dstSize, width, height);
  const size_t row = size_t(width) * 4;
  for (int32_t r = 0; r < rows; ++r) {
    uint8_t* to = dst + row * size_t(r);
    const uint8_t* from = topDown + rowStride * (height - 1 - r);
    if (!opaque) {
      memcpy(to, from, row);
      continue;
    }
    // Whole words, so that the compiler makes one vector OR of each load.
    for (size_t x = 0; x < row; x += 4) {
      uint32_t p;
      memcpy(&p, from + x, 4);
      p |= 0xFF000000u;
      memcpy(to + x, &p, 4);
    }
  }
  return row * size_t(rows);
}

size_t FillBlackRows(int32_t width, int32_t height, uint8_t* dst, size_t dstSize) {
  const int32_t rows = RowsThatFit(dstSize, width, height);
  const size_t pixels = size_t(width) * size_t(rows);
  static constexpr uint8_t kBlack[4] = {0, 0, 0, 0xFF};
  for (size_t i = 0; i < pixels; ++i) memcpy(dst + 4 * i, kBlack, 4);
  return pixels * 4;
}

size_t PlaceInFrame(const uint8_t* innerBottomUp, const murmella::bitmap32::TRect& inner, int32_t width,
                    int32_t height, uint8_t* dst, size_t dstSize) {
  const size_t written = FillBlackRows(width, height, dst, dstSize);
  const int32_t rows = RowsThatFit(dstSize, width, height);
  const size_t row = size_t(width) * 4, innerRow = size_t(inner.Width()) * 4;
  // Frame row r (bottom-up) shows picture row height - 1 - r; the inner picture's bottom row is
  // picture row inner.Bottom - 1.
  const int32_t first = height - inner.Bottom;
  for (int32_t r = std::max(first, 0); r < rows && r < first + inner.Height(); ++r)
    memcpy(dst + row * size_t(r) + size_t(inner.Left) * 4, innerBottomUp + innerRow * size_t(r - first), innerRow);
  return written;
}

}  // namespace vwc
