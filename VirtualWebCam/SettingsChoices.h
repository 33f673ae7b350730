// What the camera's settings page edits, and the answer to each bad entry. No platform calls:
// the page reads its controls into these and writes the registry only when nothing is wrong.
#pragma once

#include "CaptureRegion.h"

#include <cstdint>

namespace vwc {

// One number typed into the page: nothing (empty or not a number) or its value.
struct TypedNumber {
  bool Valid = false;
  int64_t Value = 0;
};

struct SettingsChoices {
  TypedNumber VideoWidth, VideoHeight, FramesPerSecond;
  bool SingleFormat = false;
  int32_t Monitor = 0;
  bool WholeDisplay = true;
  TypedNumber CaptureLeft, CaptureTop, CaptureWidth, CaptureHeight;
  bool FollowCursor = false, ShowCursor = true, KeepAspect = false;
};

// Which entry is wrong and why, or null when the choices can be stored.
const wchar_t* FindChoiceError(const SettingsChoices& c);

// The stored capture values for choices without an error: a whole display stores the all-zero
// region.
CaptureSettings CaptureSettingsOf(const SettingsChoices& c);

// The whole frames per second that a frame duration comes from (the stored rate, clamped).
constexpr int32_t FramesPerSecondOf(int64_t frameDuration) {
  return frameDuration <= 0 ? 0 : int32_t((10'000'000 + frameDuration / 2) / frameDuration);
}

}  // namespace vwc
