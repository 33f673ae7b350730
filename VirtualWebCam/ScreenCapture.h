// One frame of the camera: the primary display with the cursor drawn in, into a new 32-bit
// DIB section whose fourth byte is padding, then the draft stretch into a sample buffer as
// bottom-up RGB32.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "CaptureRegion.h"
#include "GdiObjects.h"

#include <vector>

namespace vwc {

// A new bitmap the caller deletes, or null for an empty rectangle or a failed capture
// (the latter with its "vwc: ..." debug line).
HBITMAP CopyScreenToBitmapEx(const RECT& rect);

// Stretches the bitmap to width x height into buffer, bottom row first, writing only the
// whole rows that fit in bufferSize. Without a bitmap the rows are opaque black, so the
// stream keeps its schedule. Returns the bytes written.
size_t ScaleToSample(HBITMAP bitmap, int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize);

// The same two steps for a stream of frames: the capture's DIB section is kept from one frame
// to the next (and made again only when the clamped rectangle changes size), because fresh
// pages for a whole screen each frame cost more than reading it. Frames are those of
// CopyScreenToBitmapEx and ScaleToSample, bit for bit.
class TScreenFrames {
 public:
  TScreenFrames() = default;
  TScreenFrames(const TScreenFrames&) = delete;
  TScreenFrames& operator=(const TScreenFrames&) = delete;

  // Takes a picture of rect (screen coordinates, clamped to the screen of all displays), with
  // the cursor drawn where it is relative to rect when showCursor; false for an empty rectangle,
  // or after a failure with the capture's debug line. The picture of a failed capture is gone.
  bool Capture(const RECT& rect, bool showCursor = true);
  // ScaleToSample of the last picture (a black frame when there is none); with keepAspect the
  // picture keeps its shape, centred between opaque black bars.
  size_t ScaleTo(int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize, bool keepAspect = false);

 private:
  murmella::bitmap32::TBitmapHandle bitmap_;
  murmella::bitmap32::TMemoryDC memory_;
  int width_ = 0, height_ = 0;
  bool valid_ = false;
  std::vector<uint8_t> letterbox_;  // the picture at its kept shape, kept from frame to frame
};

}  // namespace vwc
