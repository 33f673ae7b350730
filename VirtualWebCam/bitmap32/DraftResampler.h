#pragma once
#include "LinearResampler.h"

namespace murmella::bitmap32 {

// Draft quality: integer box averages for reductions, bilinear for enlargements.
class TDraftResampler : public TLinearResampler {
public:
  using TLinearResampler::TLinearResampler;
  static TDraftResampler& CreateFor(TBitmap32& b) { return CreateForClass<TDraftResampler>(b); }
  std::string ClassName() const override { return "TDraftResampler"; }
  void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) override;
};

// The reduction: each destination pixel is the AverageBlock of its block of source pixels.
void BoxTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src, const TRect& srcRect,
                 TDrawMode combineOp, const TPixelCombineEvent& combineCallBack);

// Block edges Ex(k) = floor(k * step / 65536) with step = trunc(float(srcLen / dstLen) * 65536).
struct TBlockEdges {
  TBlockEdges(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset);
  std::int64_t Step;
  std::int32_t Offset;  // trunc(clipOffset * s)
  std::int32_t Edge(std::int32_t k) const { return std::int32_t((std::int64_t(k) * Step) >> 16); }
};

}  // namespace murmella::bitmap32
