#include "FileStreamSink.h"

#include "BaseClass.h"

#include <cstring>
#include <memory>
#include <mutex>

using Microsoft::WRL::ComPtr;

namespace camsnap {

namespace {

// camsnap's own class identifier; the sink is never registered, only created in process.
// {6F1C2B7E-58A4-4C3D-9E1B-2A7D0C4F8B61}
constexpr CLSID kClsidFileStreamSink = {0x6F1C2B7E, 0x58A4, 0x4C3D, {0x9E, 0x1B, 0x2A, 0x7D, 0x0C, 0x4F, 0x8B, 0x61}};

HRESULT LastError() {
  const DWORD e = GetLastError();
  return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

class TFileStreamSink;

class TFileStreamPin final : public TBCBasePin, public IMemInputPin, public IStream {
 public:
  TFileStreamPin(TBCBaseFilter* filter, TBCCritSec* lock, std::wstring path)
      : TBCBasePin(L"file stream pin", filter, lock, L"in", PINDIR_INPUT), path_(std::move(path)) {}
  ~TFileStreamPin() override { Close(); }

  BC_DECLARE_UNKNOWN

  HRESULT AcceptType(const AM_MEDIA_TYPE* type) override {
    return type && type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
  }

  // A new run writes a new file. A file left open by the last run is closed only here, so
  // that the mux could finish it on its own Stop.
  HRESULT GoActive() override {
    std::lock_guard<std::mutex> g(fileLock_);
    CloseLocked();
    file_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ == INVALID_HANDLE_VALUE ? LastError() : S_OK;
  }

  void Close() {
    std::lock_guard<std::mutex> g(fileLock_);
    CloseLocked();
  }

  // IPin: the stream has no state to flush; its end is the graph's completion as for any sink.
  STDMETHODIMP EndOfStream() override {
    if (OwnerFilter()->FilterState() == State_Running) OwnerFilter()->PostEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

  // IMemInputPin: the upstream filter brings its own allocator.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
    if (!allocator) return E_POINTER;
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR;
  }
  STDMETHODIMP NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP ReceiveCanBlock() override { return S_OK; }

  // A byte-stream sample's start time is the file offset of its bytes.
  STDMETHODIMP Receive(IMediaSample* sample) override {
    if (!sample) return E_POINTER;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME start = 0, stop = 0;
    const bool placed = SUCCEEDED(sample->GetTime(&start, &stop));
    std::lock_guard<std::mutex> g(fileLock_);
    if (placed && FAILED(hr = SeekLocked(start, STREAM_SEEK_SET, nullptr))) return hr;
    return WriteLocked(data, ULONG(sample->GetActualDataLength()), nullptr);
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override {
    if (!samples || !done) return E_POINTER;
    for (*done = 0; *done < count; ++*done)
      if (const HRESULT hr = Receive(samples[*done]); hr != S_OK) return hr;
    return S_OK;
  }

  // ISequentialStream and IStream over the file, with the file pointer as the stream position.
  STDMETHODIMP Read(void* data, ULONG size, ULONG* read) override {
    std::lock_guard<std::mutex> g(fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    DWORD n = 0;
    if (!ReadFile(file_, data, size, &n, nullptr)) return LastError();
    if (read) *read = n;
    return n == size ? S_OK : S_FALSE;
  }
  STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override {
    std::lock_guard<std::mutex> g(fileLock_);
    return WriteLocked(data, size, written);
  }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    std::lock_guard<std::mutex> g(fileLock_);
    return SeekLocked(move.QuadPart, origin, position);
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override {
    std::lock_guard<std::mutex> g(fileLock_);
    ULARGE_INTEGER here{};
    HRESULT hr = SeekLocked(0, STREAM_SEEK_CUR, &here);
    if (FAILED(hr) || FAILED(hr = SeekLocked(LONGLONG(size.QuadPart), STREAM_SEEK_SET, nullptr))) return hr;
    if (!SetEndOfFile(file_)) hr = LastError();
    SeekLocked(LONGLONG(here.QuadPart), STREAM_SEEK_SET, nullptr);
    return hr;
  }
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
    if (!stat) return E_POINTER;
    memset(stat, 0, sizeof *stat);
    std::lock_guard<std::mutex> g(fileLock_);
    LARGE_INTEGER size{};
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    if (!GetFileSizeEx(file_, &size)) return LastError();
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = ULONGLONG(size.QuadPart);
    stat->grfMode = STGM_READWRITE;
    if (!(flags & STATFLAG_NONAME)) {
      const size_t bytes = (path_.size() + 1) * sizeof(wchar_t);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (!stat->pwcsName) return E_OUTOFMEMORY;
      memcpy(stat->pwcsName, path_.c_str(), bytes);
    }
    return S_OK;
  }
  // The file is written through at once: nothing to commit or revert, no regions to lock.
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP Clone(IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 protected:
  void* FindInterface(REFIID iid) override {
    if (iid == IID_IMemInputPin) return BCInterface<IMemInputPin>(this);
    if (iid == IID_IStream) return BCInterface<IStream>(this);
    if (iid == IID_ISequentialStream) return BCInterface<ISequentialStream>(this);
    return TBCBasePin::FindInterface(iid);
  }

 private:
  void CloseLocked() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  HRESULT SeekLocked(LONGLONG move, DWORD origin, ULARGE_INTEGER* position) {
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    // The stream's origins are the file pointer's, value for value.
    LARGE_INTEGER to, now;
    to.QuadPart = move;
    if (!SetFilePointerEx(file_, to, &now, origin)) return LastError();
    if (position) position->QuadPart = ULONGLONG(now.QuadPart);
    return S_OK;
  }
  HRESULT WriteLocked(const void* data, ULONG size, ULONG* written) {
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    DWORD n = 0;
    if (!WriteFile(file_, data, size, &n, nullptr)) return LastError();
    if (written) *written = n;
    return n == size ? S_OK : STG_E_MEDIUMFULL;
  }

  const std::wstring path_;
  // The mux writes from the streaming thread and, while it stops, from the graph's thread.
  std::mutex fileLock_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

class TFileStreamSink final : public TBCBaseFilter {
 public:
  explicit TFileStreamSink(const std::wstring& path)
      : TBCBaseFilter(L"file stream sink", nullptr, new TBCCritSec, kClsidFileStreamSink),
        pin_(std::make_unique<TFileStreamPin>(this, FilterLock(), path)) {}

  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int n) override { return n == 0 ? pin_.get() : nullptr; }

 private:
  std::unique_ptr<TFileStreamPin> pin_;
};

}  // namespace

HRESULT CreateFileStreamSink(const std::wstring& path, ComPtr<IBaseFilter>& filter) {
  return BCGuarded([&]() -> HRESULT {
    filter = (new TFileStreamSink(path))->AsBaseFilter();
    return S_OK;
  });
}

}  // namespace camsnap
