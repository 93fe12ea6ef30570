#include "textout/smoother.h"

#include <cmath>

namespace zel::textout {

namespace {
// With coordinates bounded by 2^26 the chord test is met long before this.
constexpr int kMaxDepth = 30;
}  // namespace

TOutlineSmoother::TPt TOutlineSmoother::At(double t) const {
  const double u = 1 - t;
  if (!fCubic) {
    const double a = u * u, b = 2 * t * u, c = t * t;
    return {a * fP[0].X + b * fP[1].X + c * fP[2].X, a * fP[0].Y + b * fP[1].Y + c * fP[2].Y};
  }
  const double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
  return {a * fP[0].X + b * fP[1].X + c * fP[2].X + d * fP[3].X,
          a * fP[0].Y + b * fP[1].Y + c * fP[2].Y + d * fP[3].Y};
}

void TOutlineSmoother::Split(double t0, const TPt& p0, double t1, const TPt& p1, int depth) {
  // The whole segment is always halved once: a curve that ends where it
  // starts (a loop) has a zero chord but is not a point.
  if (depth >= kMaxDepth || (depth > 0 && std::fabs(p1.X - p0.X) < 2 && std::fabs(p1.Y - p0.Y) < 2)) {
    fSink(fContext, static_cast<float>(p1.X), static_cast<float>(p1.Y));
    return;
  }
  const double tm = (t0 + t1) / 2;
  const TPt pm = At(tm);
  Split(t0, p0, tm, pm, depth + 1);
  Split(tm, pm, t1, p1, depth + 1);
}

void TOutlineSmoother::Quadratic(float x0, float y0, float x1, float y1, float x2, float y2) {
  fCubic = false;
  fP[0] = {x0, y0}, fP[1] = {x1, y1}, fP[2] = {x2, y2};
  Split(0, fP[0], 1, fP[2], 0);
}

void TOutlineSmoother::Cubic(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
  fCubic = true;
  fP[0] = {x0, y0}, fP[1] = {x1, y1}, fP[2] = {x2, y2}, fP[3] = {x3, y3};
  Split(0, fP[0], 1, fP[3], 0);
}

}  // namespace zel::textout
