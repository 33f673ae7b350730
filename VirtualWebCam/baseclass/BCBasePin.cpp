#include "BCBasePin.h"

#include "BCBaseFilter.h"
#include "BCEnumerators.h"
#include "BCGuard.h"

#include <cstring>

TBCBasePin::TBCBasePin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, const wchar_t* pinName,
                       PIN_DIRECTION direction)
    : TBCUnknown(objectName, nullptr),
      pinName_(pinName ? pinName : L""),
      direction_(direction),
      lock_(lock),
      filter_(filter) {
  BCAssert(filter != nullptr);
  BCAssert(lock != nullptr);
  // Pin names travel in PIN_INFO, which holds 127 characters and the terminator.
  if (pinName_.size() > 127) pinName_.resize(127);
}

TBCBasePin::~TBCBasePin() {
  // A pin that goes while still connected or referenced is a programming error of its filter;
  // a destructor cannot report it, so it is said on the debug channel and the peer let go.
  if (connectedPin_ || pinRefCount_ != 0) OutputDebugStringA("vwc: pin destroyed while connected or referenced");
  if (connectedPin_) connectedPin_->Release();
  if (qualitySink_) qualitySink_->Release();
  ClearMediaType(connectionType_);
}

void* TBCBasePin::FindInterface(REFIID iid) {
  if (iid == IID_IQualityControl) return BCInterface<IQualityControl>(this);
  if (iid == IID_IPin) return BCInterface<IPin>(this);
  return TBCUnknown::FindInterface(iid);
}

ULONG TBCBasePin::InnerAddRef() {
  InterlockedIncrement(&pinRefCount_);
  return filter_->AsBaseFilter()->AddRef();
}

ULONG TBCBasePin::InnerRelease() {
  if (InterlockedDecrement(&pinRefCount_) < 0) {
    // More releases than references: refuse it instead of releasing the filter under
    // whoever really holds it.
    InterlockedIncrement(&pinRefCount_);
    OutputDebugStringA("vwc: Release on a pin without references");
    return 0;
  }
  return filter_->AsBaseFilter()->Release();
}

HRESULT TBCBasePin::CheckConnectable() {
  if (connectedPin_) return VFW_E_ALREADY_CONNECTED;
  if (!filter_->IsStopped() && !reconnectWhileActive_) return VFW_E_NOT_STOPPED;
  return S_OK;
}

void TBCBasePin::DropConnectedPin() {
  if (connectedPin_) {
    connectedPin_->Release();
    connectedPin_ = nullptr;
  }
}

STDMETHODIMP TBCBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(lock_);
    HRESULT hr = CheckConnectable();
    if (FAILED(hr)) return hr;
    hr = NegotiateType(receivePin, type);
    if (FAILED(hr)) {
      ReleasePeer();
      return hr;
    }
    return S_OK;
  });
}

namespace {

// Failures that only say "not this type": a later candidate may still fit.
bool IsTypeRefusal(HRESULT hr) { return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED; }

class EnumHolder {
 public:
  ~EnumHolder() {
    if (e) e->Release();
  }
  IEnumMediaTypes* e = nullptr;
};

}  // namespace

HRESULT TBCBasePin::NegotiateType(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (type && !IsIncomplete(*type)) return TryConnection(receivePin, type);
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; ++pass) {
    const bool peersTypes = (pass == 0) != preferOwnTypes_;
    EnumHolder types;
    const HRESULT got = peersTypes ? receivePin->EnumMediaTypes(&types.e) : EnumMediaTypes(&types.e);
    if (FAILED(got) || !types.e) continue;
    const HRESULT hr = TryTypesFrom(receivePin, type, types.e);
    if (SUCCEEDED(hr)) return S_OK;
    // The first specific failure tells why; a later pass that found nothing to fit does not.
    if (!IsTypeRefusal(hr) && hr != VFW_E_NO_ACCEPTABLE_TYPES && failure == VFW_E_NO_ACCEPTABLE_TYPES) failure = hr;
  }
  return failure;
}

HRESULT TBCBasePin::TryTypesFrom(IPin* receivePin, const AM_MEDIA_TYPE* type, IEnumMediaTypes* types) {
  HRESULT hr = types->Reset();
  if (FAILED(hr)) return hr;
  HRESULT first = S_OK;
  for (;;) {
    AM_MEDIA_TYPE* fetched = nullptr;
    ULONG count = 0;
    const HRESULT got = types->Next(1, &fetched, &count);
    if (got != S_OK || count != 1 || !fetched) {
      // A peer that says "no more" yet hands out a record must not make us leak it.
      if (count == 1) DisposeMediaType(fetched);
      return FAILED(first) ? first : VFW_E_NO_ACCEPTABLE_TYPES;
    }
    if (!type || MatchesGiven(*fetched, *type)) {
      hr = TryConnection(receivePin, fetched);
      if (FAILED(hr) && SUCCEEDED(first) && !IsTypeRefusal(hr)) first = hr;
    } else {
      hr = VFW_E_NO_ACCEPTABLE_TYPES;
    }
    DisposeMediaType(fetched);
    if (hr == S_OK) return S_OK;
  }
}

HRESULT TBCBasePin::ValidateAndAccept(IPin* peer, const AM_MEDIA_TYPE* type) {
  HRESULT hr = ValidatePeer(peer);
  if (FAILED(hr)) {
    ReleasePeer();
    return hr;
  }
  hr = AcceptType(type);
  if (hr != S_OK) {
    ReleasePeer();
    return SUCCEEDED(hr) || IsTypeRefusal(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  }
  connectedPin_ = peer;
  connectedPin_->AddRef();
  return S_OK;
}

HRESULT TBCBasePin::TryConnection(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  HRESULT hr = ValidateAndAccept(receivePin, type);
  if (FAILED(hr)) return hr;
  hr = AdoptType(type);
  if (SUCCEEDED(hr)) {
    hr = receivePin->ReceiveConnection(AsPin(), type);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(receivePin);
      if (SUCCEEDED(hr)) return hr;
      receivePin->Disconnect();
    }
  }
  ReleasePeer();
  DropConnectedPin();
  return hr;
}

STDMETHODIMP TBCBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(lock_);
    HRESULT hr = CheckConnectable();
    if (FAILED(hr)) return hr;
    hr = ValidateAndAccept(connector, type);
    if (FAILED(hr)) return hr;
    hr = AdoptType(type);
    if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
    if (SUCCEEDED(hr)) return S_OK;
    DropConnectedPin();
    ReleasePeer();
    return hr;
  });
}

STDMETHODIMP TBCBasePin::Disconnect() {
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(lock_);
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (!connectedPin_) return S_FALSE;
    const HRESULT hr = ReleasePeer();
    if (FAILED(hr)) return hr;
    DropConnectedPin();
    return S_OK;
  });
}

STDMETHODIMP TBCBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  IPin* peer = connectedPin_;
  *pin = peer;
  if (!peer) return VFW_E_NOT_CONNECTED;
  peer->AddRef();
  return S_OK;
}

STDMETHODIMP TBCBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  memset(type, 0, sizeof *type);
  return BCGuarded([&]() -> HRESULT {
    TBCAutoLock lock(lock_);
    if (connectedPin_) {
      CloneMediaType(*type, connectionType_);
      return S_OK;
    }
    ResetMediaType(*type);
    return VFW_E_NOT_CONNECTED;
  });
}

STDMETHODIMP TBCBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  memset(info, 0, sizeof *info);
  info->pFilter = filter_->AsBaseFilter();
  info->pFilter->AddRef();
  memcpy(info->achName, pinName_.c_str(), (pinName_.size() + 1) * sizeof(wchar_t));
  info->dir = direction_;
  return S_OK;
}

STDMETHODIMP TBCBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

STDMETHODIMP TBCBasePin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (pinName_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  memcpy(*id, pinName_.c_str(), bytes);
  return S_OK;
}

STDMETHODIMP TBCBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  return BCGuarded([&]() -> HRESULT {
    const HRESULT hr = AcceptType(type);
    return FAILED(hr) ? S_FALSE : hr;
  });
}

STDMETHODIMP TBCBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = nullptr;
  return BCGuarded([&]() -> HRESULT {
    *types = new (std::nothrow) TBCEnumMediaTypes(this, nullptr);
    return *types ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP TBCBasePin::QueryInternalConnections(IPin**, ULONG* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP TBCBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

STDMETHODIMP TBCBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

STDMETHODIMP TBCBasePin::SetSink(IQualityControl* sink) {
  TBCAutoLock lock(lock_);
  if (sink) sink->AddRef();
  if (qualitySink_) qualitySink_->Release();
  qualitySink_ = sink;
  return S_OK;
}

HRESULT TBCBasePin::GoInactive() {
  runtimeFault_ = false;
  return S_OK;
}

HRESULT TBCBasePin::AdoptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  ClearMediaType(connectionType_);
  CloneMediaType(connectionType_, *type);
  return S_OK;
}

HRESULT TBCBasePin::ValidatePeer(IPin* pin) {
  PIN_DIRECTION peer = PINDIR_INPUT;
  const HRESULT hr = pin->QueryDirection(&peer);
  if (FAILED(hr)) return hr;
  return peer == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}
