#include "BCOutputPin.h"

#include "BCBaseFilter.h"
#include "BCGuard.h"

namespace {

template <class T>
void ReleaseAndClear(T*& p) {
  if (p) {
    p->Release();
    p = nullptr;
  }
}

}  // namespace

TBCBaseOutputPin::TBCBaseOutputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock,
                                   const wchar_t* pinName)
    : TBCBasePin(objectName, filter, lock, pinName, PINDIR_OUTPUT) {}

TBCBaseOutputPin::~TBCBaseOutputPin() {
  ReleaseAndClear(agreedAllocator_);
  ReleaseAndClear(peerInputPin_);
}

HRESULT TBCBaseOutputPin::ValidatePeer(IPin* pin) {
  HRESULT hr = TBCBasePin::ValidatePeer(pin);
  if (FAILED(hr)) return hr;
  ReleaseAndClear(peerInputPin_);
  hr = pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&peerInputPin_));
  if (FAILED(hr)) {
    peerInputPin_ = nullptr;
    return hr;
  }
  return peerInputPin_ ? S_OK : E_NOINTERFACE;
}

HRESULT TBCBaseOutputPin::ReleasePeer() {
  if (agreedAllocator_) {
    const HRESULT hr = agreedAllocator_->Decommit();
    if (FAILED(hr)) return hr;
    ReleaseAndClear(agreedAllocator_);
  }
  ReleaseAndClear(peerInputPin_);
  return S_OK;
}

HRESULT TBCBaseOutputPin::CompleteConnect(IPin*) {
  ReleaseAndClear(agreedAllocator_);
  if (!peerInputPin_) return E_UNEXPECTED;
  return ChooseAllocator(peerInputPin_, &agreedAllocator_);
}

HRESULT TBCBaseOutputPin::ChooseAllocator(IMemInputPin* inputPin, IMemAllocator** allocator) {
  if (!inputPin || !allocator) return E_POINTER;
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES properties{};
  inputPin->GetAllocatorRequirements(&properties);
  if (properties.cbAlign == 0) properties.cbAlign = 1;

  // The peer's own allocator first, then ours; each must take the sizes and be accepted.
  auto agree = [&](HRESULT obtained) {
    HRESULT hr = obtained;
    if (SUCCEEDED(hr) && !*allocator) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = SizeBuffers(*allocator, &properties);
    if (SUCCEEDED(hr)) hr = inputPin->NotifyAllocator(*allocator, FALSE);
    if (FAILED(hr)) ReleaseAndClear(*allocator);
    return hr;
  };
  HRESULT hr = agree(inputPin->GetAllocator(allocator));
  if (SUCCEEDED(hr)) return S_OK;
  hr = agree(MakeDefaultAllocator(allocator));
  return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT TBCBaseOutputPin::MakeDefaultAllocator(IMemAllocator** allocator) {
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(allocator));
}

HRESULT TBCBaseOutputPin::AcquireBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                        DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  IMemAllocator* allocator = agreedAllocator_;
  if (!allocator) return E_NOINTERFACE;
  return allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT TBCBaseOutputPin::SendSample(IMediaSample* sample) {
  IMemInputPin* peer = peerInputPin_;
  if (!peer) return VFW_E_NOT_CONNECTED;
  return peer->Receive(sample);
}

HRESULT TBCBaseOutputPin::SendEndOfStream() {
  IPin* peer = connectedPin_;
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendBeginFlush() {
  IPin* peer = connectedPin_;
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendEndFlush() {
  IPin* peer = connectedPin_;
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  IPin* peer = connectedPin_;
  return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT TBCBaseOutputPin::GoActive() {
  if (!agreedAllocator_) return VFW_E_NO_ALLOCATOR;
  return agreedAllocator_->Commit();
}

HRESULT TBCBaseOutputPin::GoInactive() {
  runtimeFault_ = false;
  if (!agreedAllocator_) return VFW_E_NO_ALLOCATOR;
  return agreedAllocator_->Decommit();
}
