#pragma once
// The 32-bit bitmap the camera scales its frames with.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Color32.h"
#include "CustomMap.h"
#include "Rect32.h"

namespace murmella::bitmap32 {

class TCustomResampler;
class TPixelStorage;
class TPlatformBitmap;  // Windows only (PlatformBitmap.h)

enum class TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum class TCombineMode { cmBlend, cmMerge };
enum class TWrapMode { wmClamp, wmRepeat, wmMirror };
using enum TDrawMode;
using enum TCombineMode;
using enum TWrapMode;

// F: new colour, B: destination pixel (may be changed), M: master alpha.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, std::uint32_t M)>;
using TAreaChangedEvent = std::function<void(TNotifiablePersistent& Sender, const TRect& Area, std::uint32_t Info)>;

constexpr std::uint32_t AREAINFO_RECT = 0x80000000u;

class TBitmap32 : public TCustomMap {
public:
  TBitmap32();
  ~TBitmap32() override;
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  bool IsEmpty() const override;
  TRect Bounds() const { return {0, 0, Width_, Height_}; }
  TRect ClipArea() const { return ClipArea_; }

  TColor32* Bits() const { return Bits_; }
  TColor32* ScanLine(std::int32_t y) const { return Bits_ + std::size_t(y) * std::size_t(Width_); }
  TColor32* PixelPtr(std::int32_t x, std::int32_t y) const { return ScanLine(y) + x; }
  // The platform handles bound to the pixels (HBITMAP and HDC on Windows; null elsewhere).
  void* Handle() const;
  void* DrawingContext() const;

  void Changed() override;
  void ChangedArea(const TRect& area, std::uint32_t info);

  // Null empties this bitmap; another bitmap gives its pixels and properties.
  void CopyFrom(const TBitmap32* source);
  // Copy-in from and copy-out to a platform bitmap (Windows only).
  void CopyFrom(TPlatformBitmap& source);
  void CopyTo(TPlatformBitmap& target) const;
  void CopyPixelsTo(TBitmap32& bitmap) const;
  void CopyPropertiesTo(TBitmap32& bitmap) const;
  void FillAlpha(std::uint8_t value);

  // Null src draws nothing; the resampler, draw mode, master alpha and combine event are src's.
  void Draw(const TRect& dstRect, const TRect& srcRect, const TBitmap32* src);

  TCustomResampler& Resampler() const { return *Resampler_; }
  // Takes ownership; the previous resampler is destroyed.
  void SetResampler(std::unique_ptr<TCustomResampler> resampler);
  std::string ResamplerClassName() const;
  // Unregistered names are refused with EBitmapException; the current name keeps the resampler.
  void SetResamplerClassName(const std::string& name);

  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  TWrapMode WrapMode = wmClamp;
  std::uint32_t MasterAlpha = 255;
  TColor32 OuterColor = 0;
  TNotifyEvent OnHandleChanged;
  TPixelCombineEvent OnPixelCombine;
  TAreaChangedEvent OnAreaChanged;

protected:
  void AllocatePixels(std::int32_t newWidth, std::int32_t newHeight) override;
  virtual void NotifyHandleChanged();

private:
  std::unique_ptr<TPixelStorage> Storage_;
  TColor32* Bits_ = nullptr;
  TRect ClipArea_{};
  std::unique_ptr<TCustomResampler> Resampler_;
};

}  // namespace murmella::bitmap32
