#pragma once
// A GDI bitmap with what copying to and from a TBitmap32 needs of it: size, pixel format,
// DDB or DIB kind, transparency, a memory drawing context with its lock, and scan lines.
#include <windows.h>

#include <cstdint>
#include <mutex>

#include "Color32.h"
#include "GdiObjects.h"

namespace murmella::bitmap32 {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TBitmapHandleType { bmDIB, bmDDB };
using enum TPixelFormat;
using enum TBitmapHandleType;

struct TRowSpan;

class TPlatformBitmap {
public:
  TPlatformBitmap() = default;
  // Wraps an existing bitmap; with ownsHandle false the caller keeps and deletes it (after
  // this object is gone or has let go of it).
  explicit TPlatformBitmap(HBITMAP handle, bool ownsHandle = false);
  ~TPlatformBitmap();
  TPlatformBitmap(const TPlatformBitmap&) = delete;
  TPlatformBitmap& operator=(const TPlatformBitmap&) = delete;

  HBITMAP Handle() const { return Handle_; }
  std::int32_t Width() const { return Width_; }
  std::int32_t Height() const { return Height_; }
  TPixelFormat PixelFormat() const { return Format_; }
  TBitmapHandleType HandleType() const { return Type_; }
  // Whether the fourth byte of the pixels is alpha worth keeping: only in a 32-bit DIB whose
  // colour masks, if it has any, do not leave that byte out.
  bool KeepsAlpha() const { return Type_ == bmDIB && Format_ == pf32bit && !PaddingByte_; }
  // Changing size, format or kind makes a new bitmap holding the old picture at (0, 0).
  void SetWidth(std::int32_t width);
  void SetHeight(std::int32_t height);
  void SetPixelFormat(TPixelFormat format);
  void SetHandleType(TBitmapHandleType type);

  bool Transparent = false;
  TColor TransparentColor = 0;

  // A memory DC with the bitmap selected; hold DrawingLock() while drawing through it.
  HDC DrawingContext();
  std::recursive_mutex& DrawingLock() { return Lock_; }
  // Rows of a DIB, top row 0 whatever the memory order; null for a DDB.
  void* ScanLine(std::int32_t row) const;
  // Bytes from one row (top row 0) to the next in memory: negative for bottom-up rows; 0 for a DDB.
  std::int32_t RowStep() const { return Bits_ ? (BottomUp_ ? -Stride_ : Stride_) : 0; }

private:
  void Rebuild(std::int32_t width, std::int32_t height, TPixelFormat format, TBitmapHandleType type);
  void Deselect();

  HBITMAP Handle_ = nullptr;
  bool Owns_ = false;
  std::int32_t Width_ = 0, Height_ = 0;
  TPixelFormat Format_ = pfDevice;
  TBitmapHandleType Type_ = bmDDB;
  void* Bits_ = nullptr;
  std::int32_t Stride_ = 0;
  bool BottomUp_ = true;
  bool PaddingByte_ = false;
  TMemoryDC Dc_;
  HGDIOBJ Previous_ = nullptr;
  std::recursive_mutex Lock_;
};

// A bottom-up 32-bit DIB section whose colour masks leave the fourth byte out, so that its
// pixels count as opaque whatever that byte holds: the target for copies of the screen, whose
// pixels have no alpha. Null when the platform cannot make it.
HBITMAP CreateOpaqueDib32(std::int32_t width, std::int32_t height, void** bits);

// Copy-in of source rows top .. top + rows - 1 (counted from the top) into band, room for rows
// of the source's width, with one GetDIBits through dc and the copy-in rule for the fourth
// byte: a loader for BoxReduceInBands. The source must not be selected into a drawing context.
TRowSpan LoadRows(TPlatformBitmap& source, HDC dc, TColor32* band, std::int32_t top, std::int32_t rows);

}  // namespace murmella::bitmap32
