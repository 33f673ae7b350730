// Pixel memory as a top-down 32-bit DIB section selected into its own memory DC, so that
// GDI can draw into and copy from the pixels directly.
#include "Bitmap32Errors.h"
#include "GdiObjects.h"
#include "PixelStorage.h"

namespace murmella::bitmap32 {
namespace {

class TDibSection final : public TPixelStorage {
public:
  TDibSection(std::int32_t width, std::int32_t height) {
    struct {
      BITMAPINFOHEADER Header;
      RGBQUAD Colors[1];
    } info{};
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = width;
    info.Header.biHeight = -height;  // negative: rows top-down
    info.Header.biPlanes = 1;
    info.Header.biBitCount = 32;
    info.Header.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap_.reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!Bitmap_ || !bits) throw EBitmapAllocationException("Can't allocate the DIB handle");
    Dc_.reset(CreateCompatibleDC(nullptr));
    if (!Dc_) throw EBitmapAllocationException("Can't create compatible DC");
    Previous_ = SelectObject(Dc_.get(), Bitmap_.get());
    if (!Previous_) throw EBitmapAllocationException("Can't select an object into DC");
    Bits_ = static_cast<TColor32*>(bits);
  }
  ~TDibSection() override {
    SelectObject(Dc_.get(), Previous_);
    Dc_.reset();
    Bitmap_.reset();
  }
  void* DrawingContext() const override { return Dc_.get(); }
  void* Handle() const override { return Bitmap_.get(); }

private:
  TBitmapHandle Bitmap_;
  TMemoryDC Dc_;
  HGDIOBJ Previous_ = nullptr;
};

}  // namespace

std::unique_ptr<TPixelStorage> AllocatePixelStorage(std::int32_t width, std::int32_t height) {
  return std::make_unique<TDibSection>(width, height);
}

}  // namespace murmella::bitmap32
