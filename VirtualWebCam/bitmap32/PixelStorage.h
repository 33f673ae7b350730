#pragma once
// The memory behind a TBitmap32: a DIB section with its memory DC on Windows, an aligned
// buffer elsewhere. Rows are top-down, Width x 4 bytes, no padding.
#include <cstdint>
#include <memory>

#include "Color32.h"

namespace murmella::bitmap32 {

class TPixelStorage {
public:
  virtual ~TPixelStorage() = default;
  TColor32* Bits() const { return Bits_; }
  // The platform drawing context bound to the pixels (an HDC on Windows, null elsewhere).
  virtual void* DrawingContext() const { return nullptr; }
  virtual void* Handle() const { return nullptr; }

protected:
  TColor32* Bits_ = nullptr;
};

// Throws EBitmapAllocationException with the platform's message on failure.
std::unique_ptr<TPixelStorage> AllocatePixelStorage(std::int32_t width, std::int32_t height);

}  // namespace murmella::bitmap32
