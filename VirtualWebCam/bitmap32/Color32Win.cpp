#include <windows.h>

#include "Color32.h"

namespace murmella::bitmap32 {

TColor32 Color32(TColor color) {
  const std::uint32_t bgr = color < 0 ? std::uint32_t(GetSysColor(int(color & 0xFF))) : std::uint32_t(color);
  return Color32FromColorRef(bgr);
}

}  // namespace murmella::bitmap32
