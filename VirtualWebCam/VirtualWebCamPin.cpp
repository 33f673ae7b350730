#include "VirtualWebCamPin.h"

#include "CameraSettings.h"
#include "DebugGuard.h"
#include "FrameSchedule.h"
#include "ScreenCapture.h"
#include "SettingsStore.h"
#include "UMain.h"

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

HRESULT TBCVirtualWebCamPin::ProposeType(int position, AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  TBCAutoLock lock(FilterLock());
  return vwc::FillProposedType(*type, Format());
}

HRESULT TBCVirtualWebCamPin::AcceptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return vwc::CheckProposedType(*type, Format());
}

HRESULT TBCVirtualWebCamPin::AdoptType(const AM_MEDIA_TYPE* type) {
  TBCAutoLock lock(FilterLock());
  const HRESULT hr = TBCSourceStream::AdoptType(type);
  if (FAILED(hr)) return hr;
  const VIDEOINFOHEADER* header = VideoHeader(ConnectionType());
  if (!header) return E_UNEXPECTED;
  if (header->bmiHeader.biBitCount != 32) return E_INVALIDARG;
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
    {
      // Capture choices made while the stream runs (an open settings page) show from here on.
      source_.ReloadIfDue(PerformanceCounter(), CounterFrequency);
      // A buffer shorter than a frame (a peer's type with a small image size) gets the whole
      // rows that fit; no capture still gives a black frame, so the schedule holds.
      const size_t written = source_.Frame(VideoWidth, VideoHeight, buffer, size > 0 ? size_t(size) : 0);
      sample->SetActualDataLength(long(written));
    }
    vwc::FrameSpan span = vwc::FrameTimes(FrameIndex, FrameDuration);
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

// The format is the settings' own: a type is "set" only when it is already that format.
STDMETHODIMP TBCVirtualWebCamPin::SetFormat(AM_MEDIA_TYPE* type) {
  OutputDebugStringA("TBCVirtualWebCamPin.SetFormat");
  if (!type) return E_INVALIDARG;
  return AcceptType(type) == S_OK ? S_OK : VFW_E_INVALIDMEDIATYPE;
}

AM_MEDIA_TYPE* TBCVirtualWebCamPin::NewProposedType() {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) throw std::bad_alloc();
  ZeroMemory(type, sizeof *type);
  if (ProposeType(0, type) != S_OK) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

STDMETHODIMP TBCVirtualWebCamPin::GetFormat(AM_MEDIA_TYPE** type) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetFormat call...");
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetFormat call...", [&] {
    BCAssert(type != nullptr);
    *type = NewProposedType();
    return *type ? S_OK : VFW_E_NO_TYPES;
  });
}

STDMETHODIMP TBCVirtualWebCamPin::GetNumberOfCapabilities(int* count, int* size) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetNumberOfCapabilities call...");
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetNumberOfCapabilities call...", [&] {
    BCAssert(count != nullptr && size != nullptr);
    // A size that cannot make a frame has no capability to describe.
    *count = vwc::ImageSize(VideoWidth, VideoHeight) ? 1 : 0;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
  });
}

STDMETHODIMP TBCVirtualWebCamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  OutputDebugStringA("vwc: TBCVirtualWebCamPin.GetStreamCaps call...");
  if (index != 0) return E_FAIL;
  return Guarded("vwc: Error in TBCVirtualWebCamPin.GetStreamCaps call...", [&] {
    BCAssert(type != nullptr && caps != nullptr);
    *type = NewProposedType();
    if (!*type) return E_FAIL;
    vwc::FillStreamCaps(*reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps), Format());
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
