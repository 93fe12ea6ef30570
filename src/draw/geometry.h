// The small vector types of the drawing space: x to the right, y downwards,
// z away from the viewer, in screen pixels. Rectangles of whole pixels are
// the bitmaps' TRect.
#pragma once

#include <cmath>
#include <cstdint>

#include "imaging/geometry.h"

namespace zel {

struct T3DVector {
  double x = 0, y = 0, z = 0;

  T3DVector operator+(const T3DVector& o) const noexcept { return {x + o.x, y + o.y, z + o.z}; }
  T3DVector operator-(const T3DVector& o) const noexcept { return {x - o.x, y - o.y, z - o.z}; }
  T3DVector operator*(double k) const noexcept { return {x * k, y * k, z * k}; }
  T3DVector& operator+=(const T3DVector& o) noexcept {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  bool operator==(const T3DVector&) const = default;
};

inline double Dot(const T3DVector& a, const T3DVector& b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline T3DVector Cross(const T3DVector& a, const T3DVector& b) noexcept {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const T3DVector& v) noexcept { return std::sqrt(Dot(v, v)); }
// The vector scaled to length 1; the zero vector stays zero.
inline T3DVector Normalized(const T3DVector& v) noexcept {
  const double length = Length(v);
  return length > 0 ? v * (1.0 / length) : v;
}

struct TFloatPoint {
  float x = 0, y = 0;
  bool operator==(const TFloatPoint&) const = default;
};

}  // namespace zel
