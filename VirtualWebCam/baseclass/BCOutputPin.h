// The output pin: a peer that takes samples through IMemInputPin, the allocator agreed with
// it, and the means to get empty samples and push samples and notifications downstream.
#pragma once

#include "BCBasePin.h"

class TBCBaseOutputPin : public TBCBasePin {
 public:
  TBCBaseOutputPin(const wchar_t* objectName, TBCBaseFilter* filter, TBCCritSec* lock, const wchar_t* pinName);
  ~TBCBaseOutputPin() override;

  HRESULT ValidatePeer(IPin* pin) override;
  HRESULT ReleasePeer() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT GoActive() override;
  HRESULT GoInactive() override;

  // An output pin receives no stream notifications.
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  virtual HRESULT ChooseAllocator(IMemInputPin* inputPin, IMemAllocator** allocator);
  // Asks the allocator for buffers; the base asks for nothing. A failure lets the choice go on
  // to the default allocator; an exception ends it at once and reaches CompleteConnect, with
  // the allocator so far left in AgreedAllocator for ReleasePeer.
  virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) { return S_OK; }
  virtual HRESULT AcquireBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  virtual HRESULT SendSample(IMediaSample* sample);
  virtual HRESULT MakeDefaultAllocator(IMemAllocator** allocator);
  virtual HRESULT SendEndOfStream();
  virtual HRESULT SendBeginFlush();
  virtual HRESULT SendEndFlush();
  virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* AgreedAllocator() const { return agreedAllocator_; }
  IMemInputPin* PeerInputPin() const { return peerInputPin_; }

 protected:
  IMemAllocator* agreedAllocator_ = nullptr;
  IMemInputPin* peerInputPin_ = nullptr;
};
