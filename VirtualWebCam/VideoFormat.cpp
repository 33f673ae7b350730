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
constexpr GUID kRgb24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID kVideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID kPinPropertySet = {0x9B00F101, 0x1567, 0x11D1, {0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
constexpr GUID kCaptureCategory = {0xFB6C4281, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

// YUV subtypes are the FOURCC in the first field of the video subtype base.
constexpr DWORD FourCc(char a, char b, char c, char d) {
  return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 | DWORD(uint8_t(d)) << 24;
}

DWORD CompressionOf(TPixelFormat f) {
  switch (f) {
    case TPixelFormat::YUY2: return FourCc('Y', 'U', 'Y', '2');
    case TPixelFormat::NV12: return FourCc('N', 'V', '1', '2');
    case TPixelFormat::I420: return FourCc('I', '4', '2', '0');
    case TPixelFormat::RGB32:
    case TPixelFormat::RGB24: break;
  }
  return BI_RGB;
}

bool IsEmptyOrWhole(const RECT& r, TSize size) {
  return (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) ||
         (r.left == 0 && r.top == 0 && r.right == size.Width && r.bottom == size.Height);
}

}  // namespace

GUID SubtypeOf(TPixelFormat f) {
  if (f == TPixelFormat::RGB32) return kRgb32;
  if (f == TPixelFormat::RGB24) return kRgb24;
  GUID g = kVideo;
  g.Data1 = CompressionOf(f);
  return g;
}

HRESULT FillProposedType(AM_MEDIA_TYPE& type, const TStreamFormat& s) {
  const TCapability& c = s.Capability;
  auto size = FormatImageSize(c.Format, c.Size);
  if (!size) return VFW_S_NO_MORE_ITEMS;
  auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!vih) return E_OUTOFMEMORY;
  memset(vih, 0, sizeof *vih);
  vih->dwBitRate = FormatBitRate(c.Format, c.Size, s.FrameDuration);
  vih->AvgTimePerFrame = s.FrameDuration;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = c.Size.Width;
  vih->bmiHeader.biHeight = c.Size.Height;  // positive: RGB bottom-up; YUV is top-down by nature
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = WORD(BitsPerPixel(c.Format));
  vih->bmiHeader.biCompression = CompressionOf(c.Format);
  vih->bmiHeader.biSizeImage = DWORD(*size);
  type.majortype = kVideo;
  type.subtype = SubtypeOf(c.Format);
  type.bFixedSizeSamples = TRUE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = ULONG(*size);
  type.formattype = kVideoInfo;
  type.pUnk = nullptr;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

HRESULT FillProposedType(AM_MEDIA_TYPE& type, const FrameFormat& f) {
  return FillProposedType(type, TStreamFormat{{TPixelFormat::RGB32, {f.Width, f.Height}}, f.Duration});
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

std::optional<TStreamFormat> MatchOfferedType(const AM_MEDIA_TYPE& t, const std::vector<TCapability>& offered,
                                              int64_t configuredDuration) {
  if (t.majortype != kVideo || !t.bFixedSizeSamples || t.formattype != kVideoInfo) return std::nullopt;
  if (!t.pbFormat || t.cbFormat < sizeof(VIDEOINFOHEADER)) return std::nullopt;
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(t.pbFormat);
  const BITMAPINFOHEADER& b = vih->bmiHeader;
  const TSize size{b.biWidth, b.biHeight};
  const auto match = std::find_if(offered.begin(), offered.end(), [&](const TCapability& c) {
    return c.Size == size && SubtypeOf(c.Format) == t.subtype;
  });
  if (match == offered.end()) return std::nullopt;
  const TPixelFormat f = match->Format;
  // A type that says more than the plain frame (another stride through rcTarget, a part of
  // the picture through rcSource, another row size or layout) is not the one offered.
  if (b.biBitCount != BitsPerPixel(f) || b.biCompression != CompressionOf(f) ||
      b.biSizeImage != DWORD(*FormatImageSize(f, size)) || !IsEmptyOrWhole(vih->rcSource, size) ||
      !IsEmptyOrWhole(vih->rcTarget, size))
    return std::nullopt;
  auto duration = AcceptedFrameDuration(vih->AvgTimePerFrame, configuredDuration);
  if (!duration) return std::nullopt;
  return TStreamFormat{*match, *duration};
}

void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& c, const TStreamFormat& s, bool fixedRate) {
  memset(&c, 0, sizeof c);
  const TCapability& cap = s.Capability;
  const SIZE size{cap.Size.Width, cap.Size.Height};
  // The capability's rates are signed; a rate beyond them is reported as the largest one.
  const auto rate = [&](int64_t duration) {
    return LONG(std::min<uint32_t>(FormatBitRate(cap.Format, cap.Size, duration), INT32_MAX));
  };
  c.guid = kVideoInfo;
  c.VideoStandard = 0;
  c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = size;
  c.CropGranularityX = cap.Size.Width;
  c.CropGranularityY = cap.Size.Height;
  c.CropAlignX = c.CropAlignY = 1;
  c.OutputGranularityX = c.OutputGranularityY = 1;
  c.MinFrameInterval = fixedRate ? s.FrameDuration : kMinFrameInterval;
  c.MaxFrameInterval = fixedRate ? s.FrameDuration : kMaxFrameInterval;
  c.MinBitsPerSecond = rate(c.MaxFrameInterval);
  c.MaxBitsPerSecond = rate(c.MinFrameInterval);
}

void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& c, const FrameFormat& f) {
  FillStreamCaps(c, TStreamFormat{{TPixelFormat::RGB32, {f.Width, f.Height}}, f.Duration}, true);
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
