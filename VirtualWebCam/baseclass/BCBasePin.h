// The generic half of a pin: connection procedure, media-type agreement and the answers of
// IPin. Pins share their filter's lock and reference count.
#pragma once

#include "BCMediaType.h"
#include "BCObject.h"
#include "BCThread.h"

#include <windows.h>
#include <dshow.h>

#include <string>

class TBCBaseFilter;

class TBCBasePin : public TBCUnknown, public IPin, public IQualityControl {
 public:
  TBCBasePin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, const wchar_t* pinName,
             PIN_DIRECTION direction);
  ~TBCBasePin() override;

  BC_DECLARE_UNKNOWN

  // A pin lives as long as its filter: its references are the filter's.
  ULONG InnerAddRef() override;
  ULONG InnerRelease() override;

  // IPin
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // IQualityControl
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  virtual LONG TypeVersion() { return typeVersion_; }
  virtual HRESULT GoActive() { return S_OK; }
  virtual HRESULT GoInactive();
  virtual HRESULT OnRun(REFERENCE_TIME start) { return S_OK; }
  virtual HRESULT AcceptType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT AdoptType(const AM_MEDIA_TYPE* type);
  virtual HRESULT ValidatePeer(IPin* pin);
  virtual HRESULT ReleasePeer() { return S_OK; }
  virtual HRESULT CompleteConnect(IPin* receivePin) { return S_OK; }
  virtual HRESULT ProposeType(int position, AM_MEDIA_TYPE* type) { return E_UNEXPECTED; }

  bool IsConnected() const { return connectedPin_ != nullptr; }
  IPin* ConnectedPin() const { return connectedPin_; }
  const AM_MEDIA_TYPE& ConnectionType() const { return connectionType_; }
  const std::wstring& PinName() const { return pinName_; }
  PIN_DIRECTION Direction() const { return direction_; }
  TBCBaseFilter* OwnerFilter() const { return filter_; }
  TBCCritSec* FilterLock() const { return lock_; }
  LONG PinRefCount() const { return pinRefCount_; }
  IPin* AsPin() { return this; }

 protected:
  void* FindInterface(REFIID iid) override;
  HRESULT NegotiateType(IPin* receivePin, const AM_MEDIA_TYPE* type);
  HRESULT TryTypesFrom(IPin* receivePin, const AM_MEDIA_TYPE* type, IEnumMediaTypes* types);
  HRESULT TryConnection(IPin* receivePin, const AM_MEDIA_TYPE* type);
  // The peer and the type checked; on success the peer is held as ConnectedPin.
  HRESULT ValidateAndAccept(IPin* peer, const AM_MEDIA_TYPE* type);
  HRESULT CheckConnectable();  // not connected, and stopped unless reconnection is allowed
  void DropConnectedPin();

  IPin* connectedPin_ = nullptr;
  bool runtimeFault_ = false;
  bool reconnectWhileActive_ = false;
  bool preferOwnTypes_ = false;
  IQualityControl* qualitySink_ = nullptr;
  AM_MEDIA_TYPE connectionType_{};
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = 0x7FFFFFFFFFFFFFFFLL;
  double segmentRate_ = 1.0;

 private:
  std::wstring pinName_;
  PIN_DIRECTION direction_;
  TBCCritSec* lock_;
  TBCBaseFilter* filter_;
  LONG typeVersion_ = 1;
  volatile LONG pinRefCount_ = 0;
};
