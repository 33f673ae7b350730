// The camera's settings in the current user's registry, read once per pin.
#pragma once

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

}  // namespace vwc
