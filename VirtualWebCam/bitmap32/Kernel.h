#pragma once
// Filter kernels for separable resampling.
#include "Bitmap32.h"

namespace murmella::bitmap32 {

class TCustomKernel {
public:
  virtual ~TCustomKernel() = default;
  virtual float Filter(float x) const = 0;
  virtual float Width() const = 0;
};

// f(x) = 1 - |x| for -1 <= x < 1.
class TLinearKernel final : public TCustomKernel {
public:
  float Filter(float x) const override { return (x >= -1.0f && x < 1.0f) ? 1.0f - (x < 0 ? -x : x) : 0.0f; }
  float Width() const override { return 1.0f; }
};

// f(x) = 1 for -0.5 <= x < 0.5.
class TBoxKernel final : public TCustomKernel {
public:
  float Filter(float x) const override { return (x >= -0.5f && x < 0.5f) ? 1.0f : 0.0f; }
  float Width() const override { return 0.5f; }
};

// Separable resampling of srcRect into dstRect with the kernel, written inside clip.
void KernelTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src,
                    const TRect& srcRect, const TCustomKernel& kernel, TDrawMode combineOp,
                    const TPixelCombineEvent& combineCallBack);

}  // namespace murmella::bitmap32
