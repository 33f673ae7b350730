#include <algorithm>
#include <cmath>
#include <vector>

#include "Kernel.h"
#include "Transfer.h"

namespace murmella::bitmap32 {
namespace {

struct TTap {
  std::int32_t Index;
  float Weight;
};

// Per destination position of the clip: the source taps and their normalised weights.
std::vector<std::vector<TTap>> BuildTaps(std::int32_t dstLo, std::int32_t clipLo, std::int32_t clipHi,
                                         std::int32_t srcLo, std::int32_t srcHi, std::int32_t dstLen,
                                         const TCustomKernel& kernel) {
  const double scale = double(dstLen) / double(srcHi - srcLo);
  const double stretch = scale < 1.0 ? 1.0 / scale : 1.0;  // a reduction widens the kernel
  const double radius = kernel.Width() * stretch;
  std::vector<std::vector<TTap>> taps(std::size_t(clipHi - clipLo));
  for (std::int32_t i = clipLo; i < clipHi; ++i) {
    const double centre = (i - dstLo + 0.5) / scale + srcLo - 0.5;
    auto& t = taps[std::size_t(i - clipLo)];
    float sum = 0;
    for (auto s = std::int32_t(std::floor(centre - radius)); s <= std::int32_t(std::ceil(centre + radius)); ++s) {
      const float w = kernel.Filter(float((s - centre) / stretch));
      if (w == 0) continue;
      t.push_back({std::clamp(s, srcLo, srcHi - 1), w});
      sum += w;
    }
    if (t.empty() || sum == 0) {
      t.assign(1, {std::clamp(std::int32_t(std::lround(centre)), srcLo, srcHi - 1), 1.0f});
      sum = 1;
    }
    for (auto& tap : t) tap.Weight /= sum;
  }
  return taps;
}

}  // namespace

void KernelTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src,
                    const TRect& srcRect, const TCustomKernel& kernel, TDrawMode combineOp,
                    const TPixelCombineEvent& combineCallBack) {
  const auto cols = BuildTaps(dstRect.Left, clip.Left, clip.Right, srcRect.Left, srcRect.Right, dstRect.Width(), kernel);
  const auto rows = BuildTaps(dstRect.Top, clip.Top, clip.Bottom, srcRect.Top, srcRect.Bottom, dstRect.Height(), kernel);
  const TPixelPutter put(src, combineOp, combineCallBack);
  for (std::size_t j = 0; j < rows.size(); ++j) {
    TColor32* drow = dst.PixelPtr(clip.Left, clip.Top + std::int32_t(j));
    for (std::size_t i = 0; i < cols.size(); ++i) {
      float acc[4] = {0, 0, 0, 0};
      for (const TTap& ry : rows[j]) {
        const TColor32* srow = src.ScanLine(ry.Index);
        for (const TTap& cx : cols[i]) {
          const TColor32 p = srow[cx.Index];
          const float w = ry.Weight * cx.Weight;
          for (int c = 0; c < 4; ++c) acc[c] += w * float((p >> (8 * c)) & 0xFF);
        }
      }
      TColor32 r = 0;
      for (int c = 0; c < 4; ++c) r |= TColor32(std::clamp(std::lround(acc[c]), 0L, 255L)) << (8 * c);
      put(r, drow[i]);
    }
  }
}

}  // namespace murmella::bitmap32
