#include "render/blur_plan.h"

#include <cmath>

namespace zel {

namespace {
constexpr double kMinimalBlur = 0.00001;
// One pass of weight 1 blurs by about this radius at half resolution; each
// further pass doubles the step.
constexpr double kOnePassRadius = 7.0;
}  // namespace

TBlurPlan PlanBlur(double radius) {
  TBlurPlan plan;
  const double t = radius / 2;  // the radius at half resolution
  if (t >= kMinimalBlur && t < 1) {
    plan.Method = TBlurMethod::Mix;
    plan.MixAlpha = (t - kMinimalBlur) / (1 - kMinimalBlur);
    return plan;
  }
  plan.Method = TBlurMethod::Passes;
  if (t > kOnePassRadius) {
    const double u = std::log2(t / kOnePassRadius);
    int n = static_cast<int>(std::lround(u));
    double s = u - n;
    // n becomes the ceiling of u and s its fraction, or 1 when u is whole.
    if (s > 0) {
      n += 1;
    } else {
      s += 1;
    }
    plan.DoublePasses = n;
    plan.FinalWeight = s;
  } else {
    plan.DoublePasses = 0;
    plan.FinalWeight = t > 1 ? (t - 1) / 6 : 0;
  }
  return plan;
}

std::array<float, 4> BlurWeights(double x) {
  return {static_cast<float>(x * 0.065722), static_cast<float>(x * 0.108356), static_cast<float>(x * 0.17865),
          static_cast<float>(x * 0.294544 + (1 - x))};
}

}  // namespace zel
