#pragma once
#include <cstdint>

namespace murmella::bitmap32 {

// 0xAARRGGBB; in memory blue, green, red, alpha, the layout of a 32-bit BI_RGB DIB pixel.
using TColor32 = std::uint32_t;
// The platform's colour value: 0x00BBGGRR, or negative for a system colour (index in the low byte).
using TColor = std::int32_t;

constexpr TColor32 Color32(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 0xFF) {
  return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
constexpr std::uint8_t AlphaComponent(TColor32 c) { return std::uint8_t(c >> 24); }
constexpr std::uint8_t RedComponent(TColor32 c) { return std::uint8_t(c >> 16); }
constexpr std::uint8_t GreenComponent(TColor32 c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t BlueComponent(TColor32 c) { return std::uint8_t(c); }

// An RGB colour value (0x00BBGGRR) as an opaque TColor32.
constexpr TColor32 Color32FromColorRef(std::uint32_t bgr) {
  return 0xFF000000u | ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
}

// Resolves system colours through the platform (Windows only: Color32Win.cpp).
TColor32 Color32(TColor color);

}  // namespace murmella::bitmap32
