#include "VideoFormat.h"

#include "CameraSettings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vwc {

namespace {

// MinGW's amvideo.h and uuids carry these, but spelled out here they need no extra library.
constexpr GUID kVideo = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kRgb32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID kVideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID kPinPropertySet = {0x9B00F101, 0x1567, 0x11D1, {0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
constexpr GUID kCaptureCategory = {0xFB6C4281, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

}  // namespace

HRESULT FillProposedType(AM_MEDIA_TYPE& type, const FrameFormat& f) {
  auto size = ImageSize(f.Width, f.Height);
  if (!size) return VFW_S_NO_MORE_ITEMS;
  auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  memset(vih, 0, sizeof *vih);
  vih->dwBitRate = BitRate(f.Width, f.Height, f.Duration);
  vih->AvgTimePerFrame = f.Duration;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = f.Width;
  vih->bmiHeader.biHeight = f.Height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 32;
  vih->bmiHeader.biCompression = BI_RGB;
  vih->bmiHeader.biSizeImage = DWORD(*size);
  type.majortype = kVideo;
  type.subtype = kRgb32;
  type.bFixedSizeSamples = TRUE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = ULONG(*size);
  type.formattype = kVideoInfo;
  type.pUnk = nullptr;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

HRESULT CheckProposedType(const AM_MEDIA_TYPE& t, const FrameFormat& f) {
  if (!ImageSize(f.Width, f.Height)) return E_INVALIDARG;
  if (t.majortype != kVideo || !t.bFixedSizeSamples) return E_INVALIDARG;
  if (t.subtype == GUID_NULL || t.subtype != kRgb32) return E_INVALIDARG;
  if (!t.pbFormat || t.cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(t.pbFormat);
  const LONG h = vih->bmiHeader.biHeight;
  if (vih->bmiHeader.biWidth != f.Width || h < 0 || h != f.Height) return E_INVALIDARG;
  return S_OK;
}

void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& c, const FrameFormat& f) {
  memset(&c, 0, sizeof c);
  const SIZE size{f.Width, f.Height};
  // The capability's rates are signed; a rate beyond them is reported as the largest one.
  const LONG rate = LONG(std::min<uint32_t>(BitRate(f.Width, f.Height, f.Duration), INT32_MAX));
  c.guid = kVideoInfo;
  c.VideoStandard = 0;
  c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = size;
  c.CropGranularityX = f.Width;
  c.CropGranularityY = f.Height;
  c.CropAlignX = c.CropAlignY = 1;
  c.OutputGranularityX = c.OutputGranularityY = 1;
  c.MinFrameInterval = c.MaxFrameInterval = f.Duration;
  c.MinBitsPerSecond = c.MaxBitsPerSecond = rate;
}

HRESULT GetPinCategory(REFGUID set, DWORD id, void* data, DWORD dataSize, DWORD* bytesReturned) {
  if (set != kPinPropertySet) return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  if (id != 0 /* AMPROPERTY_PIN_CATEGORY */) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  *bytesReturned = sizeof(GUID);
  if (!data) return S_OK;
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  memcpy(data, &kCaptureCategory, sizeof(GUID));
  return S_OK;
}

}  // namespace vwc
