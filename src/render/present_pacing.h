// How long a renderer sleeps before it presents a frame: pacing by sleeping
// rather than busy waiting, so the drawing thread leaves the processor to
// the loaders between frames.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zel {

// The refresh rate assumed when the display does not tell one.
constexpr int kFallbackRefreshRate = 60;

// Whole milliseconds of one refresh period.
inline int64_t RefreshPeriodMs(int refreshRate) {
  return 1000 / (refreshRate > 0 ? refreshRate : kFallbackRefreshRate);
}

// The wait left of the period (period - elapsed, clamped to 1..period),
// less 3 ms for the present call itself, but at least 1 ms.
inline int64_t PresentSleepMs(int64_t periodMs, int64_t elapsedMs) {
  const int64_t wait = std::clamp<int64_t>(periodMs - elapsedMs, 1, std::max<int64_t>(periodMs, 1));
  return std::max<int64_t>(1, wait - 3);
}

}  // namespace zel
