// The sample grabber's callback: records each sample's time stamps, arrival time and, for the
// first frames, its bytes. The callback runs on the source's streaming thread, so it only
// copies; files are written after the graph has stopped.
#pragma once

#include "SampleGrabber.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace camsnap {

struct Frame {
  int64_t Start = 0, Stop = 0;
  bool HasTime = false;
  bool SyncPoint = false;
  int64_t ArrivalMicros = 0;  // since the sink's clock origin
  long Length = 0;            // actual data length
  long Size = 0;              // buffer size
  std::vector<uint8_t> Bytes; // empty past the kept count
};

class TFrameSink final : public ISampleGrabberCB {
 public:
  TFrameSink(size_t keepBytes, size_t stopAfter);
  ~TFrameSink();

  // Arrival times count from this moment.
  void StartClock();
  // Signalled when stopAfter frames have arrived (never for stopAfter 0).
  HANDLE Done() const { return done_; }
  std::vector<Frame> TakeFrames();
  size_t Count();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;
  STDMETHODIMP BufferCB(double time, BYTE* buffer, long length) override;

 private:
  LONG refs_ = 1;
  size_t keep_, stopAfter_;
  HANDLE done_;
  LARGE_INTEGER origin_{}, freq_{};
  std::mutex lock_;
  std::vector<Frame> frames_;
};

}  // namespace camsnap
