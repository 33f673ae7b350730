// A downstream input pin for driving the camera pin directly: it takes whatever type it is
// offered, lets the camera choose the platform's memory allocator (or refuses it buffers when
// asked to), and records every sample it receives with its arrival time.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <mutex>
#include <vector>

namespace vwctest {

struct ReceivedSample {
  REFERENCE_TIME Start = 0, Stop = 0;
  bool HasTime = false, SyncPoint = false;
  long Length = 0, Size = 0;
  double ArrivalSeconds = 0;  // since the peer's clock was reset
  std::vector<uint8_t> Bytes;
};

class TestPeerPin final : public IPin, public IMemInputPin {
 public:
  TestPeerPin() : arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { ResetClock(); }
  ~TestPeerPin() {
    FreeType();
    CloseHandle(arrived_);
    if (allocator_) allocator_->Release();
  }

  // How many samples keep their bytes.
  size_t KeepBytes = 4;

  void ResetClock() {
    std::lock_guard<std::mutex> lock(mutex_);
    QueryPerformanceCounter(&origin_);
    samples_.clear();
  }
  // Waits until n samples have arrived or ms pass; the samples so far.
  std::vector<ReceivedSample> WaitFor(size_t n, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (samples_.size() >= n || GetTickCount64() >= end) return samples_;
      }
      WaitForSingleObject(arrived_, 10);
    }
  }
  long EndOfStreams() const { return endOfStreams_; }
  const AM_MEDIA_TYPE& Type() const { return type_; }

  // IUnknown: the test owns the peer on its stack; references only have to balance.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IPin) *out = static_cast<IPin*>(this);
    else if (iid == IID_IMemInputPin) *out = static_cast<IMemInputPin*>(this);
    else return *out = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(InterlockedDecrement(&refs_)); }
  LONG References() const { return refs_; }

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
    if (connector_) return VFW_E_ALREADY_CONNECTED;
    connector_ = connector;
    connector_->AddRef();
    FreeType();
    type_ = *type;
    if (type->cbFormat) {
      type_.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type->cbFormat));
      memcpy(type_.pbFormat, type->pbFormat, type->cbFormat);
    }
    type_.pUnk = nullptr;
    return S_OK;
  }
  STDMETHODIMP Disconnect() override {
    if (!connector_) return S_FALSE;
    connector_->Release();
    connector_ = nullptr;
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = connector_;
    if (!connector_) return VFW_E_NOT_CONNECTED;
    connector_->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    info->pFilter = nullptr;
    info->dir = PINDIR_INPUT;
    memcpy(info->achName, L"In", sizeof(L"In"));
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override { return *dir = PINDIR_INPUT, S_OK; }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  // No types of our own: the camera's own proposal is what a plain Connect agrees on.
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return InterlockedIncrement(&endOfStreams_), S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IMemInputPin: the camera falls back on the platform's memory allocator.
  STDMETHODIMP GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
    if (allocator_) allocator_->Release();
    allocator_ = allocator;
    allocator_->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    ReceivedSample r;
    r.HasTime = sample->GetTime(&r.Start, &r.Stop) == S_OK;
    r.SyncPoint = sample->IsSyncPoint() == S_OK;
    r.Length = sample->GetActualDataLength();
    r.Size = sample->GetSize();
    std::lock_guard<std::mutex> lock(mutex_);
    r.ArrivalSeconds = double(now.QuadPart - origin_.QuadPart) / double(frequency.QuadPart);
    BYTE* bytes = nullptr;
    if (samples_.size() < KeepBytes && sample->GetPointer(&bytes) == S_OK) r.Bytes.assign(bytes, bytes + r.Length);
    samples_.push_back(std::move(r));
    SetEvent(arrived_);
    return S_OK;
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long n, long* done) override {
    for (*done = 0; *done < n; ++*done) Receive(samples[*done]);
    return S_OK;
  }
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

 private:
  void FreeType() {
    if (type_.cbFormat) CoTaskMemFree(type_.pbFormat);
    type_ = AM_MEDIA_TYPE{};
  }

  volatile LONG refs_ = 1;
  volatile LONG endOfStreams_ = 0;
  IPin* connector_ = nullptr;
  IMemAllocator* allocator_ = nullptr;
  AM_MEDIA_TYPE type_{};
  HANDLE arrived_;
  LARGE_INTEGER origin_{};
  std::mutex mutex_;
  std::vector<ReceivedSample> samples_;
};

}  // namespace vwctest
