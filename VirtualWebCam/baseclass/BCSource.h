// A source filter and its streaming pins: each pin runs a worker thread from stop-to-pause
// until stop, asking FillBuffer for one sample after another and delivering each downstream.
#pragma once

#include "BCBaseFilter.h"
#include "BCOutputPin.h"
#include "BCThread.h"

#include <vector>

class TBCSourceStream;

class TBCSource : public TBCBaseFilter {
 public:
  TBCSource(const wchar_t* name, IUnknown* outer, REFCLSID classId);
  ~TBCSource() override;  // destroys the pins, last first

  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  HRESULT AttachPin(TBCSourceStream* pin);
  HRESULT DetachPin(TBCSourceStream* pin);
  int PinCount() override;
  TBCBasePin* PinAt(int n) override;
  int PinIndexOf(IPin* pin);
  TBCCritSec* StateLock() const { return FilterLock(); }

 protected:
  // A filter released while paused or running stops first, so no worker outlives its pin.
  void OnFinalRelease() override;

 private:
  std::vector<TBCSourceStream*> pins_;
};

class TBCSourceStream : public TBCBaseOutputPin {
 public:
  // result receives the outcome of attaching to owner.
  TBCSourceStream(const wchar_t* objectName, HRESULT* result, TBCSource* owner, const wchar_t* pinName);
  ~TBCSourceStream() override;

  STDMETHODIMP QueryId(LPWSTR* id) override;
  HRESULT GoActive() override;
  HRESULT GoInactive() override;
  HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
  HRESULT ProposeType(int position, AM_MEDIA_TYPE* type) override;

  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  virtual HRESULT OnThreadCreate() { return S_OK; }
  virtual HRESULT OnThreadEnd() { return S_OK; }
  virtual HRESULT OnStreamStart() { return S_OK; }
  virtual HRESULT DefaultType(AM_MEDIA_TYPE* type) { return E_UNEXPECTED; }
  virtual DWORD RunStreamLoop();
  virtual HRESULT PumpSamples();

  TBCSource* Owner() const { return owner_; }
  bool HasWorker() const { return worker_.HasThread(); }

 protected:
  TBCAMThread worker_;

 private:
  static DWORD StreamLoopEntry(void* pin);

  TBCSource* owner_;
};
