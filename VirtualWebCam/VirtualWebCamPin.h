// The camera's one output pin: the settings it reads once at construction, the one RGB32
// format it offers, and the samples it fills with the screen and holds to the frame schedule.
#pragma once

#include "BaseClass.h"
#include "ScreenSource.h"
#include "VideoFormat.h"

#include <windows.h>
#include <dshow.h>

#include <cstdint>

class TBCVirtualWebCam;

class TBCVirtualWebCamPin final : public TBCSourceStream, public IKsPropertySet, public IAMStreamConfig {
 public:
  // result is S_OK once the settings are read; a failure while reading them leaves the values
  // reached so far and is only reported as a debug line.
  TBCVirtualWebCamPin(HRESULT* result, TBCVirtualWebCam* filter);
  ~TBCVirtualWebCamPin() override;

  BC_DECLARE_UNKNOWN

  // Negotiation
  HRESULT ProposeType(int position, AM_MEDIA_TYPE* type) override;
  HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT MakeDefaultAllocator(IMemAllocator** allocator) override;
  HRESULT CompleteConnect(IPin* receivePin) override;

  // Streaming
  HRESULT OnThreadCreate() override;
  HRESULT FillBuffer(IMediaSample* sample) override;
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize,
                   DWORD* bytesReturned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // Settings, fixed after construction.
  int32_t VideoWidth = 160;
  int32_t VideoHeight = 120;
  int64_t FrameDuration = 5'000'000;
  // The capture region as the pin was built (screen coordinates); the stream's own follows the
  // capture settings as they change.
  RECT CaptureRect{};
  int32_t CaptureWidth = 0;
  int32_t CaptureHeight = 0;
  int64_t CounterFrequency = 1;
  // Per run of the streaming thread, touched by that thread only.
  int64_t StartCounter = 0;
  int64_t FrameIndex = 0;

 protected:
  void* FindInterface(REFIID iid) override;

 private:
  vwc::FrameFormat Format() const { return {VideoWidth, VideoHeight, FrameDuration}; }
  // A new media type record from ProposeType(0) for IAMStreamConfig's callers, or null when
  // the pin has no type to offer.
  AM_MEDIA_TYPE* NewProposedType();

  // The streaming thread's screen pictures, whose memory is kept from frame to frame, and the
  // capture choices they follow.
  vwc::TScreenSource source_;

  // Set by SizeBuffers when the connection cannot work with any allocator: the allocator choice
  // ends there and CompleteConnect reports it.
  bool negotiationFatal_ = false;
};
