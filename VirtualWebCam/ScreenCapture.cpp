#include "ScreenCapture.h"

#include "Bitmap32.h"
#include "DraftResampler.h"
#include "PlatformBitmap.h"
#include "SampleRows.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace vwc {

namespace bm = murmella::bitmap32;

namespace {

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using OwnedDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// Puts a bitmap into a DC for the lifetime of the object and gives the DC its old one back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, previous_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The cursor where it is relative to the picture's top-left corner (origin, in screen
// coordinates): near an edge it is cut off, outside the picture it is not seen.
void DrawCursor(HDC dc, POINT origin) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;  // 20 in the 32-bit build
  if (!GetCursorInfo(&cursor) || !(cursor.flags & CURSOR_SHOWING) || !cursor.hCursor) return;
  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  DrawIconEx(dc, cursor.ptScreenPos.x - origin.x - LONG(icon.xHotspot),
             cursor.ptScreenPos.y - origin.y - LONG(icon.yHotspot), cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL);
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
}

constexpr char kCaptureFailure[] = "vwc: Error in TBCVirtualWebCamPin.CopyScreenToBitmapEx call...";

// The rectangle clamped to the primary display that dc shows.
RECT Clamped(const RECT& rect, HDC screen) {
  RECT r = rect;
  const int displayW = GetDeviceCaps(screen, HORZRES), displayH = GetDeviceCaps(screen, VERTRES);
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > displayW) r.right = displayW;
  if (r.bottom > displayH) r.bottom = displayH;
  return r;
}

// The rectangle clamped to the screen of every display together.
RECT ClampedToScreen(const RECT& rect) {
  const LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const LONG right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN), bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return {std::max(rect.left, left), std::max(rect.top, top), std::min(rect.right, right),
          std::min(rect.bottom, bottom)};
}

// The screen at r, with the cursor when asked for, into what memory has selected (at least r's
// size). Only r is read: a small region costs less than the whole screen.
void CopyScreen(HDC memory, HDC screen, const RECT& r, bool showCursor = true) {
  BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
  if (showCursor) DrawCursor(memory, POINT{r.left, r.top});
  GdiFlush();
}

}  // namespace

HBITMAP CopyScreenToBitmapEx(const RECT& rect) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return nullptr;
  OwnedDc screen(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
  if (!screen) {
    OutputDebugStringA(kCaptureFailure);
    return nullptr;
  }
  OwnedDc memory(CreateCompatibleDC(screen.get()));
  const RECT r = Clamped(rect, screen.get());
  const int w = r.right - r.left, h = r.bottom - r.top;
  // The screen goes straight into memory that the reduction reads in place: a screen-compatible
  // bitmap would have to be copied out once more before a pixel of it could be averaged.
  void* bits = nullptr;
  HBITMAP bitmap = (memory && w > 0 && h > 0) ? bm::CreateOpaqueDib32(w, h, &bits) : nullptr;
  if (!bitmap) {
    OutputDebugStringA(kCaptureFailure);
    return nullptr;
  }
  {
    Selection selected(memory.get(), bitmap);
    CopyScreen(memory.get(), screen.get(), r);
  }
  return bitmap;
}

bool TScreenFrames::Capture(const RECT& rect, bool showCursor) {
  valid_ = false;
  if (rect.right <= rect.left || rect.bottom <= rect.top) return false;
  OwnedDc screen(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
  const RECT r = screen ? ClampedToScreen(rect) : RECT{};
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (!screen || w <= 0 || h <= 0) {
    OutputDebugStringA(kCaptureFailure);
    return false;
  }
  if (!bitmap_ || w != width_ || h != height_) {
    bitmap_.reset();
    void* bits = nullptr;
    bitmap_.reset(bm::CreateOpaqueDib32(w, h, &bits));
    width_ = w;
    height_ = h;
  }
  if (!memory_) memory_.reset(CreateCompatibleDC(screen.get()));
  if (!bitmap_ || !memory_) {
    bitmap_.reset();
    OutputDebugStringA(kCaptureFailure);
    return false;
  }
  {
    // Selected only for the copy, so that scaling may select it elsewhere (an enlargement does).
    Selection selected(memory_.get(), bitmap_.get());
    CopyScreen(memory_.get(), screen.get(), r, showCursor);
  }
  valid_ = true;
  return true;
}

size_t TScreenFrames::ScaleTo(int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize, bool keepAspect) {
  HBITMAP picture = valid_ ? bitmap_.get() : nullptr;
  if (!keepAspect || !picture || !buffer || width <= 0 || height <= 0)
    return ScaleToSample(picture, width, height, buffer, bufferSize);
  const TRect inner = Letterbox(width_, height_, width, height);
  if (inner == TRect{0, 0, width, height}) return ScaleToSample(picture, width, height, buffer, bufferSize);
  // The picture at its kept shape, then placed between the bars.
  letterbox_.resize(size_t(inner.Width()) * size_t(inner.Height()) * 4);
  ScaleToSample(picture, inner.Width(), inner.Height(), letterbox_.data(), letterbox_.size());
  return PlaceInFrame(letterbox_.data(), inner, width, height, buffer, bufferSize);
}

size_t ScaleToSample(HBITMAP bitmap, int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize) {
  if (!buffer || width <= 0 || height <= 0) return 0;
  if (!bitmap) return FillBlackRows(width, height, buffer, bufferSize);
  bm::TPlatformBitmap captured(bitmap, false);
  const int32_t rows = RowsThatFit(bufferSize, width, height);
  const size_t row = size_t(width) * 4;
  const auto sink = [&](int32_t r, const bm::TColor32* pixels) {
    memcpy(buffer + row * size_t(height - 1 - r), pixels, row);
  };
  if (captured.HandleType() == bm::bmDIB && captured.PixelFormat() == bm::pf32bit && !captured.KeepsAlpha()) {
    // A 32-bit DIB without alpha, as the capture makes (bottom-up), is read where it lies: each
    // pixel once, and nothing written but the frame. Other DIBs go through GDI, which knows
    // their row order for certain: Wine reports top-down DIB sections as bottom-up.
    GdiFlush();
    const bool opaque = true;
    const auto* top = static_cast<const uint8_t*>(captured.ScanLine(0));
    if (captured.Width() == width && captured.Height() == height)
      return CopyRowsBottomUp(top, captured.RowStep(), width, height, buffer, bufferSize, opaque);
    if (captured.Width() >= width && captured.Height() >= height) {
      if (rows == 0) return 0;
      // The frame is bottom-up: the first row made, height - rows, is its last.
      const bm::TRowTarget frame{reinterpret_cast<bm::TColor32*>(buffer + row * size_t(rows - 1)), -int32_t(row)};
      bm::BoxReducePicture(bm::TRowSpan{reinterpret_cast<const bm::TColor32*>(top), captured.RowStep()},
                           captured.Width(), captured.Height(), width, height, height - rows, opaque, frame);
      return row * size_t(rows);
    }
  } else if (captured.Width() >= width && captured.Height() >= height) {
    // Any other bitmap is read a few rows at a time into a small band: a full-size 32-bit copy
    // would cost more in fresh memory than all the averaging. Only the rows that fit are made,
    // bottom row first in the buffer.
    const bm::TMemoryDC dc(CreateCompatibleDC(nullptr));
    bm::BoxReduceInBands(
        captured.Width(), captured.Height(), width, height, height - rows,
        [&](bm::TColor32* band, int32_t top, int32_t n) { return bm::LoadRows(captured, dc.get(), band, top, n); },
        sink);
    return row * size_t(rows);
  }
  bm::TBitmap32 source;
  source.CopyFrom(captured);
  bm::TBitmap32 target;
  target.SetSize(width, height);
  bm::TDraftResampler::CreateFor(source);
  target.Draw(target.Bounds(), source.Bounds(), &source);
  if (target.IsEmpty()) return FillBlackRows(width, height, buffer, bufferSize);
  return CopyRowsBottomUp(reinterpret_cast<const uint8_t*>(target.Bits()), ptrdiff_t(width) * 4, width, height,
                          buffer, bufferSize);
}

}  // namespace vwc
