#pragma once
// Owning wrappers for the GDI handles the bitmap layer makes.
#include <windows.h>

#include <utility>

namespace murmella::bitmap32 {

template <class H, class Deleter>
class TGdiHandle {
public:
  TGdiHandle() = default;
  explicit TGdiHandle(H h) : H_(h) {}
  ~TGdiHandle() { reset(); }
  TGdiHandle(TGdiHandle&& o) noexcept : H_(std::exchange(o.H_, nullptr)) {}
  TGdiHandle& operator=(TGdiHandle&& o) noexcept { if (this != &o) { reset(); H_ = std::exchange(o.H_, nullptr); } return *this; }
  H get() const { return H_; }
  explicit operator bool() const { return H_ != nullptr; }
  H release() { return std::exchange(H_, nullptr); }
  void reset(H h = nullptr) { if (H_) Deleter{}(H_); H_ = h; }

private:
  H H_ = nullptr;
};

struct TDeleteDC { void operator()(HDC h) const { DeleteDC(h); } };
struct TDeleteObject { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
using TMemoryDC = TGdiHandle<HDC, TDeleteDC>;
using TBitmapHandle = TGdiHandle<HBITMAP, TDeleteObject>;

}  // namespace murmella::bitmap32
