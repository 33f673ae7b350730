#include "CustomMap.h"

#include <algorithm>

namespace murmella::bitmap32 {

bool TCustomMap::SetSize(std::int32_t width, std::int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == Width_ && height == Height_) return false;
  AllocatePixels(width, height);
  Changed();
  Resized();
  return true;
}

void TCustomMap::AllocatePixels(std::int32_t newWidth, std::int32_t newHeight) {
  Width_ = newWidth;
  Height_ = newHeight;
}

void TCustomMap::Resized() {
  if (OnResize) OnResize(*this);
}

}  // namespace murmella::bitmap32
