// The generic half of a DirectShow filter: run state, clock, graph membership, pin lookup
// and self-registration. Pins come from the descendant (PinCount, PinAt).
#pragma once

#include "BCObject.h"
#include "BCThread.h"

#include <windows.h>
#include <dshow.h>

#include <memory>
#include <string>

class TBCBasePin;

class TBCBaseFilter : public TBCUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // Takes ownership of lock, which guards the filter, its pins and their connections.
  TBCBaseFilter(const wchar_t* name, IUnknown* outer, TBCCritSec* lock, REFCLSID classId);
  ~TBCBaseFilter() override;

  BC_DECLARE_UNKNOWN

  // IPersist
  STDMETHODIMP GetClassID(CLSID* classId) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;
  // IAMovieSetup
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  virtual HRESULT CurrentStreamTime(REFERENCE_TIME* time);
  virtual LONG PinListVersion() { return pinListVersion_; }
  virtual int PinCount() = 0;
  virtual TBCBasePin* PinAt(int n) = 0;

  // Tells the graph; for EC_COMPLETE the filter itself goes along as the second parameter.
  HRESULT PostEvent(long code, LONG_PTR param1, LONG_PTR param2);

  TBCCritSec* FilterLock() const { return filterLock_.get(); }
  FILTER_STATE FilterState() const { return filterState_; }
  bool IsStopped() const { return filterState_ == State_Stopped; }
  REFCLSID ClassId() const { return classId_; }
  IFilterGraph* OwnerGraph() const { return ownerGraph_; }
  IBaseFilter* AsBaseFilter() { return this; }

 protected:
  void* FindInterface(REFIID iid) override;
  // Registers or unregisters this filter's own factory; S_OK or S_FALSE.
  HRESULT SetupRegistration(bool doRegister);

  volatile FILTER_STATE filterState_ = State_Stopped;
  IReferenceClock* syncClock_ = nullptr;
  REFERENCE_TIME runStartTime_ = 0;

 private:
  CLSID classId_;
  std::unique_ptr<TBCCritSec> filterLock_;
  std::wstring filterName_;
  IFilterGraph* ownerGraph_ = nullptr;    // not counted: the graph owns us
  IMediaEventSink* eventSink_ = nullptr;  // not counted, as the graph
  LONG pinListVersion_ = 1;
};
