#include "LinearResampler.h"

namespace murmella::bitmap32 {

void TLinearResampler::Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) {
  if (srcRect.Width() < 2 || srcRect.Height() < 2)
    KernelTransfer(dst, dstRect, dstClip, src, srcRect, Kernel_, combineOp, cb);
  else
    BilinearTransfer(dst, dstRect, dstClip, src, srcRect, combineOp, cb);
}

}  // namespace murmella::bitmap32
