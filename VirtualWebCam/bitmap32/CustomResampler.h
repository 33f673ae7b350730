#pragma once
// The resampler chain: a resampler decides how its owner bitmap is scaled when it is the
// source of a draw.
#include <memory>
#include <string>

#include "Bitmap32.h"

namespace murmella::bitmap32 {

enum class TPixelAccessMode { pamUnsafe, pamSafe, pamWrap, pamTransparentEdge };
using enum TPixelAccessMode;

class TCustomSampler : public TNotifiablePersistent {};

class TCustomResampler : public TCustomSampler {
public:
  virtual std::string ClassName() const = 0;
  virtual float KernelWidth() const { return 1.0f; }
  // The scaled copy of srcRect of src into dstRect of dst, writing only inside dstClip.
  virtual void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                        const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) = 0;
  // Copies this resampler's settings to another of the same family.
  virtual void CopyTo(TCustomResampler& target) const {}
};

class TBitmap32Resampler : public TCustomResampler {
public:
  explicit TBitmap32Resampler(TBitmap32& owner) : Owner_(owner) {}
  TBitmap32& Bitmap() const { return Owner_; }
  void Changed() override { Owner_.Changed(); }
  void CopyTo(TCustomResampler& target) const override;
  TPixelAccessMode PixelAccessMode = pamSafe;

  // Makes a resampler of class R the bitmap's Resampler (the previous one is destroyed).
  template <class R>
  static R& CreateForClass(TBitmap32& bitmap) {
    auto owned = std::make_unique<R>(bitmap);
    R& r = *owned;
    bitmap.SetResampler(std::move(owned));
    return r;
  }

private:
  TBitmap32& Owner_;
};

}  // namespace murmella::bitmap32
