#include "FrameSink.h"

#include <cstring>

namespace camsnap {

TFrameSink::TFrameSink(size_t keepBytes, size_t stopAfter)
    : keep_(keepBytes), stopAfter_(stopAfter), done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  QueryPerformanceFrequency(&freq_);
  StartClock();
}

TFrameSink::~TFrameSink() { CloseHandle(done_); }

void TFrameSink::StartClock() {
  std::lock_guard<std::mutex> g(lock_);
  QueryPerformanceCounter(&origin_);
}

std::vector<Frame> TFrameSink::TakeFrames() {
  std::lock_guard<std::mutex> g(lock_);
  return std::move(frames_);
}

size_t TFrameSink::Count() {
  std::lock_guard<std::mutex> g(lock_);
  return frames_.size();
}

STDMETHODIMP TFrameSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
    *out = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TFrameSink::AddRef() { return InterlockedIncrement(&refs_); }

// The sink lives on the caller's stack or in a unique owner; the count only tracks the grabber.
STDMETHODIMP_(ULONG) TFrameSink::Release() { return InterlockedDecrement(&refs_); }

STDMETHODIMP TFrameSink::SampleCB(double, IMediaSample* sample) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  Frame f;
  REFERENCE_TIME start = 0, stop = 0;
  f.HasTime = SUCCEEDED(sample->GetTime(&start, &stop));
  f.Start = start;
  f.Stop = stop;
  f.SyncPoint = sample->IsSyncPoint() == S_OK;
  f.Length = sample->GetActualDataLength();
  f.Size = sample->GetSize();
  std::lock_guard<std::mutex> g(lock_);
  f.ArrivalMicros = (now.QuadPart - origin_.QuadPart) * 1000000 / freq_.QuadPart;
  BYTE* p = nullptr;
  if (frames_.size() < keep_ && SUCCEEDED(sample->GetPointer(&p)) && p && f.Length > 0)
    f.Bytes.assign(p, p + f.Length);
  frames_.push_back(std::move(f));
  if (stopAfter_ && frames_.size() >= stopAfter_) SetEvent(done_);
  return S_OK;
}

STDMETHODIMP TFrameSink::BufferCB(double, BYTE*, long) { return E_NOTIMPL; }

}  // namespace camsnap
