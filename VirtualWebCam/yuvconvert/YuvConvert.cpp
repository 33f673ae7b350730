#include "YuvConvert.h"

#include "VectorRoutines.h"
#include "YuvRoutines.h"

#include <cstring>

namespace murmella::yuv {

namespace bm = murmella::bitmap32;

namespace {

std::size_t Half(std::int32_t n) { return std::size_t(n) / 2 + std::size_t(n) % 2; }

}  // namespace

const TYuvRoutines& YuvRoutines() {
  // The bitmap code has made its choice from the processor and the environment already; the
  // conversions take the same level, so forcing the reference there forces it here too.
  const bm::TVectorRoutines& chosen = bm::VectorRoutines();
  if (&chosen == bm::VectorRoutinesFor(bm::TVectorLevel::AVX2)) return Avx2YuvRoutines;
  if (&chosen == bm::VectorRoutinesFor(bm::TVectorLevel::SSE2)) return Sse2YuvRoutines;
  return ReferenceYuvRoutines;
}

int AvailableYuvRoutines(const TYuvRoutines* out[3]) {
  int n = 0;
  out[n++] = &ReferenceYuvRoutines;
  if (bm::VectorRoutinesFor(bm::TVectorLevel::SSE2)) out[n++] = &Sse2YuvRoutines;
  if (bm::VectorRoutinesFor(bm::TVectorLevel::AVX2)) out[n++] = &Avx2YuvRoutines;
  return n;
}

std::size_t RowBytes(TPixelFormat format, std::int32_t width) {
  const std::size_t w = width > 0 ? std::size_t(width) : 0;
  switch (format) {
    case TPixelFormat::RGB32: return 4 * w;
    case TPixelFormat::RGB24: return (3 * w + 3) & ~std::size_t(3);
    case TPixelFormat::YUY2: return 4 * Half(std::int32_t(w));
    case TPixelFormat::NV12:
    case TPixelFormat::I420: return w;
  }
  return 0;
}

std::size_t FrameBytes(TPixelFormat format, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const std::size_t luma = RowBytes(format, width) * std::size_t(height);
  if (format == TPixelFormat::NV12 || format == TPixelFormat::I420) return luma + 2 * Half(width) * Half(height);
  return luma;
}

void ConvertFrame(TPixelFormat format, const std::uint8_t* top, std::ptrdiff_t stride, std::int32_t width,
                  std::int32_t height, std::uint8_t* dst) {
  ConvertFrameWith(YuvRoutines(), format, top, stride, width, height, dst);
}

void ConvertFrameWith(const TYuvRoutines& r, TPixelFormat format, const std::uint8_t* top, std::ptrdiff_t stride,
                      std::int32_t width, std::int32_t height, std::uint8_t* dst) {
  if (width <= 0 || height <= 0) return;
  const std::size_t rowBytes = RowBytes(format, width);
  const auto source = [&](std::int32_t y) { return top + stride * y; };
  switch (format) {
    case TPixelFormat::RGB32:
    case TPixelFormat::RGB24:
      for (std::int32_t y = 0; y < height; ++y) {
        // Bottom-up: the first row written is the picture's last.
        std::uint8_t* row = dst + rowBytes * std::size_t(height - 1 - y);
        if (format == TPixelFormat::RGB32) {
          memcpy(row, source(y), rowBytes);
          continue;
        }
        r.Rgb24Row(source(y), row, width);
        memset(row + 3 * std::size_t(width), 0, rowBytes - 3 * std::size_t(width));
      }
      return;
    case TPixelFormat::YUY2:
      for (std::int32_t y = 0; y < height; ++y) r.Yuy2Row(source(y), dst + rowBytes * std::size_t(y), width);
      return;
    case TPixelFormat::NV12:
    case TPixelFormat::I420: {
      const std::size_t chromaRow = Half(width), chromaPlane = chromaRow * Half(height);
      std::uint8_t* chroma = dst + std::size_t(width) * std::size_t(height);
      for (std::int32_t y = 0; y < height; y += 2) {
        const bool pair = y + 1 < height;
        std::uint8_t* y0 = dst + std::size_t(width) * std::size_t(y);
        std::uint8_t* y1 = pair ? y0 + width : y0;
        const std::uint8_t* s1 = source(pair ? y + 1 : y);
        const std::size_t c = std::size_t(y / 2);
        if (format == TPixelFormat::NV12)
          r.Nv12Rows(source(y), s1, y0, y1, chroma + 2 * chromaRow * c, width);
        else
          r.I420Rows(source(y), s1, y0, y1, chroma + chromaRow * c, chroma + chromaPlane + chromaRow * c, width);
      }
      return;
    }
  }
}

}  // namespace murmella::yuv
