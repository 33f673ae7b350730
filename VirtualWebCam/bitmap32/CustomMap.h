#pragma once
#include "NotifiablePersistent.h"

namespace murmella::bitmap32 {

// A two-dimensional size that is never negative.
class TCustomMap : public TThreadPersistent {
public:
  std::int32_t Width() const { return Width_; }
  std::int32_t Height() const { return Height_; }
  virtual bool IsEmpty() const { return Width_ == 0 || Height_ == 0; }
  // Negative dimensions count as 0; returns whether the size changed.
  bool SetSize(std::int32_t width, std::int32_t height);
  void Release() { SetSize(0, 0); }
  TNotifyEvent OnResize;

protected:
  // Stores the new size (and whatever goes with it) in Width_ and Height_.
  virtual void AllocatePixels(std::int32_t newWidth, std::int32_t newHeight);
  virtual void Resized();
  std::int32_t Height_ = 0, Width_ = 0;
};

}  // namespace murmella::bitmap32
