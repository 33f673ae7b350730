#include "CounterSource.h"

#include <cstring>

TCounterStream::TCounterStream(HRESULT* result, TCounterSource* owner, const wchar_t* pinName)
    : TBCSourceStream(L"counter stream", result, owner, pinName) {}

long TCounterStream::FrameBytes() const {
  const AM_MEDIA_TYPE& type = ConnectionType();
  if (IsConnected() && type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat) {
    const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    return header.biWidth * labs(header.biHeight) * 4;
  }
  return kCounterWidth * kCounterHeight * 4;
}

HRESULT TCounterStream::FillBuffer(IMediaSample* sample) {
  InterlockedIncrement(&Stats.FillCalls);
  InterlockedExchange(&Stats.InFill, 1);
  if (FillDelay) Sleep(DWORD(FillDelay));
  HRESULT hr = S_OK;
  // FillAfter counts down the successful calls before the scripted result.
  if (FillAfter >= 0 && InterlockedDecrement(&FillAfter) < 0) hr = FillResult;
  if (hr == S_OK) {
    BYTE* data = nullptr;
    const long bytes = FrameBytes();
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < bytes) {
      hr = E_UNEXPECTED;
    } else {
      const DWORD counter = DWORD(InterlockedIncrement(&counter_));
      auto* pixels = reinterpret_cast<DWORD*>(data);
      pixels[0] = kCounterMagic;
      pixels[1] = counter;
      for (long i = 2; i < bytes / 4; ++i) pixels[i] = CounterPixel(counter, DWORD(i));
      sample->SetActualDataLength(bytes);
      REFERENCE_TIME start = counter * kCounterFrameTime, stop = start + kCounterFrameTime;
      sample->SetTime(&start, &stop);
      sample->SetSyncPoint(TRUE);
    }
  }
  InterlockedExchange(&Stats.InFill, 0);
  return hr;
}

HRESULT TCounterStream::OnThreadCreate() {
  InterlockedIncrement(&Stats.ThreadCreates);
  return ThreadCreateResult;
}

HRESULT TCounterStream::OnThreadEnd() {
  InterlockedIncrement(&Stats.ThreadEnds);
  return S_OK;
}

HRESULT TCounterStream::OnStreamStart() {
  InterlockedIncrement(&Stats.StreamStarts);
  return S_OK;
}

HRESULT TCounterStream::DefaultType(AM_MEDIA_TYPE* type) {
  MakeVideoType(*type, kCounterWidth, kCounterHeight, MEDIASUBTYPE_RGB32, kCounterFrameTime);
  return type->pbFormat ? S_OK : E_OUTOFMEMORY;
}

// Any RGB32 size is fine, so a peer's own proposal can win over the default. Foreign types are
// refused with E_FAIL (the framework maps it); a broken video format gets a specific code.
HRESULT TCounterStream::AcceptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_RGB32) return E_FAIL;
  if (type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat)
    return VFW_E_INVALIDMEDIATYPE;
  const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
  if (header.biWidth < 2 || header.biWidth > 4096 || header.biHeight == 0 || labs(header.biHeight) > 4096 ||
      header.biBitCount != 32)
    return VFW_E_INVALIDMEDIATYPE;
  return S_OK;
}

HRESULT TCounterStream::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (properties->cBuffers < 1) properties->cBuffers = 2;
  properties->cbBuffer = FrameBytes();
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(properties, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < properties->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TCounterStream::GoInactive() {
  const HRESULT hr = TBCSourceStream::GoInactive();
  return FAILED(GoInactiveResult) ? GoInactiveResult : hr;
}

TBCUnknown* TCounterSource::CreateFromFactory(TBCClassFactory& factory, IUnknown* outer) {
  return new TCounterSource(factory.FriendlyName, outer, 1);
}

TCounterSource::TCounterSource(const wchar_t* name, IUnknown* outer, int pinCount)
    : TBCSource(name, outer, CLSID_BCTestSource) {
  // The pins belong to the source from here on; it destroys them with itself.
  HRESULT hr = S_OK;
  new TCounterStream(&hr, this, L"Out");
  if (pinCount > 1) new TCounterStream(&hr, this, L"Aux");
}

void* TCounterSource::FindInterface(REFIID iid) {
  if (iid == IID_IBCCounterControl) return BCInterface<IBCCounterControl>(this);
  return TBCSource::FindInterface(iid);
}

#define COUNTER_PIN(n)               \
  TCounterStream* stream = Stream(n); \
  if (!stream) return E_INVALIDARG

STDMETHODIMP TCounterSource::SetFillDelay(LONG pin, DWORD milliseconds) {
  COUNTER_PIN(pin);
  stream->FillDelay = LONG(milliseconds);
  return S_OK;
}

STDMETHODIMP TCounterSource::SetFillResult(LONG pin, LONG after, HRESULT result) {
  COUNTER_PIN(pin);
  stream->FillResult = result;
  stream->FillAfter = after;
  return S_OK;
}

STDMETHODIMP TCounterSource::SetThreadCreateResult(LONG pin, HRESULT result) {
  COUNTER_PIN(pin);
  stream->ThreadCreateResult = result;
  return S_OK;
}

STDMETHODIMP TCounterSource::SetGoInactiveResult(LONG pin, HRESULT result) {
  COUNTER_PIN(pin);
  stream->GoInactiveResult = result;
  return S_OK;
}

STDMETHODIMP TCounterSource::GetStats(LONG pin, BCCounterStats* stats) {
  COUNTER_PIN(pin);
  if (!stats) return E_POINTER;
  stats->FillCalls = stream->Stats.FillCalls;
  stats->ThreadCreates = stream->Stats.ThreadCreates;
  stats->ThreadEnds = stream->Stats.ThreadEnds;
  stats->StreamStarts = stream->Stats.StreamStarts;
  stats->InFill = stream->Stats.InFill;
  return S_OK;
}
