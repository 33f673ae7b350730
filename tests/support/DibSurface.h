// A white 32-bit top-down DIB section selected into a memory DC, for tests that draw with GDI
// and read the pixels back (0x00RRGGBB).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace murmella::test {

class TDibSurface {
 public:
  TDibSurface(int width, int height) : Width_(width), Height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    Dc_ = CreateCompatibleDC(nullptr);
    Bitmap_ = CreateDIBSection(Dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits_), nullptr, 0);
    Old_ = SelectObject(Dc_, Bitmap_);
    Clear();
  }
  ~TDibSurface() {
    SelectObject(Dc_, Old_);
    DeleteObject(Bitmap_);
    DeleteDC(Dc_);
  }
  TDibSurface(const TDibSurface&) = delete;
  TDibSurface& operator=(const TDibSurface&) = delete;

  HDC Dc() const { return Dc_; }
  void Clear() {
    for (int i = 0; i < Width_ * Height_; ++i) Bits_[i] = 0xFFFFFF;
  }
  std::uint32_t Pixel(int x, int y) const { return Bits_[y * Width_ + x] & 0xFFFFFF; }
  std::vector<std::uint32_t> Pixels() const {
    GdiFlush();
    std::vector<std::uint32_t> out(Bits_, Bits_ + static_cast<std::size_t>(Width_) * Height_);
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
  }

 private:
  int Width_, Height_;
  HDC Dc_;
  HBITMAP Bitmap_;
  HGDIOBJ Old_;
  std::uint32_t* Bits_ = nullptr;
};

}  // namespace murmella::test
