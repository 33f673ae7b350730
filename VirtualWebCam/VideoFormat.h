// The one video format the camera pin offers, and the checks of a proposed one, on the
// platform's own records. The pin's negotiation methods are thin guards around these.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>

namespace vwc {

struct FrameFormat {
  int32_t Width;
  int32_t Height;
  int64_t Duration;  // 100-ns units per frame
};

// Fills every field of the record with a new 88-byte format block from CoTaskMemAlloc
// (whatever the record held is overwritten, not released). S_OK; E_OUTOFMEMORY when the block
// cannot be had; VFW_S_NO_MORE_ITEMS, leaving the record alone, for a size that cannot make a
// frame (negative, or an image size beyond 32 bits): such a pin offers nothing.
HRESULT FillProposedType(AM_MEDIA_TYPE& type, const FrameFormat& format);

// S_OK for an RGB32 video type of the format's size, bottom-up; E_INVALIDARG otherwise.
// A format block shorter than a VIDEOINFOHEADER is refused without reading past it.
HRESULT CheckProposedType(const AM_MEDIA_TYPE& type, const FrameFormat& format);

// The one capability entry.
void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& caps, const FrameFormat& format);

// IKsPropertySet::Get for the pin category; bytesReturned must not be null.
HRESULT GetPinCategory(REFGUID set, DWORD id, void* data, DWORD dataSize, DWORD* bytesReturned);

}  // namespace vwc
