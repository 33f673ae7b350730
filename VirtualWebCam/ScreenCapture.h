// One frame of the camera: the primary display with the cursor drawn in, into a new
// screen-compatible bitmap, then the draft stretch into a sample buffer as bottom-up RGB32.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace vwc {

// A new bitmap the caller deletes, or null for an empty rectangle or a failed capture
// (the latter with its "vwc: ..." debug line).
HBITMAP CopyScreenToBitmapEx(const RECT& rect);

// Stretches the bitmap to width x height into buffer, bottom row first, writing only the
// whole rows that fit in bufferSize. Without a bitmap the rows are opaque black, so the
// stream keeps its schedule. Returns the bytes written.
size_t ScaleToSample(HBITMAP bitmap, int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize);

}  // namespace vwc
