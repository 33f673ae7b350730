#include "Bitmap32.h"

#include <algorithm>
#include <cstring>

#include "Bitmap32Errors.h"
#include "CustomResampler.h"
#include "NearestResampler.h"
#include "PixelStorage.h"
#include "ResamplerRegistry.h"
#include "Transfer.h"

namespace murmella::bitmap32 {

TBitmap32::TBitmap32() { TNearestResampler::CreateFor(*this); }

TBitmap32::~TBitmap32() {
  BeginUpdate();
  Lock();
  SetSize(0, 0);
  Resampler_.reset();
  Unlock();
}

bool TBitmap32::IsEmpty() const { return !Bits_ || Width_ == 0 || Height_ == 0; }

void* TBitmap32::Handle() const { return Storage_ ? Storage_->Handle() : nullptr; }
void* TBitmap32::DrawingContext() const { return Storage_ ? Storage_->DrawingContext() : nullptr; }

void TBitmap32::AllocatePixels(std::int32_t newWidth, std::int32_t newHeight) {
  Storage_.reset();
  Bits_ = nullptr;
  Width_ = Height_ = 0;
  ClipArea_ = Bounds();
  try {
    if (newWidth > 0 && newHeight > 0) {
      Storage_ = AllocatePixelStorage(newWidth, newHeight);
      Bits_ = Storage_->Bits();
    }
    Width_ = newWidth;
    Height_ = newHeight;
    ClipArea_ = Bounds();
  } catch (...) {
    NotifyHandleChanged();
    throw;
  }
  NotifyHandleChanged();
}

void TBitmap32::NotifyHandleChanged() {
  if (OnHandleChanged) OnHandleChanged(*this);
}

void TBitmap32::Changed() { ChangedArea(Bounds(), AREAINFO_RECT); }

void TBitmap32::ChangedArea(const TRect& area, std::uint32_t info) {
  if (UpdateCount_ == 0 && OnAreaChanged) OnAreaChanged(*this, area, info);
  if (UpdateCount_ == 0 && OnChange) OnChange(*this);
}

void TBitmap32::CopyFrom(const TBitmap32* source) {
  BeginUpdate();
  try {
    if (!source) {
      SetSize(0, 0);
    } else if (source != this) {
      source->CopyPixelsTo(*this);
      source->CopyPropertiesTo(*this);
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}

void TBitmap32::CopyPixelsTo(TBitmap32& bitmap) const {
  if (&bitmap == this) return;
  bitmap.SetSize(Width_, Height_);
  if (!IsEmpty()) std::memcpy(bitmap.Bits_, Bits_, std::size_t(Width_) * std::size_t(Height_) * 4);
}

void TBitmap32::CopyPropertiesTo(TBitmap32& bitmap) const {
  bitmap.DrawMode = DrawMode;
  bitmap.CombineMode = CombineMode;
  bitmap.WrapMode = WrapMode;
  bitmap.MasterAlpha = MasterAlpha;
  bitmap.OuterColor = OuterColor;
  if (&bitmap == this) return;
  bitmap.SetResamplerClassName(ResamplerClassName());
  Resampler_->CopyTo(*bitmap.Resampler_);
}

void TBitmap32::FillAlpha(std::uint8_t value) {
  const std::size_t n = std::size_t(Width_) * std::size_t(Height_);
  const TColor32 a = TColor32(value) << 24;
  for (std::size_t i = 0; i < n; ++i) Bits_[i] = (Bits_[i] & 0x00FFFFFFu) | a;
  Changed();
}

void TBitmap32::Draw(const TRect& dstRect, const TRect& srcRect, const TBitmap32* src) {
  if (!src) return;
  ScaledTransfer(this, dstRect, ClipArea_, src, srcRect, &src->Resampler(), src->DrawMode, src->OnPixelCombine);
}

void TBitmap32::SetResampler(std::unique_ptr<TCustomResampler> resampler) {
  Assert(resampler != nullptr, "TBitmap32 needs a resampler");
  Resampler_ = std::move(resampler);
  Changed();
}

std::string TBitmap32::ResamplerClassName() const { return Resampler_->ClassName(); }

void TBitmap32::SetResamplerClassName(const std::string& name) {
  if (Resampler_ && Resampler_->ClassName() == name) return;
  CreateResamplerFor(name, *this);
}

}  // namespace murmella::bitmap32
