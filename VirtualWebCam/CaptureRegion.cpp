#include "CaptureRegion.h"

#include <algorithm>

namespace vwc {

int DisplayIndex(int32_t monitor, int count, int primary) {
  if (monitor >= 1 && monitor <= count) return monitor - 1;
  return primary;
}

TRect RegionOnDisplay(const CaptureSettings& s, const TRect& display) {
  if (IsWholeDisplay(s)) return display;
  // Stored values may be as large as a long: placed in 64 bits, then clipped.
  const int64_t left = int64_t(display.Left) + s.CaptureLeft, top = int64_t(display.Top) + s.CaptureTop;
  const int64_t right = left + s.CaptureWidth, bottom = top + s.CaptureHeight;
  const auto clip = [](int64_t v, int32_t lo, int32_t hi) { return int32_t(std::clamp<int64_t>(v, lo, hi)); };
  const TRect r{clip(left, display.Left, display.Right), clip(top, display.Top, display.Bottom),
                clip(right, display.Left, display.Right), clip(bottom, display.Top, display.Bottom)};
  return murmella::bitmap32::IsRectEmpty(r) ? display : r;
}

TRect FollowPoint(const TRect& region, int32_t x, int32_t y, const TRect& display) {
  const auto shift = [](int32_t lo, int32_t hi, int32_t p, int32_t min, int32_t max) {
    int32_t d = 0;
    if (p < lo)
      d = p - lo;
    else if (p >= hi)
      d = p - hi + 1;
    // Kept on the display: a region as large as the display stays where the display is.
    if (lo + d < min) d = min - lo;
    if (hi + d > max) d = std::max(max - hi, min - lo);
    return d;
  };
  const int32_t dx = shift(region.Left, region.Right, x, display.Left, display.Right);
  const int32_t dy = shift(region.Top, region.Bottom, y, display.Top, display.Bottom);
  return {region.Left + dx, region.Top + dy, region.Right + dx, region.Bottom + dy};
}

TRect Letterbox(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height) {
  if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) return {0, 0, width, height};
  int64_t w = width, h = height;
  // Rounded to the nearest pixel, so the shape is the source's within one pixel.
  if (int64_t(sourceWidth) * height >= int64_t(width) * sourceHeight)
    h = std::clamp<int64_t>((int64_t(width) * sourceHeight * 2 + sourceWidth) / (2 * int64_t(sourceWidth)), 1, height);
  else
    w = std::clamp<int64_t>((int64_t(height) * sourceWidth * 2 + sourceHeight) / (2 * int64_t(sourceHeight)), 1, width);
  const int32_t left = int32_t((width - w) / 2), top = int32_t((height - h) / 2);
  return {left, top, left + int32_t(w), top + int32_t(h)};
}

void TRegionTracker::Reset(const CaptureSettings& s, const TRect& display) {
  if (placed_ && s == settings_ && display == display_) return;
  settings_ = s;
  display_ = display;
  region_ = RegionOnDisplay(s, display);
  placed_ = true;
}

TRect TRegionTracker::Next(int32_t x, int32_t y) {
  if (settings_.FollowCursor) region_ = FollowPoint(region_, x, y, display_);
  return region_;
}

}  // namespace vwc
