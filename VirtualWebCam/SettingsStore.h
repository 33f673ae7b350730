// The camera's settings in the current user's registry: the frame size and rate, read once per
// pin, and the capture choices, which a stream reads again while it runs.
#pragma once

#include "CaptureRegion.h"

#include <cstdint>

namespace vwc {

inline constexpr wchar_t kSettingsKey[] = L"Software\\VarnekSystems\\Filters\\VirtualWebCamera";

struct CameraSettings {
  int32_t VideoWidth;
  int32_t VideoHeight;
  int64_t FrameDuration;
  // "SingleFormat" non-zero: one RGB32 capability at a fixed rate, as a one-format camera.
  // Only read: a missing value means the many-format camera.
  bool SingleFormat;
};

// Missing or wrongly typed values are replaced by their defaults in the registry; a key that
// cannot be opened leaves every default in force and writes nothing.
CameraSettings LoadCameraSettings();

// The capture choices, under the same rules: a missing value, one of another type or one out of
// its range is replaced by its default, which is written back.
CaptureSettings LoadCaptureSettings();

// What the settings page applies: every capture value, and the first capability (frame size and
// rate) and the one-format choice that a stream takes from its next connection. False when the
// key cannot be written.
bool SaveCaptureSettings(const CaptureSettings& s);
bool SaveFrameSettings(int32_t width, int32_t height, int32_t framesPerSecond, bool singleFormat);

}  // namespace vwc
