// A counter-pattern source filter on the framework, used only by the framework's tests: RGB32
// streams whose samples carry a magic word, their counter and a pattern the receiver checks,
// with knobs that make FillBuffer slow or fail, thread start fail and a pin's stop fail.
// It is built into the test server DLL (reached through COM as a host would) and linked into
// the test programs that need the framework's C++ side.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "BaseClass.h"
#include "CounterControl.h"

class TCounterSource;

class TCounterStream : public TBCSourceStream {
 public:
  TCounterStream(HRESULT* result, TCounterSource* owner, const wchar_t* pinName);

  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;
  HRESULT OnThreadEnd() override;
  HRESULT OnStreamStart() override;
  HRESULT DefaultType(AM_MEDIA_TYPE* type) override;
  HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT GoInactive() override;

  // A command straight to the worker, as only the pin itself sends them.
  HRESULT SendWorkerCommand(DWORD command) { return worker_.SendCommand(command); }

  // Bytes of one frame of the connection's size (the default size while unconnected).
  long FrameBytes() const;

  volatile LONG FillDelay = 0;
  volatile LONG FillAfter = -1;  // -1: no scripted result pending
  volatile HRESULT FillResult = S_OK;
  volatile HRESULT ThreadCreateResult = S_OK;
  volatile HRESULT GoInactiveResult = S_OK;
  BCCounterStats Stats{};

 private:
  volatile LONG counter_ = 0;
};

class TCounterSource : public TBCSource, public IBCCounterControl {
 public:
  // The factory's virtual constructor: a one-pin filter named after the factory.
  static TBCUnknown* CreateFromFactory(TBCClassFactory& factory, IUnknown* outer);
  // A filter with pins "Out" and, for pinCount 2, "Aux".
  TCounterSource(const wchar_t* name, IUnknown* outer, int pinCount);

  BC_DECLARE_UNKNOWN

  TCounterStream* Stream(int n) { return static_cast<TCounterStream*>(PinAt(n)); }

  STDMETHODIMP SetFillDelay(LONG pin, DWORD milliseconds) override;
  STDMETHODIMP SetFillResult(LONG pin, LONG after, HRESULT result) override;
  STDMETHODIMP SetThreadCreateResult(LONG pin, HRESULT result) override;
  STDMETHODIMP SetGoInactiveResult(LONG pin, HRESULT result) override;
  STDMETHODIMP GetStats(LONG pin, BCCounterStats* stats) override;

 protected:
  void* FindInterface(REFIID iid) override;
};
