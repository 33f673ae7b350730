#include "DraftResampler.h"

#include "Transfer.h"
#include "VectorRoutines.h"

namespace murmella::bitmap32 {

TBlockEdges::TBlockEdges(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset) {
  const float s = float(double(srcLen) / double(dstLen));
  Step = std::int64_t(double(s) * 65536.0);
  Offset = std::int32_t(double(clipOffset) * double(s));
}

void TDraftResampler::Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                               const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) {
  const auto srcW = std::uint32_t(srcRect.Width()), srcH = std::uint32_t(srcRect.Height());
  const auto dstW = std::uint32_t(dstRect.Width()), dstH = std::uint32_t(dstRect.Height());
  if (srcW < dstW || srcH < dstH)
    TLinearResampler::Transfer(dst, dstRect, dstClip, src, srcRect, combineOp, cb);
  else
    BoxTransfer(dst, dstRect, dstClip, src, srcRect, combineOp, cb);
}

namespace {
// Column sums of one band are gathered for at most this many source pixels at a time, so they
// stay in the first-level cache and need no allocation.
constexpr std::int32_t ChunkPixels = 2048;
// 257 rows of 255 still fit a 16-bit sum.
constexpr std::int32_t MaxRows16 = 257;
}  // namespace

void BoxTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src, const TRect& srcRect,
                 TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) {
  const TBlockEdges ex(std::uint32_t(srcRect.Width()), std::uint32_t(dstRect.Width()), clip.Left - dstRect.Left);
  const TBlockEdges ey(std::uint32_t(srcRect.Height()), std::uint32_t(dstRect.Height()), clip.Top - dstRect.Top);
  const std::int32_t stride = src.Width() * 4;
  const std::int32_t x0 = srcRect.Left + ex.Offset, y0 = srcRect.Top + ey.Offset;
  const std::int32_t cw = clip.Width(), ch = clip.Height();
  const TPixelPutter put(src, combineOp, combineCallBack);
  const auto& v = VectorRoutines();
  std::uint16_t sums[4 * ChunkPixels];
  std::int32_t edges[ChunkPixels + 1];
  TColor32 line[ChunkPixels];

  for (std::int32_t r = 0; r < ch; ++r) {
    const std::int32_t top = ey.Edge(r), bh = ey.Edge(r + 1) - top;
    const TColor32* band = src.PixelPtr(0, y0 + top);
    TColor32* drow = dst.PixelPtr(clip.Left, clip.Top + r);
    std::int32_t c = 0;
    while (c < cw) {
      const std::int32_t left = ex.Edge(c);
      std::int32_t end = c;
      while (end < cw && ex.Edge(end + 1) - left <= ChunkPixels) ++end;
      if (end == c || bh > MaxRows16) {
        // A block too wide or too high for the 16-bit band sums is averaged on its own.
        const std::int32_t bw = ex.Edge(c + 1) - left;
        put(v.AverageBlock(bw, bh, band + x0 + left, stride), drow[c]);
        ++c;
        continue;
      }
      for (std::int32_t k = c; k <= end; ++k) edges[k - c] = ex.Edge(k) - left;
      v.SumRows16(band + x0 + left, stride, bh, edges[end - c], sums);
      TColor32* out = put.Mode() == dmOpaque ? drow + c : line;
      v.AverageSums16(sums, edges, end - c, bh, out);
      if (out == line)
        for (std::int32_t k = c; k < end; ++k) put(line[k - c], drow[k]);
      c = end;
    }
  }
}

}  // namespace murmella::bitmap32
