// What part of which display the camera shows, and where that picture sits in the frame. No
// platform calls: the registry, the displays and the cursor are read by the Windows layer and
// handed in here, so that the rules can be checked everywhere.
#pragma once

#include "Rect32.h"

#include <cstdint>

namespace vwc {

using murmella::bitmap32::TRect;

// The operator's capture choices, as stored (REG_DWORD values under the camera's key).
struct CaptureSettings {
  int32_t Monitor = 0;  // 0: the primary display; n >= 1: the n-th display as the platform lists them
  int32_t CaptureLeft = 0, CaptureTop = 0, CaptureWidth = 0, CaptureHeight = 0;  // all 0: the whole display
  int32_t FollowCursor = 0;
  int32_t ShowCursor = 1;
  int32_t KeepAspect = 0;
  friend constexpr bool operator==(const CaptureSettings&, const CaptureSettings&) = default;
};

// One stored value: its name, its default and the range it may take. A missing value, one of
// another type or one out of range is replaced by the default, which is written back.
struct CaptureValue {
  const wchar_t* Name;
  int32_t CaptureSettings::*Field;
  int32_t Default;
  int32_t Min;
  int32_t Max;
  constexpr bool Allows(int32_t v) const { return v >= Min && v <= Max; }
};

inline constexpr CaptureValue kCaptureValues[] = {
    {L"Monitor", &CaptureSettings::Monitor, 0, 0, INT32_MAX},
    {L"CaptureLeft", &CaptureSettings::CaptureLeft, 0, 0, INT32_MAX},
    {L"CaptureTop", &CaptureSettings::CaptureTop, 0, 0, INT32_MAX},
    {L"CaptureWidth", &CaptureSettings::CaptureWidth, 0, 0, INT32_MAX},
    {L"CaptureHeight", &CaptureSettings::CaptureHeight, 0, 0, INT32_MAX},
    {L"FollowCursor", &CaptureSettings::FollowCursor, 0, 0, 1},
    {L"ShowCursor", &CaptureSettings::ShowCursor, 1, 0, 1},
    {L"KeepAspect", &CaptureSettings::KeepAspect, 0, 0, 1},
};

constexpr bool IsWholeDisplay(const CaptureSettings& s) {
  return s.CaptureLeft == 0 && s.CaptureTop == 0 && s.CaptureWidth == 0 && s.CaptureHeight == 0;
}

// Which of count displays (in the platform's order, primary at index primary) the stored Monitor
// value names: 0 and a display that is no longer there both give the primary.
int DisplayIndex(int32_t monitor, int count, int primary);

// The stored region placed on the display (whose bounds are in screen coordinates) and clipped
// to it; the whole display when the region is all zero or nothing of it is left on the display.
TRect RegionOnDisplay(const CaptureSettings& s, const TRect& display);

// The region moved by the least that brings the point (x, y) inside it, its size kept, and
// then kept on the display.
TRect FollowPoint(const TRect& region, int32_t x, int32_t y, const TRect& display);

// Where a picture of sourceWidth x sourceHeight goes in a frame of width x height when its shape
// is kept: as large as fits, centred; the rest of the frame is bars. The whole frame when either
// picture is empty.
TRect Letterbox(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height);

// The region of one stream from frame to frame: where the settings put it, and where the cursor
// has taken it since when it follows the cursor.
class TRegionTracker {
 public:
  // Starts again from the settings on this display; the same settings and display keep the
  // place the region has followed the cursor to.
  void Reset(const CaptureSettings& s, const TRect& display);
  // The region for the next frame, with the cursor at (x, y) in screen coordinates.
  TRect Next(int32_t x, int32_t y);
  const TRect& Region() const { return region_; }

 private:
  CaptureSettings settings_{};
  TRect display_{}, region_{};
  bool placed_ = false;
};

// Whether capture settings read at counter value last are due to be read again at now: at most
// once a second, so a settings dialog's changes reach a running stream without a registry read
// per frame.
constexpr bool IsRereadDue(int64_t last, int64_t now, int64_t counterFrequency) {
  return now - last >= counterFrequency;
}

}  // namespace vwc
