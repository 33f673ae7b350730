// The camera's one output pin: the settings it reads once at construction, the capabilities it
// offers (the configured RGB32 first), the format a capture application set or a connection
// agreed, and the samples it fills with the screen and holds to that format's schedule.
#pragma once

#include "BaseClass.h"
#include "ScreenSource.h"
#include "VideoFormat.h"

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <optional>
#include <vector>

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
  // "SingleFormat": one RGB32 capability at the configured, fixed rate.
  bool SingleFormat = false;
  // What IAMStreamConfig reports, in offer order; capability 0 is the configured size in RGB32.
  std::vector<vwc::TCapability> Capabilities;
  // Per run of the streaming thread, touched by that thread only.
  int64_t StartCounter = 0;
  int64_t FrameIndex = 0;

  // The format a connection made now would use first: the one SetFormat chose, else
  // capability 0 at the configured rate.
  vwc::TStreamFormat PreferredFormat() const;
  // The format of the current connection (under the filter lock; fixed while streaming).
  const vwc::TStreamFormat& ConnectedFormat() const { return connected_; }

 protected:
  void* FindInterface(REFIID iid) override;

 private:
  vwc::FrameFormat Format() const { return {VideoWidth, VideoHeight, FrameDuration}; }
  // The offered capability a type describes, with its rate; the one-format camera's rule
  // knows only capability 0 at the configured rate.
  std::optional<vwc::TStreamFormat> Match(const AM_MEDIA_TYPE& type) const;
  // A new media type record for IAMStreamConfig's callers, or null when there is none.
  AM_MEDIA_TYPE* NewType(const vwc::TStreamFormat& format);

  // Set by SetFormat: offered first and alone from then on.
  std::optional<vwc::TStreamFormat> chosen_;
  // Set by AdoptType for the connection; copied for each run of the streaming thread.
  vwc::TStreamFormat connected_{};
  vwc::TStreamFormat streaming_{};

  // The streaming thread's screen pictures and its RGB32 frame before conversion, whose memory
  // is kept from frame to frame, and the capture choices they follow.
  vwc::TScreenSource source_;
  std::vector<uint8_t> rgb_;

  // Set by SizeBuffers when the connection cannot work with any allocator: the allocator choice
  // ends there and CompleteConnect reports it.
  bool negotiationFatal_ = false;
};
