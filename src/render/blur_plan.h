// The arithmetic of the whole-picture blur: how many doubling passes of the
// 7-tap blur a radius takes, and the weights of one pass.
#pragma once

#include <array>

namespace zel {

enum class TBlurMethod : int {
  // A blurred copy at half resolution is mixed with the sharp picture.
  Mix = 0,
  // Doubling passes at half resolution, then a final weighted pair.
  Passes = 1,
};

struct TBlurPlan {
  TBlurMethod Method = TBlurMethod::Passes;
  // Passes: the number of full-weight pass pairs (steps 1, 2, 4, ...) and
  // the weight of the final pair, whose step is 2^DoublePasses.
  int DoublePasses = 0;
  double FinalWeight = 0;
  // Mix: how much of the blurred copy.
  double MixAlpha = 0;
};

// The plan for a radius in full-resolution pixels.
TBlurPlan PlanBlur(double radius);

// The weights of a 7-tap pass of weight x for the offsets 3, 2, 1 and 0;
// at x = 0 the pass copies.
std::array<float, 4> BlurWeights(double x);

}  // namespace zel
