// Smooths the show clock: the sound device's clock moves in steps, frames
// should not. After a short pass-through it follows the mean step of the
// last 32 inputs, pulled a sixth of the way toward the true time each
// frame.
#pragma once

#include <array>
#include <cstdint>

namespace zel {

class TFrameInterpolator {
 public:
  static constexpr int kPassThrough = 16;
  static constexpr int kRing = 32;

  double Next(double x);
  // While held every input passes through (the show is stopped).
  void Hold() noexcept { fHeld = true; }
  // The first input after a release still passes through; smoothing
  // resumes from the next one.
  void Release() noexcept {
    if (fHeld) fReleasePending = true;
  }
  bool Held() const noexcept { return fHeld; }

 private:
  double fOutput = 0;
  double fLastInput = 0;
  int fCountdown = kPassThrough;
  std::array<double, kRing> fSteps{};
  double fSum = 0;
  int64_t fCount = 0;
  bool fHeld = false;
  bool fReleasePending = false;
};

}  // namespace zel
