// The picture a stream shows: the displays as the platform lists them, the capture choices read
// from the registry (again at most once a second while streaming), the region that follows the
// cursor, and the frame made of it.
#pragma once

#include "CaptureRegion.h"
#include "ScreenCapture.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vwc {

struct DisplayInfo {
  TRect Bounds;  // screen coordinates: the primary display starts at (0, 0)
  bool Primary;
};

// Every display in EnumDisplayMonitors order; never empty (the primary screen's size when the
// platform lists none).
std::vector<DisplayInfo> ListDisplays();

// The bounds of the display that a stored Monitor value names: the primary for 0, and for a
// display that is no longer there.
TRect ChosenDisplay(int32_t monitor);

class TScreenSource {
 public:
  // The capture settings and the displays as they are now. A change of either starts the region
  // from its settings again; otherwise a region that follows the cursor stays where it went.
  void Reload();
  // Reload when the last one was at least a second ago (performance-counter values).
  void ReloadIfDue(int64_t now, int64_t counterFrequency);
  // One frame of width x height into buffer (bottom-up RGB32, whole rows that fit): the region
  // where the cursor has taken it, with or without the cursor, stretched or with its shape kept.
  size_t Frame(int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize);

  const CaptureSettings& Settings() const { return settings_; }
  const TRect& Region() const { return tracker_.Region(); }

 private:
  CaptureSettings settings_{};
  TRegionTracker tracker_;
  TScreenFrames frames_;
  int64_t lastRead_ = 0;
  bool read_ = false;
};

}  // namespace vwc
