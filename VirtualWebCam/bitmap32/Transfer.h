#pragma once
// Entry points of the scaled and equal-size copies, and the draw mode rule.
#include "Bitmap32.h"

namespace murmella::bitmap32 {

class TCustomResampler;

// Validation, clipping, then DirectTransfer for equal sizes or the resampler's Transfer;
// notifies dst's ChangedArea(dstRect) when anything was drawn.
void ScaledTransfer(TBitmap32* dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32* src,
                    const TRect& srcRect, TCustomResampler* resampler, TDrawMode combineOp,
                    const TPixelCombineEvent& combineCallBack);

void DirectTransfer(TBitmap32& dst, const TRect& clip, const TBitmap32& src, std::int32_t srcX, std::int32_t srcY,
                    TDrawMode combineOp, const TPixelCombineEvent& combineCallBack);

// How a computed colour C reaches destination pixel D, by the source's draw mode.
class TPixelPutter {
public:
  TPixelPutter(const TBitmap32& src, TDrawMode mode, const TPixelCombineEvent& cb)
      : Src_(src), Mode_(mode == dmCustom && !cb ? dmOpaque : mode), Callback_(cb) {}
  TDrawMode Mode() const { return Mode_; }
  void operator()(TColor32 c, TColor32& d) const {
    switch (Mode_) {
      case dmOpaque: d = c; break;
      case dmBlend: d = BlendPixel(c, d, Src_.CombineMode, Src_.MasterAlpha); break;
      case dmCustom: Callback_(c, d, Src_.MasterAlpha); break;
      case dmTransparent: if (c != Src_.OuterColor) d = c; break;
    }
  }
  // cmBlend lays F over B by F's alpha times MA and keeps B's alpha; cmMerge composes the
  // two alphas as well (F over B with a translucent B).
  static TColor32 BlendPixel(TColor32 f, TColor32 b, TCombineMode mode, std::uint32_t masterAlpha);

private:
  const TBitmap32& Src_;
  TDrawMode Mode_;
  const TPixelCombineEvent& Callback_;
};

}  // namespace murmella::bitmap32
