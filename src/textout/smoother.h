// Flattens quadratic and cubic Bezier segments into lines by halving the
// parameter interval until each piece's chord is under 2 pixels both ways.
#pragma once

#include "core/obj.h"

namespace zel::textout {

// Text outlines have their own flattener, named apart from the show's
// eased-profile smoother of key points.
class TOutlineSmoother : public TObj {
 public:
  // Receives the end point of every accepted piece. A plain function with a
  // context: it is called for every flattened point of every glyph.
  using TLineSink = void (*)(void* context, float x, float y);
  TOutlineSmoother(TLineSink sink, void* context) : fSink(sink), fContext(context) {}

  void Quadratic(float x0, float y0, float x1, float y1, float x2, float y2);
  void Cubic(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);

 private:
  struct TPt {
    double X, Y;
  };
  TPt At(double t) const;
  void Split(double t0, const TPt& p0, double t1, const TPt& p1, int depth);

  TLineSink fSink;
  void* fContext;
  TPt fP[4]{};
  bool fCubic = false;
};

}  // namespace zel::textout
