// Frame time stamps and release times. Time stamps are products, never sums, so a long
// stream does not drift; release is measured on a performance counter from the moment the
// streaming thread started.
#pragma once

#include "CameraSettings.h"

#include <cstdint>

namespace vwc {

struct FrameSpan {
  int64_t Start;
  int64_t Stop;
};

// 64-bit frame numbers: at 60 frames a second a 32-bit one would overflow after 414 days.
constexpr FrameSpan FrameTimes(int64_t frameIndex, int64_t frameDuration) {
  const int64_t start = frameIndex * frameDuration;
  return {start, start + frameDuration};
}

// True when a frame starting at start (stream time) may be released at counter value now.
inline bool IsDue(int64_t start, int64_t now, int64_t startCounter, int64_t counterFrequency) {
  const double elapsed = double(now - startCounter) / double(counterFrequency);
  const double due = double(start) / double(kUnitsPerSecond);
  return due <= elapsed;
}

// Holds the caller until the frame is due, sleeping in 1 ms steps; readCounter() gives the
// counter now, sleepOneMs() sleeps. Returns how many sleeps it took.
template <class ReadCounter, class SleepOneMs>
int WaitUntilDue(int64_t start, int64_t startCounter, int64_t counterFrequency, ReadCounter readCounter,
                 SleepOneMs sleepOneMs) {
  int sleeps = 0;
  while (!IsDue(start, readCounter(), startCounter, counterFrequency)) {
    sleepOneMs();
    ++sleeps;
  }
  return sleeps;
}

}  // namespace vwc
