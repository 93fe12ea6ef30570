#include "player/frame_interpolator.h"

#include <cstddef>

namespace zel {

double TFrameInterpolator::Next(double x) {
  double y = x;
  if (fHeld) {
    // Passes through.
  } else if (fCountdown > 0) {
    --fCountdown;
  } else {
    ++fCount;
    const std::size_t slot = static_cast<std::size_t>((fCount - 1) % kRing);
    if (fCount > kRing) fSum -= fSteps[slot];
    const double step = x - fLastInput;
    fSum += step;
    fSteps[slot] = step;
    if (fCount > kRing) {
      y = fOutput + fSum / kRing;
      y += (x - y) / 6;
    }
  }
  fOutput = y;
  fLastInput = x;
  if (fReleasePending) {
    fReleasePending = false;
    fHeld = false;
  }
  return y;
}

}  // namespace zel
