// Writing grabbed frames: BMP pictures, raw sample bytes and one JSON line per frame.
#pragma once

#include "CaptureGraph.h"

#include <cstdio>
#include <string>

namespace camsnap {

// A top-down 32-bit header of the given size.
inline BITMAPINFO TopDownHeader(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return bi;
}

// A 24-bit BMP of a bottom-up (height > 0) or top-down RGB32 frame; alpha is dropped so that
// every viewer shows the colours. False when the bytes are fewer than the format says.
bool WriteBmp(const std::wstring& path, const VideoFormat& format, const Frame& frame);
bool WriteRaw(const std::wstring& path, const Frame& frame);
// {"index":..,"start":..,"stop":..,"sync":..,"arrival_us":..,"length":..,"size":..}
void WriteFrameJson(FILE* out, size_t index, const Frame& frame);

}  // namespace camsnap
