// Copy-in from and copy-out to GDI bitmaps.
#include <windows.h>

#include "Bitmap32.h"
#include "PlatformBitmap.h"

namespace murmella::bitmap32 {

void TBitmap32::CopyFrom(TPlatformBitmap& source) {
  BeginUpdate();
  try {
    SetSize(source.Width(), source.Height());
    if (!IsEmpty()) {
      {
        std::lock_guard<std::recursive_mutex> guard(source.DrawingLock());
        BitBlt(static_cast<HDC>(DrawingContext()), 0, 0, Width_, Height_, source.DrawingContext(), 0, 0, SRCCOPY);
      }
      GdiFlush();
      // Only a 32-bit DIB carries a fourth byte worth keeping.
      if (source.HandleType() != bmDIB || source.PixelFormat() != pf32bit) FillAlpha(255);
      if (source.Transparent) {
        const TColor32 key = Color32(source.TransparentColor) & 0x00FFFFFFu;
        const std::size_t n = std::size_t(Width_) * std::size_t(Height_);
        for (std::size_t i = 0; i < n; ++i)
          if ((Bits_[i] & 0x00FFFFFFu) == key) Bits_[i] &= 0x00FFFFFFu;
      }
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}

void TBitmap32::CopyTo(TPlatformBitmap& target) const {
  target.SetHandleType(bmDIB);
  target.SetPixelFormat(pf32bit);
  target.SetWidth(Width_);
  target.SetHeight(Height_);
  if (IsEmpty()) return;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = Width_;
  header.biHeight = -Height_;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  GdiFlush();
  std::lock_guard<std::recursive_mutex> guard(target.DrawingLock());
  StretchDIBits(target.DrawingContext(), 0, 0, Width_, Height_, 0, 0, Width_, Height_, Bits_,
                reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY);
  GdiFlush();
}

}  // namespace murmella::bitmap32
