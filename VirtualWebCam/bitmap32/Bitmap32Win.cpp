// Copy-in from and copy-out to GDI bitmaps.
#include <windows.h>

#include "Bitmap32.h"
#include "Bitmap32Errors.h"
#include "DraftResampler.h"
#include "GdiObjects.h"
#include "PlatformBitmap.h"

namespace murmella::bitmap32 {
namespace {

// The copy-in rule for the fourth byte of pixels just copied from source: only a 32-bit DIB
// carries one worth keeping, and a transparent source's colour key loses its alpha.
void ApplyCopyInAlpha(const TPlatformBitmap& source, TColor32* pixels, std::size_t count) {
  if (!source.KeepsAlpha()) {
    constexpr TColor32 opaque = 0xFF000000u;
    std::size_t i = 0;
    // Four at a time, which the compiler turns into one vector operation.
    for (; i + 4 <= count; i += 4) {
      pixels[i] |= opaque;
      pixels[i + 1] |= opaque;
      pixels[i + 2] |= opaque;
      pixels[i + 3] |= opaque;
    }
    for (; i < count; ++i) pixels[i] |= opaque;
  }
  if (source.Transparent) {
    const TColor32 key = Color32(source.TransparentColor) & 0x00FFFFFFu;
    for (std::size_t i = 0; i < count; ++i)
      if ((pixels[i] & 0x00FFFFFFu) == key) pixels[i] &= 0x00FFFFFFu;
  }
}

}  // namespace

void TBitmap32::CopyFrom(TPlatformBitmap& source) {
  CopyGuarded([&] {
    SetSize(source.Width(), source.Height());
    if (!IsEmpty()) {
      {
        std::lock_guard<std::recursive_mutex> guard(source.DrawingLock());
        BitBlt(static_cast<HDC>(DrawingContext()), 0, 0, Width_, Height_, source.DrawingContext(), 0, 0, SRCCOPY);
      }
      GdiFlush();
      ApplyCopyInAlpha(source, Bits_, std::size_t(Width_) * std::size_t(Height_));
    }
  });
}

TRowSpan LoadRows(TPlatformBitmap& source, HDC dc, TColor32* band, std::int32_t top, std::int32_t rows) {
  Assert(rows > 0 && top >= 0 && top + rows <= source.Height(), "LoadRows needs rows inside the source");
  // Bottom-up, the one orientation in which GetDIBits numbers scan lines unambiguously (from
  // the bottom); the band then holds the rows upside down.
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Masks[3];  // room for colour masks, should the platform write them
  } info{};
  info.Header = DibHeader(source.Width(), source.Height(), 32);
  GetDIBits(dc, source.Handle(), UINT(source.Height() - top - rows), UINT(rows), band,
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ApplyCopyInAlpha(source, band, std::size_t(rows) * std::size_t(source.Width()));
  return {band + std::size_t(rows - 1) * std::size_t(source.Width()), -source.Width() * 4};
}

void TBitmap32::CopyTo(TPlatformBitmap& target) const {
  target.SetHandleType(bmDIB);
  target.SetPixelFormat(pf32bit);
  target.SetWidth(Width_);
  target.SetHeight(Height_);
  if (IsEmpty()) return;
  const BITMAPINFOHEADER header = DibHeader(Width_, -Height_, 32);
  GdiFlush();
  std::lock_guard<std::recursive_mutex> guard(target.DrawingLock());
  StretchDIBits(target.DrawingContext(), 0, 0, Width_, Height_, 0, 0, Width_, Height_, Bits_,
                reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY);
  GdiFlush();
}

}  // namespace murmella::bitmap32
