#include "NearestResampler.h"

#include "Transfer.h"

namespace murmella::bitmap32 {

void TNearestResampler::Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                                 const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) {
  const std::int64_t sw = srcRect.Width(), sh = srcRect.Height();
  const std::int64_t dw = dstRect.Width(), dh = dstRect.Height();
  const TPixelPutter put(src, combineOp, cb);
  for (std::int32_t y = dstClip.Top; y < dstClip.Bottom; ++y) {
    const std::int64_t sy = srcRect.Top + ((2 * (y - dstRect.Top) + 1) * sh) / (2 * dh);
    const TColor32* srow = src.ScanLine(std::int32_t(sy));
    TColor32* drow = dst.ScanLine(y);
    for (std::int32_t x = dstClip.Left; x < dstClip.Right; ++x) {
      const std::int64_t sx = srcRect.Left + ((2 * (x - dstRect.Left) + 1) * sw) / (2 * dw);
      put(srow[sx], drow[x]);
    }
  }
}

}  // namespace murmella::bitmap32
