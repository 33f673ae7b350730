#pragma once
#include "CustomResampler.h"
#include "Kernel.h"
#include <vector>

namespace murmella::bitmap32 {

// Bilinear interpolation; a source narrower or shorter than 2 pixels is filtered with the
// linear kernel instead (bilinear needs two neighbours).
class TLinearResampler : public TBitmap32Resampler {
public:
  using TBitmap32Resampler::TBitmap32Resampler;
  static TLinearResampler& CreateFor(TBitmap32& b) { return CreateForClass<TLinearResampler>(b); }
  std::string ClassName() const override { return "TLinearResampler"; }
  float KernelWidth() const override { return Kernel_.Width(); }
  const TLinearKernel& Kernel() const { return Kernel_; }
  void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) override;

private:
  TLinearKernel Kernel_;
};

// The bilinear branch with 8-bit weights and the exact rounding of Combine.
void BilinearTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src,
                      const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& combineCallBack);

// Position table entry: Weight holds w (0..256) in both 16-bit halves.
struct TPointRec {
  std::int32_t Pos;
  std::uint32_t Weight;
};
std::vector<TPointRec> BuildPositionTable(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset,
                                          std::int32_t clipLen, std::int32_t srcLo, std::int32_t srcHi,
                                          std::int32_t srcSize);

}  // namespace murmella::bitmap32
