#include "ScreenSource.h"

#include "SettingsStore.h"

namespace vwc {

namespace {

BOOL CALLBACK AddDisplay(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<DisplayInfo>*>(list)->push_back(
        {TRect{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

}  // namespace

std::vector<DisplayInfo> ListDisplays() {
  std::vector<DisplayInfo> displays;
  EnumDisplayMonitors(nullptr, nullptr, AddDisplay, reinterpret_cast<LPARAM>(&displays));
  if (displays.empty())
    displays.push_back({TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, true});
  return displays;
}

TRect ChosenDisplay(int32_t monitor) {
  const std::vector<DisplayInfo> displays = ListDisplays();
  int primary = 0;
  for (size_t i = 0; i < displays.size(); ++i)
    if (displays[i].Primary) primary = int(i);
  return displays[size_t(DisplayIndex(monitor, int(displays.size()), primary))].Bounds;
}

void TScreenSource::Reload() {
  settings_ = LoadCaptureSettings();
  tracker_.Reset(settings_, ChosenDisplay(settings_.Monitor));
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  lastRead_ = now.QuadPart;
  read_ = true;
}

void TScreenSource::ReloadIfDue(int64_t now, int64_t counterFrequency) {
  if (!read_ || IsRereadDue(lastRead_, now, counterFrequency)) Reload();
}

size_t TScreenSource::Frame(int32_t width, int32_t height, uint8_t* buffer, size_t bufferSize) {
  if (!read_) Reload();
  POINT cursor{};
  GetCursorPos(&cursor);
  const TRect r = tracker_.Next(cursor.x, cursor.y);
  frames_.Capture(RECT{r.Left, r.Top, r.Right, r.Bottom}, settings_.ShowCursor != 0);
  return frames_.ScaleTo(width, height, buffer, bufferSize, settings_.KeepAspect != 0);
}

}  // namespace vwc
