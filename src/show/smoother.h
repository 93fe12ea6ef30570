// An eased profile of one value over one interval: uniform acceleration,
// constant speed, uniform deceleration, covering exactly the distance from
// the start value to the end value.
#pragma once

#include "core/obj.h"

namespace zel {

class TSmoother : public TObj {
 public:
  // accel, constant and decel are the phase lengths (ms); they end at
  // T1 = accel, T2 = accel + constant and T3 = T2 + decel.
  void Setup(float startValue, float endValue, float accel, float constant, float decel) noexcept;
  // The value at x ms after the start of the interval.
  float Value(float x) const noexcept;

  float StartValue() const noexcept { return fStart; }
  float EndValue() const noexcept { return fEnd; }
  float T1() const noexcept { return fT1; }
  float T2() const noexcept { return fT2; }
  float T3() const noexcept { return fT3; }
  // Half the speed of the constant phase.
  float HalfSpeed() const noexcept { return fM; }

 private:
  float fStart = 0, fEnd = 0;
  float fT1 = 0, fT2 = 0, fT3 = 0;
  float fM = 0, fSpeed = 0;        // m and 2m
  float fValueT1 = 0, fValueT2 = 0;
  float fAccel = 0, fDecel = 0;
  float fInvAccel = 0, fInvDecel = 0;  // reciprocal phase lengths, 0 for an empty phase
};

}  // namespace zel
