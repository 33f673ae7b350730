#pragma once
#include <memory>

#include "CustomResampler.h"
#include "Kernel.h"

namespace murmella::bitmap32 {

// Separable resampling with an exchangeable kernel (a box kernel unless set).
class TKernelResampler : public TBitmap32Resampler {
public:
  explicit TKernelResampler(TBitmap32& owner) : TBitmap32Resampler(owner), Kernel_(std::make_unique<TBoxKernel>()) {}
  static TKernelResampler& CreateFor(TBitmap32& b) { return CreateForClass<TKernelResampler>(b); }
  std::string ClassName() const override { return "TKernelResampler"; }
  float KernelWidth() const override { return Kernel_->Width(); }
  const TCustomKernel& Kernel() const { return *Kernel_; }
  void SetKernel(std::unique_ptr<TCustomKernel> kernel) { Kernel_ = std::move(kernel); Changed(); }
  void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) override {
    KernelTransfer(dst, dstRect, dstClip, src, srcRect, *Kernel_, combineOp, cb);
  }

private:
  std::unique_ptr<TCustomKernel> Kernel_;
};

}  // namespace murmella::bitmap32
