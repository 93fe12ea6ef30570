// Flattens quadratic and cubic Bezier segments into lines by halving the
// parameter interval until each piece's chord is under 2 pixels both ways.
#pragma once

#include <functional>

#include "core/obj.h"

namespace zel::textout {

// Text outlines have their own flattener, named apart from the show's
// eased-profile smoother of key points.
class TOutlineSmoother : public TObj {
 public:
  // Receives the end point of every accepted piece.
  using TLineSink = std::function<void(float x, float y)>;
  explicit TOutlineSmoother(TLineSink sink) : fSink(std::move(sink)) {}

  void Quadratic(float x0, float y0, float x1, float y1, float x2, float y2);
  void Cubic(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);

 private:
  struct TPt {
    double X, Y;
  };
  TPt At(double t) const;
  void Split(double t0, const TPt& p0, double t1, const TPt& p1, int depth);

  TOutlineSmoother::TLineSink fSink;
  TPt fP[4]{};
  bool fCubic = false;
};

}  // namespace zel::textout
