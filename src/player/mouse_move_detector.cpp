#include "player/mouse_move_detector.h"

#include <cstdlib>

#include "core/clock.h"

namespace zel {

TMouseMoveDetector::TMouseMoveDetector(uint32_t idleIntervalMs)
    : fLastMove(Clock().Milliseconds()), fIdleInterval(idleIntervalMs) {}

bool TMouseMoveDetector::Record(int32_t x, int32_t y) {
  if (fCount == 0) {
    fX = x;
    fY = y;
    fCount = 1;
    return false;
  }
  // 64-bit so that positions far apart cannot overflow the sum.
  const int64_t distance = std::llabs(int64_t{x} - fX) + std::llabs(int64_t{y} - fY);
  if (distance <= kThreshold) return false;
  fX = x;
  fY = y;
  ++fCount;
  fLastMove = Clock().Milliseconds();
  fForcedIdle = false;
  fRestart = false;
  return true;
}

bool TMouseMoveDetector::Idle() {
  const uint64_t now = Clock().Milliseconds();
  if (fRestart) {
    fLastMove = now;
    fRestart = false;
  }
  if (fForcedIdle) return true;
  // A clock set back (only tests do that) counts as no time passed.
  return now > fLastMove && now - fLastMove > fIdleInterval;
}

void TMouseMoveDetector::SetIdle(bool idle) {
  fForcedIdle = idle;
  fRestart = !idle;
}

}  // namespace zel
