#include "show/smoother.h"

namespace zel {

void TSmoother::Setup(float startValue, float endValue, float accel, float constant, float decel) noexcept {
  fStart = startValue;
  fEnd = endValue;
  fAccel = accel;
  fDecel = decel;
  fT1 = accel;
  fT2 = accel + constant;
  fT3 = fT2 + decel;
  // The distance is m·a + 2m·c + m·d = m·(c + T3).
  const float span = constant + fT3;
  fM = fT3 > 0 && span > 0 ? (endValue - startValue) / span : 0.0f;
  fSpeed = 2.0f * fM;
  fValueT1 = startValue + fM * accel;
  fValueT2 = startValue + fM * (constant + fT2);
  fInvAccel = accel > 0 ? 1.0f / accel : 0.0f;
  fInvDecel = decel > 0 ? 1.0f / decel : 0.0f;
}

float TSmoother::Value(float x) const noexcept {
  if (x <= 0) return fStart;
  if (x < fT1) {
    const float r = x * fInvAccel;
    return fStart + fM * fAccel * r * r;
  }
  if (x <= fT2) return fValueT1 + (x - fT1) * fSpeed;
  if (x >= fT3) return fEnd;
  const float r = 1.0f - (x - fT2) * fInvDecel;
  return fValueT2 + fM * fDecel * (1.0f - r * r);
}

}  // namespace zel
