#include "ScreenCapture.h"

#include "Bitmap32.h"
#include "DraftResampler.h"
#include "PlatformBitmap.h"
#include "SampleRows.h"

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

void DrawCursor(HDC dc) {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;  // 20 in the 32-bit build
  if (!GetCursorInfo(&cursor) || !(cursor.flags & CURSOR_SHOWING) || !cursor.hCursor) return;
  ICONINFO icon{};
  if (!GetIconInfo(cursor.hCursor, &icon)) return;
  DrawIconEx(dc, cursor.ptScreenPos.x - LONG(icon.xHotspot), cursor.ptScreenPos.y - LONG(icon.yHotspot),
             cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL);
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
}

}  // namespace

HBITMAP CopyScreenToBitmapEx(const RECT& rect) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return nullptr;
  OwnedDc screen(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
  if (!screen) {
    OutputDebugStringA("vwc: Error in TBCVirtualWebCamPin.CopyScreenToBitmapEx call...");
    return nullptr;
  }
  OwnedDc memory(CreateCompatibleDC(screen.get()));
  RECT r = rect;
  const int displayW = GetDeviceCaps(screen.get(), HORZRES), displayH = GetDeviceCaps(screen.get(), VERTRES);
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > displayW) r.right = displayW;
  if (r.bottom > displayH) r.bottom = displayH;
  const int w = r.right - r.left, h = r.bottom - r.top;
  HBITMAP bitmap = (memory && w > 0 && h > 0) ? CreateCompatibleBitmap(screen.get(), w, h) : nullptr;
  if (!bitmap) {
    OutputDebugStringA("vwc: Error in TBCVirtualWebCamPin.CopyScreenToBitmapEx call...");
    return nullptr;
  }
  {
    Selection selected(memory.get(), bitmap);
    BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    DrawCursor(memory.get());
  }
  return bitmap;
}

size_t ScaleToSample(HBITMAP bitmap, int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize) {
  if (!buffer || width <= 0 || height <= 0) return 0;
  if (!bitmap) return FillBlackRows(width, height, buffer, bufferSize);
  bm::TPlatformBitmap captured(bitmap, false);
  if (captured.Width() >= width && captured.Height() >= height) {
    // The usual reduction reads the capture a few rows at a time straight into a small source
    // band: a full-size 32-bit copy of the screen would cost more in fresh memory than all the
    // averaging. Only the rows that fit are made, bottom row first in the buffer.
    const int32_t rows = RowsThatFit(bufferSize, width, height);
    const size_t row = size_t(width) * 4;
    const bm::TMemoryDC dc(CreateCompatibleDC(nullptr));
    bm::BoxReduceInBands(
        captured.Width(), captured.Height(), width, height, height - rows,
        [&](bm::TColor32* band, int32_t top, int32_t n) { return bm::LoadRows(captured, dc.get(), band, top, n); },
        [&](int32_t r, const bm::TColor32* pixels) { memcpy(buffer + row * size_t(height - 1 - r), pixels, row); });
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
