#include "VirtualWebCamPin.h"

#include "CameraSettings.h"
#include "DebugGuard.h"
#include "FrameSchedule.h"
#include "ScreenCapture.h"
#include "SettingsStore.h"
#include "UMain.h"
#include "YuvConvert.h"

#include <memory>
#include <type_traits>

using vwc::Guarded;

namespace {

int64_t PerformanceCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The connection type's header; the type was accepted with a block at least this long.
const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

}  // namespace

TBCVirtualWebCamPin::TBCVirtualWebCamPin(HRESULT* result, TBCVirtualWebCam* filter)
    : TBCSourceStream(vwc::kFriendlyName, result, filter, L"Out") {
  Guarded("vwc: Error in TBCVirtualWebCamPin.Create call...", [&] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    CounterFrequency = frequency.QuadPart;
    FrameIndex = 0;
    FrameDuration = vwc::kDefaultFrameDuration;
    // The region as the capture settings place it now; while streaming they are read again
    // (at most once a second), so the region may move, shrink or change display later.
    source_.Reload();
    const vwc::TRect region = source_.Region();
    CaptureRect = {region.Left, region.Top, region.Right, region.Bottom};
    CaptureWidth = CaptureRect.right - CaptureRect.left;
    CaptureHeight = CaptureRect.bottom - CaptureRect.top;
    VideoWidth = vwc::kDefaultVideoWidth;
    VideoHeight = vwc::kDefaultVideoHeight;
    const vwc::CameraSettings settings = vwc::LoadCameraSettings();
    VideoWidth = settings.VideoWidth;
    VideoHeight = settings.VideoHeight;
    FrameDuration = settings.FrameDuration;
    SingleFormat = settings.SingleFormat;
    Capabilities = vwc::CameraCapabilities({VideoWidth, VideoHeight}, SingleFormat);
    connected_ = PreferredFormat();
    return S_OK;
  });
  if (result) *result = S_OK;
}

TBCVirtualWebCamPin::~TBCVirtualWebCamPin() = default;

void* TBCVirtualWebCamPin::FindInterface(REFIID iid) {
  if (iid == IID_IKsPropertySet) return BCInterface<IKsPropertySet>(this);
  if (iid == IID_IAMStreamConfig) return BCInterface<IAMStreamConfig>(this);
  return TBCSourceStream::FindInterface(iid);
}

// --- Negotiation ---------------------------------------------------------------------------

vwc::TStreamFormat TBCVirtualWebCamPin::PreferredFormat() const {
  if (chosen_) return *chosen_;
  return {{vwc::TPixelFormat::RGB32, {VideoWidth, VideoHeight}}, FrameDuration};
}

std::optional<vwc::TStreamFormat> TBCVirtualWebCamPin::Match(const AM_MEDIA_TYPE& type) const {
  if (!SingleFormat) return vwc::MatchOfferedType(type, Capabilities, FrameDuration);
  if (vwc::CheckProposedType(type, Format()) != S_OK) return std::nullopt;
  return vwc::TStreamFormat{{vwc::TPixelFormat::RGB32, {VideoWidth, VideoHeight}}, FrameDuration};
}

HRESULT TBCVirtualWebCamPin::ProposeType(int position, AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  TBCAutoLock lock(FilterLock());
  // Once an application has set a format, a connection is offered that one alone.
  if (chosen_) return position == 0 ? vwc::FillProposedType(*type, *chosen_) : VFW_S_NO_MORE_ITEMS;
  if (size_t(position) >= Capabilities.size()) return VFW_S_NO_MORE_ITEMS;
  return vwc::FillProposedType(*type, vwc::TStreamFormat{Capabilities[size_t(position)], FrameDuration});
}

HRESULT TBCVirtualWebCamPin::AcceptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return Match(*type) ? S_OK : E_INVALIDARG;
}

HRESULT TBCVirtualWebCamPin::AdoptType(const AM_MEDIA_TYPE* type) {
  TBCAutoLock lock(FilterLock());
  const HRESULT hr = TBCSourceStream::AdoptType(type);
  if (FAILED(hr)) return hr;
  const VIDEOINFOHEADER* header = VideoHeader(ConnectionType());
  if (!header) return E_UNEXPECTED;
  if (header->bmiHeader.biBitCount != 32 && SingleFormat) return E_INVALIDARG;
  // The many-format rule has checked the bit count with everything else.
  auto format = Match(ConnectionType());
  if (!format) return E_INVALIDARG;
  connected_ = *format;
  return S_OK;
}

HRESULT TBCVirtualWebCamPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  TBCAutoLock lock(FilterLock());
  const VIDEOINFOHEADER* header = VideoHeader(ConnectionType());
  // No frame fits in an empty buffer, and no allocator can hand out one larger than a long.
  if (!header || header->bmiHeader.biSizeImage == 0 || header->bmiHeader.biSizeImage > DWORD(INT32_MAX)) {
    negotiationFatal_ = true;
    return E_FAIL;
  }
  // Two buffers, not one: the capture graph builder puts a smart tee behind a capture pin, and
  // the tee takes its copy from the same allocator while still holding our sample; with a single
  // buffer the first frame would never be delivered.
  properties->cBuffers = 2;
  properties->cbBuffer = LONG(header->bmiHeader.biSizeImage);
  ALLOCATOR_PROPERTIES granted{};
  const HRESULT hr = allocator->SetProperties(properties, &granted);
  if (FAILED(hr)) return hr;
  if (granted.cbBuffer < properties->cbBuffer) return E_FAIL;
  if (granted.cBuffers < 1) {
    negotiationFatal_ = true;
    return E_FAIL;
  }
  return S_OK;
}

// After a fatal sizing no second allocator is tried.
HRESULT TBCVirtualWebCamPin::MakeDefaultAllocator(IMemAllocator** allocator) {
  if (negotiationFatal_) {
    if (allocator) *allocator = nullptr;
    return E_FAIL;
  }
  return TBCSourceStream::MakeDefaultAllocator(allocator);
}

HRESULT TBCVirtualWebCamPin::CompleteConnect(IPin* receivePin) {
  constexpr char kFailure[] = "vwc: Error in TBCVirtualWebCamPin.CompleteConnect call...";
  return Guarded(kFailure, [&] {
    negotiationFatal_ = false;
    const HRESULT hr = TBCSourceStream::CompleteConnect(receivePin);
    if (negotiationFatal_) {
      negotiationFatal_ = false;
      OutputDebugStringA(kFailure);
      return E_FAIL;
    }
    return hr;
  });
}

// --- Streaming -----------------------------------------------------------------------------

HRESULT TBCVirtualWebCamPin::OnThreadCreate() {
  return Guarded("vwc: Error in TBCVirtualWebCamPin.OnThreadCreate call...", [&] {
    StartCounter = PerformanceCounter();
    FrameIndex = 0;
    streaming_ = connected_;
    return TBCSourceStream::OnThreadCreate();
  });
}

HRESULT TBCVirtualWebCamPin::FillBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  constexpr char kFailure[] = "vwc: Error in TBCVirtualWebCamPin.FillBuffer call...";
  return Guarded(kFailure, [&] {
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    // Samples are described by the connection's VIDEOINFOHEADER; any other format has no frame.
    if (ConnectionType().formattype != FORMAT_VideoInfo) {
      OutputDebugStringA(kFailure);
      return E_FAIL;
    }
    const long size = sample->GetSize();
    const size_t room = size > 0 ? size_t(size) : 0;
    const vwc::TCapability& cap = streaming_.Capability;
    const int32_t w = cap.Size.Width, h = cap.Size.Height;
    // Capture choices made while the stream runs (an open settings page) show from here on.
    source_.ReloadIfDue(PerformanceCounter(), CounterFrequency);
    if (cap.Format == vwc::TPixelFormat::RGB32) {
      // A buffer shorter than a frame (a peer's type with a small image size) gets the whole
      // rows that fit; no capture still gives a black frame, so the schedule holds.
      sample->SetActualDataLength(long(source_.Frame(w, h, buffer, room)));
    } else {
      // The other formats are made from the RGB32 frame; their connections were agreed with
      // the exact image size, so the allocator's buffers hold a whole frame.
      const size_t bytes = murmella::yuv::FrameBytes(cap.Format, w, h);
      BCAssert(room >= bytes);
      rgb_.resize(size_t(w) * size_t(h) * 4);
      source_.Frame(w, h, rgb_.data(), rgb_.size());
      // The RGB32 frame is bottom-up: its top row is the last one.
      const ptrdiff_t row = ptrdiff_t(w) * 4;
      murmella::yuv::ConvertFrame(cap.Format, rgb_.data() + row * (h - 1), -row, w, h, buffer);
      sample->SetActualDataLength(long(bytes));
    }
    vwc::FrameSpan span = vwc::FrameTimes(FrameIndex, streaming_.FrameDuration);
    sample->SetTime(&span.Start, &span.Stop);
    ++FrameIndex;
    sample->SetSyncPoint(TRUE);
    vwc::WaitUntilDue(span.Start, StartCounter, CounterFrequency, PerformanceCounter, [] { Sleep(1); });
    return S_OK;
  });
}

// The camera paces itself from its own clock; quality messages change nothing.
STDMETHODIMP TBCVirtualWebCamPin::Notify(IBaseFilter*, Quality) { return E_FAIL; }

// --- IAMStreamConfig -----------------------------------------------------------------------

// The one-format camera's format is the settings' own: a type is "set" only when it is already
// that format. Otherwise any offered type may be set, at any rate the camera runs; the next
// connection uses it. A connected pin keeps its type: a different one must wait for the
// application to disconnect.
STDMETHODIMP TBCVirtualWebCamPin::SetFormat(AM_MEDIA_TYPE* type) {
  OutputDebugStringA("TBCVirtualWebCamPin.SetFormat");
  if (!type) return E_INVALIDARG;
  const auto format = Match(*type);
  if (!format) return VFW_E_INVALIDMEDIATYPE;
  if (SingleFormat) return S_OK;
  TBCAutoLock lock(FilterLock());
  if (IsConnected() && !(format->Capability == connected_.Capability &&
                         format->FrameDuration == connected_.FrameDuration))
    return VFW_E_ALREADY_CONNECTED;
  chosen_ = *format;
  return S_OK;
}

AM_MEDIA_TYPE* TBCVirtualWebCamPin::NewType(const vwc::TStreamFormat& format) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) throw std::bad_alloc();
  ZeroMemory(type, sizeof *type);
  if (vwc::FillProposedType(*type, format) != S_OK) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

STDMETHODIMP TBCVirtualWebCamPin::GetFormat(AM_MEDIA_TYPE** type) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetFormat call...");
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetFormat call...", [&] {
    BCAssert(type != nullptr);
    TBCAutoLock lock(FilterLock());
    // The connection's format while connected; before, what the next connection would use.
    *type = Capabilities.empty() ? nullptr : NewType(IsConnected() ? connected_ : PreferredFormat());
    return *type ? S_OK : VFW_E_NO_TYPES;
  });
}

STDMETHODIMP TBCVirtualWebCamPin::GetNumberOfCapabilities(int* count, int* size) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetNumberOfCapabilities call...");
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetNumberOfCapabilities call...", [&] {
    BCAssert(count != nullptr && size != nullptr);
    // A size that cannot make a frame has no capability to describe.
    *count = int(Capabilities.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
  });
}

STDMETHODIMP TBCVirtualWebCamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetStreamCaps call...");
  if (index < 0 || size_t(index) >= Capabilities.size()) return E_FAIL;
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetStreamCaps call...", [&] {
    BCAssert(type != nullptr && caps != nullptr);
    const vwc::TStreamFormat format{Capabilities[size_t(index)], FrameDuration};
    *type = NewType(format);
    if (!*type) return E_FAIL;
    vwc::FillStreamCaps(*reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps), format, SingleFormat);
    return S_OK;
  });
}

// --- IKsPropertySet ------------------------------------------------------------------------

STDMETHODIMP TBCVirtualWebCamPin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.Set_ call...");
  return E_NOTIMPL;
}

STDMETHODIMP TBCVirtualWebCamPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize,
                                      DWORD* bytesReturned) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.Get call...");
  return Guarded("vwc: Error in TBCVirtualWebCamPin.Get call...", [&] {
    BCAssert(bytesReturned != nullptr);
    return vwc::GetPinCategory(set, id, data, dataSize, bytesReturned);
  });
}

STDMETHODIMP TBCVirtualWebCamPin::QuerySupported(REFGUID, DWORD, DWORD*) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.QuerySupported call...");
  return E_NOTIMPL;
}
