// Plain aligned storage where no platform bitmap exists.
#include <cstdlib>
#include <new>

#include "Bitmap32Errors.h"
#include "PixelStorage.h"

namespace murmella::bitmap32 {
namespace {

class TPixelBuffer final : public TPixelStorage {
public:
  explicit TPixelBuffer(std::size_t bytes) {
    // 64-byte rows starts let the vector routines use aligned loads on the first pixel.
    bytes = (bytes + 63) / 64 * 64;
    Bits_ = static_cast<TColor32*>(std::aligned_alloc(64, bytes));
    if (!Bits_) throw EBitmapAllocationException("Can't allocate the DIB handle");
  }
  ~TPixelBuffer() override { std::free(Bits_); }
};

}  // namespace

std::unique_ptr<TPixelStorage> AllocatePixelStorage(std::int32_t width, std::int32_t height) {
  const unsigned long long bytes = 4ull * std::uint32_t(width) * std::uint32_t(height);
  if (bytes > (1ull << 40)) throw EBitmapAllocationException("Can't allocate the DIB handle");
  return std::make_unique<TPixelBuffer>(std::size_t(bytes));
}

}  // namespace murmella::bitmap32
