// camsnap rate: how well the camera keeps its frame schedule at a given size and rate, and
// what each frame costs, measured through the sample grabber as a capture application sees it.
#pragma once

#include "FrameSink.h"

#include <string>
#include <vector>

namespace camsnap {

// Sets some of the camera's stored settings for the life of the object and then puts back
// what was there before, absent values included (the camera writes its defaults for missing
// values when it reads them), so that a benchmark leaves the user's camera as it found it.
class TCameraSettingsOverride {
 public:
  TCameraSettingsOverride() = default;
  ~TCameraSettingsOverride();
  TCameraSettingsOverride(const TCameraSettingsOverride&) = delete;
  TCameraSettingsOverride& operator=(const TCameraSettingsOverride&) = delete;

  bool Set(const wchar_t* name, DWORD value);

 private:
  struct Saved {
    std::wstring Name;
    bool Present = false;
    DWORD Type = 0;
    std::vector<BYTE> Data;
  };
  std::vector<Saved> saved_;
};

// The value below which a fraction q of the values lie (nearest rank); 0 for none.
int64_t Percentile(std::vector<int64_t> values, double q);

struct ScheduleStats {
  int64_t FirstFrameUs = 0;  // the first stamped frame's lateness: its capture and start-up
  int64_t MedianLatenessUs = 0, P90LatenessUs = 0, MaxLatenessUs = 0;  // of the frames after it
  int64_t DriftUs = 0;
};

// Lateness of a frame: its arrival, counted from the moment the graph was told to run (the
// sink's clock origin; the camera's pacing clock starts inside Run), minus its start time. The
// first frame is due at once but comes only after a capture, so it is reported on its own.
// Drift: the last start after the first, minus as many frame durations as frames came between
// them; a camera that skips slots drifts ahead. Frames without time stamps are left out.
ScheduleStats MeasureSchedule(const std::vector<Frame>& frames, int64_t frameDuration);

}  // namespace camsnap
