// Putting a top-down RGB32 picture into a sample buffer as a bottom-up image, within the
// buffer's size: a buffer shorter than a frame gets the whole rows that fit, bottom row first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Rect32.h"

namespace vwc {

// Rows of width pixels that fit in bufferSize bytes, at most height.
int32_t RowsThatFit(size_t bufferSize, int32_t width, int32_t height);

// Copies rows of the top-down picture (rowStride bytes apart) into dst, the bottom row first,
// each width x 4 bytes, as many as fit in dstSize; with opaque, every fourth byte becomes 255.
// Returns the bytes written.
size_t CopyRowsBottomUp(const uint8_t* topDown, ptrdiff_t rowStride, int32_t width, int32_t height, uint8_t* dst,
                        size_t dstSize, bool opaque = false);

// The frame for a screen that gave no picture: opaque black in the rows that fit.
size_t FillBlackRows(int32_t width, int32_t height, uint8_t* dst, size_t dstSize);

// A bottom-up picture of inner's size (rows of inner.Width() x 4 bytes, no padding) placed at
// inner (top-down frame coordinates) in a bottom-up frame of width x height whose other pixels
// are opaque black bars; the whole rows that fit in dstSize, bottom row first. Returns the bytes
// written.
size_t PlaceInFrame(const uint8_t* innerBottomUp, const murmella::bitmap32::TRect& inner, int32_t width,
                    int32_t height, uint8_t* dst, size_t dstSize);

}  // namespace vwc
