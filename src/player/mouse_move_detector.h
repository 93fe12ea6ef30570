// Tells real pointer movements from jitter, and how long the pointer has
// been still. The input mapping uses it to end a screen saver on movement;
// the navigation panel uses it, with its own interval, to hide itself.
#pragma once

#include <cstdint>

#include "core/obj.h"

namespace zel {

class TMouseMoveDetector : public TObj {
 public:
  // A movement is a change of more than this many pixels, |dx| + |dy|.
  static constexpr int32_t kThreshold = 5;

  explicit TMouseMoveDetector(uint32_t idleIntervalMs);

  // Takes a pointer position; true when it is a movement. The first
  // position is only recorded: there is nothing to compare it with.
  bool Record(int32_t x, int32_t y);

  // Whether more than the idle interval has passed since the last movement
  // (or since the detector was made, before any movement).
  bool Idle();
  // True: report idle at once, until the next movement. False: the idle
  // time starts again at the next query.
  void SetIdle(bool idle);

  int32_t RecordedCount() const noexcept { return fCount; }
  int32_t LastX() const noexcept { return fX; }
  int32_t LastY() const noexcept { return fY; }
  uint32_t IdleInterval() const noexcept { return fIdleInterval; }
  void SetIdleInterval(uint32_t ms) noexcept { fIdleInterval = ms; }

 private:
  int32_t fX = 0;
  int32_t fY = 0;
  int32_t fCount = 0;
  uint64_t fLastMove;
  uint32_t fIdleInterval;
  bool fForcedIdle = false;
  bool fRestart = false;
};

}  // namespace zel
