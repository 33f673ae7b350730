#pragma once
#include "CustomResampler.h"

namespace murmella::bitmap32 {

// Point sampling: each destination pixel takes the source pixel under its centre.
class TNearestResampler : public TBitmap32Resampler {
public:
  using TBitmap32Resampler::TBitmap32Resampler;
  static TNearestResampler& CreateFor(TBitmap32& b) { return CreateForClass<TNearestResampler>(b); }
  std::string ClassName() const override { return "TNearestResampler"; }
  void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) override;
};

}  // namespace murmella::bitmap32
