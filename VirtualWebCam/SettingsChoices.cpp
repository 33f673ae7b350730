#include "SettingsChoices.h"

#include "CameraSettings.h"

namespace vwc {

namespace {

bool InRange(const TypedNumber& n, int64_t min, int64_t max) { return n.Valid && n.Value >= min && n.Value <= max; }

}  // namespace

const wchar_t* FindChoiceError(const SettingsChoices& c) {
  if (!InRange(c.VideoWidth, 1, INT32_MAX)) return L"Frame width: a whole number of pixels, at least 1.";
  if (!InRange(c.VideoHeight, 1, INT32_MAX)) return L"Frame height: a whole number of pixels, at least 1.";
  if (!IsStreamableSize(int32_t(c.VideoWidth.Value), int32_t(c.VideoHeight.Value)))
    return L"Frame size: too large for a frame (width x height x 4 must stay below 2 GB).";
  if (!InRange(c.FramesPerSecond, kMinFramesPerSecond, kMaxFramesPerSecond))
    return L"Frames per second: a whole number from 1 to 60.";
  if (c.Monitor < 0) return L"Display: choose one from the list.";
  if (c.WholeDisplay) return nullptr;
  if (!InRange(c.CaptureLeft, 0, INT32_MAX)) return L"Region left: a whole number of pixels, 0 or more.";
  if (!InRange(c.CaptureTop, 0, INT32_MAX)) return L"Region top: a whole number of pixels, 0 or more.";
  if (!InRange(c.CaptureWidth, 1, INT32_MAX))
    return L"Region width: a whole number of pixels, at least 1 (or choose the whole display).";
  if (!InRange(c.CaptureHeight, 1, INT32_MAX))
    return L"Region height: a whole number of pixels, at least 1 (or choose the whole display).";
  return nullptr;
}

CaptureSettings CaptureSettingsOf(const SettingsChoices& c) {
  CaptureSettings s;
  s.Monitor = c.Monitor;
  if (!c.WholeDisplay) {
    s.CaptureLeft = int32_t(c.CaptureLeft.Value);
    s.CaptureTop = int32_t(c.CaptureTop.Value);
    s.CaptureWidth = int32_t(c.CaptureWidth.Value);
    s.CaptureHeight = int32_t(c.CaptureHeight.Value);
  }
  s.FollowCursor = c.FollowCursor;
  s.ShowCursor = c.ShowCursor;
  s.KeepAspect = c.KeepAspect;
  return s;
}

}  // namespace vwc
