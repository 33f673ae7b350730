// The camera's media types on the platform's own records: the types it offers, the checks of
// a proposed one, and the capability entries. The pin's negotiation methods are thin guards
// around these.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "CaptureFormats.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vwc {

struct FrameFormat {
  int32_t Width;
  int32_t Height;
  int64_t Duration;  // 100-ns units per frame
};

// Fills every field of the record with a new 88-byte format block from CoTaskMemAlloc
// (whatever the record held is overwritten, not released). S_OK; E_OUTOFMEMORY when the block
// cannot be had; VFW_S_NO_MORE_ITEMS, leaving the record alone, for a size that cannot make a
// frame in that format: such a capability is never offered.
HRESULT FillProposedType(AM_MEDIA_TYPE& type, const TStreamFormat& format);
// The one-format camera's RGB32 type.
HRESULT FillProposedType(AM_MEDIA_TYPE& type, const FrameFormat& format);

// The one-format camera's rule: S_OK for an RGB32 video type of the format's size, bottom-up;
// E_INVALIDARG otherwise. Bit count, image size and rate are not looked at.
// A format block shorter than a VIDEOINFOHEADER is refused without reading past it.
HRESULT CheckProposedType(const AM_MEDIA_TYPE& type, const FrameFormat& format);

// The many-format camera's rule: the offered capability the type describes exactly (subtype,
// size, bottom-up RGB, bit count, compression, image size, no stride or cropping of its own)
// with the rate it asks for (AcceptedFrameDuration), or nothing.
std::optional<TStreamFormat> MatchOfferedType(const AM_MEDIA_TYPE& type, const std::vector<TCapability>& offered,
                                              int64_t configuredDuration);

// A capability entry. With a fixed rate, both intervals are the format's duration (the
// one-format camera); otherwise the camera's whole range, 60 to 1 frames a second.
void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& caps, const TStreamFormat& format, bool fixedRate);
void FillStreamCaps(VIDEO_STREAM_CONFIG_CAPS& caps, const FrameFormat& format);

// IKsPropertySet::Get for the pin category; bytesReturned must not be null.
HRESULT GetPinCategory(REFGUID set, DWORD id, void* data, DWORD dataSize, DWORD* bytesReturned);

// The media subtype of a format.
GUID SubtypeOf(TPixelFormat format);

}  // namespace vwc
