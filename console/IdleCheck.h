// The idle disconnect's counters and decisions, free of the window and the platform: the
// once-a-minute tick feeds them the timer interval, the cursor position and the options, and
// they say when the hosted page goes back to its start address.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace murmella::console {

struct TIdleCounters {
  std::int32_t AccumulatedMs = 0;  // time added since the last activity or reset
  std::int32_t LastCursorX = 0;
  std::int32_t LastCursorY = 0;
  std::int32_t IdleSeconds = 0;    // as computed at the last tick

  // An operator away for weeks must not wrap the count round to a short idle time.
  void AddInterval(std::int32_t ms) {
    const std::int64_t sum = std::int64_t{AccumulatedMs} + (ms > 0 ? ms : 0);
    AccumulatedMs = static_cast<std::int32_t>(
        sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max() : sum);
  }

  // A move along either axis is activity: it restarts the count and is remembered.
  void SeeCursor(std::int32_t x, std::int32_t y) {
    if (x != LastCursorX || y != LastCursorY) {
      AccumulatedMs = 0;
      LastCursorX = x;
      LastCursorY = y;
    }
    IdleSeconds = AccumulatedMs / 1000;
  }

  // The list reads minutes, so the idle seconds are held against minutes × 60. True when the
  // check is due with the option on; the counters then start again, whether or not the page
  // is sent back.
  bool Due(std::int64_t thresholdMinutes, bool disconnectChecked) {
    if (thresholdMinutes * 60 > IdleSeconds) return false;
    if (!disconnectChecked) return false;
    AccumulatedMs = 0;
    IdleSeconds = 0;
    return true;
  }
};

// A page with no address yet, or one the service already logged out, stays where it is.
inline bool ShouldReturnToStart(std::string_view location) {
  return !location.empty() && location.find("disconnect") == std::string_view::npos;
}

}  // namespace murmella::console
