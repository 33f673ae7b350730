// The input pin of a downstream filter, reduced to what an output pin calls, for the cases
// Wine's own filters cannot show: scripted answers to connection and allocator calls, an
// allocator that grants less than asked, held samples, and a record of every sample received
// (times, flags, lengths, arrival, the first few samples' bytes).
#pragma once

#include "TestMediaType.h"

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

// Takes over a reference that is already counted. (MinGW's ComPtr::Attach adds one, and its
// ComPtr has no operator==, so comparisons in these tests go through Get().)
template <class T>
ComPtr<T> Adopt(T* object) {
  ComPtr<T> owner;
  *owner.GetAddressOf() = object;
  return owner;
}

// Interlocked count and delete-at-zero for test COM objects.
#define TEST_REFCOUNT                                                                  \
  std::atomic<LONG> refs_{1};                                                          \
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }                    \
  STDMETHODIMP_(ULONG) Release() override {                                            \
    const LONG n = --refs_;                                                            \
    if (n == 0) delete this;                                                           \
    return ULONG(n);                                                                   \
  }

struct VideoShape {
  LONG Width, Height;
  GUID Subtype;
};

class TestTypeEnum final : public IEnumMediaTypes {
 public:
  explicit TestTypeEnum(const std::vector<VideoShape>& shapes, size_t position = 0) : shapes_(shapes), pos_(position) {}
  TEST_REFCOUNT
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IEnumMediaTypes) return *out = nullptr, E_NOINTERFACE;
    *out = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    ULONG n = 0;
    for (; n < count && pos_ < shapes_.size(); ++n, ++pos_) {
      types[n] = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      MakeVideoType(*types[n], shapes_[pos_].Width, shapes_[pos_].Height, shapes_[pos_].Subtype);
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    pos_ += count;
    return pos_ <= shapes_.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** out) override {
    *out = new TestTypeEnum(shapes_, pos_);
    return S_OK;
  }

 private:
  std::vector<VideoShape> shapes_;
  size_t pos_;
};

// Hands the request on to Wine's allocator with cbBuffer cut to a cap, and reports at most a
// given number of buffers: an allocator that grants less than asked.
class CappingAllocator final : public IMemAllocator {
 public:
  CappingAllocator(IMemAllocator* inner, long byteCap, long bufferCap)
      : inner_(inner), byteCap_(byteCap), bufferCap_(bufferCap) {}
  TEST_REFCOUNT
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IMemAllocator) return *out = nullptr, E_NOINTERFACE;
    *out = static_cast<IMemAllocator*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    ALLOCATOR_PROPERTIES capped = *request;
    if (byteCap_ > 0 && capped.cbBuffer > byteCap_) capped.cbBuffer = byteCap_;
    const HRESULT hr = inner_->SetProperties(&capped, actual);
    if (SUCCEEDED(hr) && bufferCap_ >= 0 && actual->cBuffers > bufferCap_) actual->cBuffers = bufferCap_;
    return hr;
  }
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override { return inner_->GetProperties(props); }
  STDMETHODIMP Commit() override { return inner_->Commit(); }
  STDMETHODIMP Decommit() override { return inner_->Decommit(); }
  STDMETHODIMP GetBuffer(IMediaSample** s, REFERENCE_TIME* a, REFERENCE_TIME* b, DWORD f) override {
    return inner_->GetBuffer(s, a, b, f);
  }
  STDMETHODIMP ReleaseBuffer(IMediaSample* s) override { return inner_->ReleaseBuffer(s); }

 private:
  ComPtr<IMemAllocator> inner_;
  long byteCap_, bufferCap_;
};

struct PeerOptions {
  PIN_DIRECTION Direction = PINDIR_INPUT;
  bool MemInput = true;
  std::vector<VideoShape> Types;            // empty: EnumMediaTypes fails, the pass is skipped
  // ReceiveConnection's answers, call by call, the last one repeating; empty: S_OK.
  std::vector<HRESULT> ReceiveConnectionResults;
  bool OwnAllocator = false;               // GetAllocator offers Wine's memory allocator
  long GrantCap = 0;                       // ... which then grants at most this many bytes
  long GrantBuffers = -1;                  // ... and at most this many buffers (-1: as many as asked)
  long RequestBuffers = 0;                 // GetAllocatorRequirements' cBuffers (0: no requirements)
  int NotifyFailures = 0;                  // the first N NotifyAllocator calls fail
  HRESULT NotifyResult = E_FAIL;
  long ReceiveOkCount = -1;                // after this many samples Receive answers ReceiveResult
  HRESULT ReceiveResult = S_FALSE;
  long HoldSamples = 0;                    // the first N samples are kept, their buffers stay out
  bool CountedConnector = true;            // a real input pin holds its connector
  // Checks a sample's bytes against the frame size of the connection type: the frame's
  // sequence number, or -1 for a bad frame. Null: samples are not checked.
  LONGLONG (*CheckFrame)(const BYTE* data, long length, long frameBytes) = nullptr;
  size_t KeepBytes = 4;                    // how many samples keep a copy of their bytes
};

struct ReceivedSample {
  REFERENCE_TIME Start = 0, Stop = 0;
  bool HasTime = false, SyncPoint = false;
  long Length = 0, Size = 0;
  double ArrivalSeconds = 0;  // since the pin was made or last restarted
  std::vector<uint8_t> Bytes;
};

class TestInputPin final : public IPin, public IMemInputPin {
 public:
  explicit TestInputPin(PeerOptions options = {}) : o_(std::move(options)) {
    sampleEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Restart();
  }
  ~TestInputPin() {
    ReleaseHeld();
    DropConnector();
    FreeTypeFields(type_);
    CloseHandle(sampleEvent_);
  }
  static ComPtr<TestInputPin> Make(PeerOptions options = {}) { return Adopt(new TestInputPin(std::move(options))); }
  TEST_REFCOUNT
  LONG References() const { return refs_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin)
      *out = static_cast<IPin*>(this);
    else if (iid == IID_IMemInputPin && o_.MemInput)
      *out = static_cast<IMemInputPin*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
    const size_t call = size_t(ReceiveConnections++);
    OfferedWidths.push_back(TypeWidth(*type));
    const auto& results = o_.ReceiveConnectionResults;
    const HRESULT scripted = results.empty() ? S_OK : results[std::min(call, results.size() - 1)];
    if (FAILED(scripted)) return scripted;
    if (connector_) return VFW_E_ALREADY_CONNECTED;
    connector_ = connector;
    if (o_.CountedConnector) connector_->AddRef();
    FreeTypeFields(type_);
    CopyTypeFields(type_, *type);
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    frameBytes_ = info && type->cbFormat >= sizeof *info ? info->bmiHeader.biWidth * labs(info->bmiHeader.biHeight) * 4 : 0;
    return S_OK;
  }
  STDMETHODIMP Disconnect() override {
    ++Disconnects;
    if (!connector_) return S_FALSE;
    DropConnector();
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = connector_;
    if (!connector_) return VFW_E_NOT_CONNECTED;
    connector_->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
    if (!connector_) return VFW_E_NOT_CONNECTED;
    CopyTypeFields(*type, type_);
    return S_OK;
  }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    info->pFilter = nullptr;
    memcpy(info->achName, L"In", sizeof L"In");
    info->dir = o_.Direction;
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override {
    *dir = o_.Direction;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR* id) override {
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(3 * sizeof(wchar_t)));
    memcpy(*id, L"In", sizeof L"In");
    return S_OK;
  }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override {
    *types = nullptr;
    if (o_.Types.empty()) return E_NOTIMPL;
    *types = new TestTypeEnum(o_.Types);
    return S_OK;
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override {
    ++EndOfStreams;
    SetEvent(sampleEvent_);
    return S_OK;
  }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
    *allocator = nullptr;
    if (!o_.OwnAllocator) return VFW_E_NO_ALLOCATOR;
    if (!OwnAllocator) {
      ComPtr<IMemAllocator> wine;
      HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wine));
      if (FAILED(hr)) return hr;
      if (o_.GrantCap || o_.GrantBuffers >= 0)
        OwnAllocator = Adopt<IMemAllocator>(new CappingAllocator(wine.Get(), o_.GrantCap, o_.GrantBuffers));
      else
        OwnAllocator = wine;
    }
    return OwnAllocator.CopyTo(allocator);
  }
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
    if (NotifyCalls++ < o_.NotifyFailures) return o_.NotifyResult;
    Notified = allocator;
    return S_OK;
  }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override {
    if (!o_.RequestBuffers) return E_NOTIMPL;
    props->cBuffers = o_.RequestBuffers;
    return S_OK;
  }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    ReceivedSample r;
    r.HasTime = sample->GetTime(&r.Start, &r.Stop) == S_OK;
    r.SyncPoint = sample->IsSyncPoint() == S_OK;
    r.Length = sample->GetActualDataLength();
    r.Size = sample->GetSize();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (o_.CheckFrame) {
      // Sequence numbers only grow over the life of a stream, across stops and pauses too.
      const LONGLONG counter = o_.CheckFrame(data, r.Length, frameBytes_);
      if (counter < 0 || counter <= LastCounter)
        ++BadSamples;
      else
        LastCounter = counter;
    }
    long n;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      r.ArrivalSeconds = double(now.QuadPart - origin_.QuadPart) / double(frequency_.QuadPart);
      if (received_.size() < o_.KeepBytes && data) r.Bytes.assign(data, data + r.Length);
      received_.push_back(std::move(r));
      n = ++Samples;
      if (n <= o_.HoldSamples) held_.emplace_back(sample);
    }
    SetEvent(sampleEvent_);
    return o_.ReceiveOkCount >= 0 && n > o_.ReceiveOkCount ? o_.ReceiveResult : S_OK;
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override {
    HRESULT hr = S_OK;
    for (*done = 0; *done < count && hr == S_OK; ++*done) hr = Receive(samples[*done]);
    return hr;
  }
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

  // Waits until at least `count` samples (or end-of-stream calls, with eos) have arrived.
  bool WaitFor(long count, DWORD ms, bool eos = false) {
    const ULONGLONG end = GetTickCount64() + ms;
    while ((eos ? EndOfStreams.load() : Samples.load()) < count) {
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return false;
      WaitForSingleObject(sampleEvent_, DWORD(end - now));
    }
    return true;
  }
  // Forgets the samples so far; arrival is measured from now. Only while nothing streams.
  void Restart() {
    std::lock_guard<std::mutex> lock(mutex_);
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&origin_);
    received_.clear();
    Samples = 0;
  }
  std::vector<ReceivedSample> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  void ReleaseHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
  }
  bool Connected() const { return connector_ != nullptr; }
  IPin* Connector() const { return connector_; }
  const AM_MEDIA_TYPE& Type() const { return type_; }

  std::atomic<long> Samples{0}, BadSamples{0}, EndOfStreams{0}, Disconnects{0}, ReceiveConnections{0};
  std::atomic<LONGLONG> LastCounter{-1};
  std::vector<LONG> OfferedWidths;  // width of each type ReceiveConnection was offered
  int NotifyCalls = 0;
  ComPtr<IMemAllocator> OwnAllocator, Notified;

 private:
  void DropConnector() {
    if (connector_ && o_.CountedConnector) connector_->Release();
    connector_ = nullptr;
  }

  PeerOptions o_;
  IPin* connector_ = nullptr;
  AM_MEDIA_TYPE type_{};
  long frameBytes_ = 0;
  HANDLE sampleEvent_;
  std::mutex mutex_;
  LARGE_INTEGER origin_{}, frequency_{};
  std::vector<ReceivedSample> received_;
  std::vector<ComPtr<IMediaSample>> held_;
};
