// Rounding to the nearest integer, halves to even, without a library call
// on the scan converter's hot paths.
#pragma once

#include <cmath>

namespace zel {

// The same result as std::nearbyint in the default rounding mode: below
// 2^51 adding and removing 1.5 * 2^52 leaves no fraction bits, so the
// hardware's round-to-nearest-even does the work.
// RoundHalfEven for |v| below 2^51 only, where the branch is not needed.
inline double RoundHalfEvenSmall(double v) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  return (v + kShift) - kShift;
}

inline double RoundHalfEven(double v) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  if (std::fabs(v) < 2251799813685248.0) return (v + kShift) - kShift;
  return std::nearbyint(v);
}

}  // namespace zel
