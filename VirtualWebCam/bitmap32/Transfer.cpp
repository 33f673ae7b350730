#include "Transfer.h"

#include <cstring>

#include "Bitmap32Errors.h"
#include "CustomResampler.h"

namespace murmella::bitmap32 {

TColor32 TPixelPutter::BlendPixel(TColor32 f, TColor32 b, TCombineMode mode, std::uint32_t masterAlpha) {
  const std::uint32_t ma = masterAlpha > 255 ? 255 : masterAlpha;
  const std::uint32_t fa = (AlphaComponent(f) * ma + 127) / 255;
  if (fa == 0) return b;
  const std::uint32_t ba = AlphaComponent(b);
  if (mode == cmBlend) {
    TColor32 r = b & 0xFF000000u;
    for (int s = 0; s < 24; s += 8) {
      const std::uint32_t fc = (f >> s) & 0xFF, bc = (b >> s) & 0xFF;
      r |= ((fc * fa + bc * (255 - fa) + 127) / 255) << s;
    }
    return r;
  }
  // Merge: result alpha = fa + ba (1 - fa); colours weighted by their share of it.
  const std::uint32_t bw = ba * (255 - fa);  // scaled by 255
  const std::uint32_t ra255 = fa * 255 + bw;
  if (ra255 == 0) return 0;
  TColor32 r = TColor32((ra255 + 127) / 255) << 24;
  for (int s = 0; s < 24; s += 8) {
    const std::uint32_t fc = (f >> s) & 0xFF, bc = (b >> s) & 0xFF;
    r |= ((fc * fa * 255 + bc * bw + ra255 / 2) / ra255) << s;
  }
  return r;
}

void DirectTransfer(TBitmap32& dst, const TRect& clip, const TBitmap32& src, std::int32_t srcX, std::int32_t srcY,
                    TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) {
  const TPixelPutter put(src, combineOp, combineCallBack);
  const std::int32_t w = clip.Width();
  for (std::int32_t row = 0; row < clip.Height(); ++row) {
    const TColor32* s = src.PixelPtr(srcX, srcY + row);
    TColor32* d = dst.PixelPtr(clip.Left, clip.Top + row);
    if (put.Mode() == dmOpaque) {
      std::memmove(d, s, std::size_t(w) * 4);
    } else {
      for (std::int32_t i = 0; i < w; ++i) put(s[i], d[i]);
    }
  }
}

void ScaledTransfer(TBitmap32* dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32* src,
                    const TRect& srcRect, TCustomResampler* resampler, TDrawMode combineOp,
                    const TPixelCombineEvent& combineCallBack) {
  if (!dst) throw EBitmapException("Destination bitmap is nil");
  if (!src) throw EBitmapException("Source bitmap is nil");
  if (src->IsEmpty() || dst->IsEmpty()) return;
  if (combineOp == dmBlend && src->MasterAlpha == 0) return;
  if (IsRectEmpty(srcRect)) return;
  if (srcRect.Left < 0 || srcRect.Top < 0 || srcRect.Right > src->Width() || srcRect.Bottom > src->Height())
    throw ESrcInvalidException("Source rectangle is invalid");
  const TRect clip = IntersectRect(IntersectRect(dstClip, dst->Bounds()), dstRect);
  if (IsRectEmpty(clip)) return;
  if (combineOp == dmCustom && !combineCallBack) combineOp = dmOpaque;
  if (srcRect.Width() == dstRect.Width() && srcRect.Height() == dstRect.Height()) {
    DirectTransfer(*dst, clip, *src, srcRect.Left + clip.Left - dstRect.Left, srcRect.Top + clip.Top - dstRect.Top,
                   combineOp, combineCallBack);
  } else {
    Assert(resampler != nullptr, "ScaledTransfer needs a resampler");
    resampler->Transfer(*dst, dstRect, clip, *src, srcRect, combineOp, combineCallBack);
  }
  // The SSE2/AVX2 routines leave no state behind (unlike MMX), so there is nothing to clear.
  dst->ChangedArea(dstRect, AREAINFO_RECT);
}

}  // namespace murmella::bitmap32
