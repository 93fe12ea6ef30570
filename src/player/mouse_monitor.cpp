#include "player/mouse_monitor.h"

#include <cstdlib>
#include <utility>

#include "core/clock.h"

namespace zel {

TMouseMonitor::TMouseMonitor(TCursorCallback cursor) : fCursor(std::move(cursor)), fLastMove(Clock().Milliseconds()) {}

void TMouseMonitor::SetHidden(bool hidden) {
  if (hidden && fKeepVisible) return;
  fHidden = hidden;
  if (fCursor) fCursor(!hidden);
}

void TMouseMonitor::SetKeepVisible(bool keep) {
  fKeepVisible = keep;
  if (keep && fHidden) SetHidden(false);
}

void TMouseMonitor::Moved(int32_t x, int32_t y) {
  fInside = true;
  if (fHavePosition && std::abs(x - fX) <= kJitter && std::abs(y - fY) <= kJitter) return;
  fHavePosition = true;
  fX = x;
  fY = y;
  fLastMove = Clock().Milliseconds();
  // With a hide interval of 0 a hidden cursor stays hidden for good.
  if (fHidden && fHideInterval > 0) SetHidden(false);
}

void TMouseMonitor::Poll() {
  if (fHidden || fHideInterval == 0) return;
  if (Clock().Milliseconds() - fLastMove > fHideInterval) SetHidden(true);
}

}  // namespace zel
