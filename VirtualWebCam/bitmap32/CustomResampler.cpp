#include "CustomResampler.h"

namespace murmella::bitmap32 {

void TBitmap32Resampler::CopyTo(TCustomResampler& target) const {
  if (auto* t = dynamic_cast<TBitmap32Resampler*>(&target)) t->PixelAccessMode = PixelAccessMode;
}

}  // namespace murmella::bitmap32
