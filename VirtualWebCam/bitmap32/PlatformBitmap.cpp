#include "PlatformBitmap.h"

#include <algorithm>

#include "Bitmap32Errors.h"

namespace murmella::bitmap32 {
namespace {

TPixelFormat FormatOfBits(int bits) {
  switch (bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return pf16bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pfCustom;
  }
}

WORD BitsOfFormat(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

}  // namespace

TPlatformBitmap::TPlatformBitmap(HBITMAP handle, bool ownsHandle) : Handle_(handle), Owns_(ownsHandle) {
  DIBSECTION ds{};
  const int got = GetObjectW(handle, sizeof(ds), &ds);
  if (got == 0) throw EBitmapException("Invalid bitmap handle");
  Width_ = ds.dsBm.bmWidth;
  Height_ = ds.dsBm.bmHeight;
  if (got == int(sizeof(DIBSECTION)) && ds.dsBm.bmBits) {
    Type_ = bmDIB;
    Format_ = FormatOfBits(ds.dsBmih.biBitCount);
    Bits_ = ds.dsBm.bmBits;
    Stride_ = ds.dsBm.bmWidthBytes;
    BottomUp_ = ds.dsBmih.biHeight > 0;
    Height_ = std::abs(ds.dsBmih.biHeight);
    // Masks that together miss the top byte of a 32-bit pixel make that byte padding.
    PaddingByte_ = ds.dsBmih.biBitCount == 32 && ds.dsBmih.biCompression == BI_BITFIELDS &&
                   ((ds.dsBitfields[0] | ds.dsBitfields[1] | ds.dsBitfields[2]) & 0xFF000000u) == 0;
  } else {
    Type_ = bmDDB;
    Format_ = pfDevice;
  }
}

TPlatformBitmap::~TPlatformBitmap() {
  Deselect();
  if (Owns_ && Handle_) DeleteObject(Handle_);
}

void TPlatformBitmap::Deselect() {
  if (Dc_ && Previous_) SelectObject(Dc_.get(), Previous_);
  Previous_ = nullptr;
  Dc_.reset();
}

HDC TPlatformBitmap::DrawingContext() {
  std::lock_guard<std::recursive_mutex> guard(Lock_);
  if (!Dc_) {
    Dc_.reset(CreateCompatibleDC(nullptr));
    if (!Dc_) throw EBitmapAllocationException("Can't create compatible DC");
    if (Handle_) {
      Previous_ = SelectObject(Dc_.get(), Handle_);
      if (!Previous_) {
        Dc_.reset();
        throw EBitmapAllocationException("Can't select an object into DC");
      }
    }
  }
  return Dc_.get();
}

void* TPlatformBitmap::ScanLine(std::int32_t row) const {
  if (!Bits_ || row < 0 || row >= Height_) return nullptr;
  const std::int32_t memRow = BottomUp_ ? Height_ - 1 - row : row;
  return static_cast<std::uint8_t*>(Bits_) + std::ptrdiff_t(memRow) * Stride_;
}

void TPlatformBitmap::SetWidth(std::int32_t width) {
  if (width != Width_) Rebuild(std::max(width, 0), Height_, Format_, Type_);
}
void TPlatformBitmap::SetHeight(std::int32_t height) {
  if (height != Height_) Rebuild(Width_, std::max(height, 0), Format_, Type_);
}
void TPlatformBitmap::SetPixelFormat(TPixelFormat format) {
  if (format != Format_) Rebuild(Width_, Height_, format, format == pfDevice ? bmDDB : bmDIB);
}
void TPlatformBitmap::SetHandleType(TBitmapHandleType type) {
  if (type != Type_) Rebuild(Width_, Height_, type == bmDDB ? pfDevice : (Format_ == pfDevice ? pf32bit : Format_), type);
}

void TPlatformBitmap::Rebuild(std::int32_t width, std::int32_t height, TPixelFormat format, TBitmapHandleType type) {
  std::lock_guard<std::recursive_mutex> guard(Lock_);
  HBITMAP fresh = nullptr;
  void* bits = nullptr;
  std::int32_t stride = 0;
  if (width > 0 && height > 0) {
    if (type == bmDIB) {
      struct {
        BITMAPINFOHEADER Header;
        RGBQUAD Colors[256];
      } info{};
      info.Header = DibHeader(width, height, BitsOfFormat(format));  // rows bottom-up, the usual DIB
      if (info.Header.biBitCount <= 8)
        for (int i = 0; i < (1 << info.Header.biBitCount); ++i) {
          const BYTE g = BYTE(i * 255 / ((1 << info.Header.biBitCount) - 1));
          info.Colors[i] = RGBQUAD{g, g, g, 0};
        }
      fresh = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
      stride = ((width * info.Header.biBitCount + 31) / 32) * 4;
    } else {
      HDC screen = GetDC(nullptr);
      fresh = CreateCompatibleBitmap(screen, width, height);
      ReleaseDC(nullptr, screen);
    }
    if (!fresh) throw EBitmapAllocationException("Can't allocate the DIB handle");
  }
  // Keep the old picture, as far as it reaches, in the new bitmap.
  if (fresh && Handle_ && Width_ > 0 && Height_ > 0) {
    TMemoryDC dc(CreateCompatibleDC(nullptr));
    HDC from = DrawingContext();
    HGDIOBJ prev = SelectObject(dc.get(), fresh);
    BitBlt(dc.get(), 0, 0, std::min(width, Width_), std::min(height, Height_), from, 0, 0, SRCCOPY);
    SelectObject(dc.get(), prev);
  }
  Deselect();
  if (Owns_ && Handle_) DeleteObject(Handle_);
  Handle_ = fresh;
  Owns_ = true;
  Width_ = width;
  Height_ = height;
  Format_ = format;
  Type_ = type;
  Bits_ = bits;
  Stride_ = stride;
  BottomUp_ = true;
  PaddingByte_ = false;
}

HBITMAP CreateOpaqueDib32(std::int32_t width, std::int32_t height, void** bits) {
  struct {
    BITMAPINFOHEADER Header;
    DWORD Masks[3];
  } info{};
  // Bottom-up: Wine reports a top-down DIB with colour masks as bottom-up, so the rows would
  // be read upside down; bottom-up is also the order of the frames made from it.
  info.Header = DibHeader(width, height, 32);
  info.Header.biCompression = BI_BITFIELDS;
  info.Masks[0] = 0x00FF0000u;
  info.Masks[1] = 0x0000FF00u;
  info.Masks[2] = 0x000000FFu;
  *bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
  if (b && !*bits) {
    DeleteObject(b);
    b = nullptr;
  }
  return b;
}

}  // namespace murmella::bitmap32
