// The edges of a path in 1/16 pixel units, ready for scan conversion.
#pragma once

#include <cstdint>
#include <vector>

#include "core/obj.h"

namespace zel {

struct TOutlineEdge {
  int32_t X0 = 0;       // x at the upper end
  int32_t Top = 0;      // y of the upper end
  int32_t CurrentX = 0;
  int32_t Height = 0;   // sub-rows spanned
  double Slope = 0;     // dx / dy
  int32_t Direction = 1;  // +1 drawn downwards, -1 upwards
};

class TOutline : public TObj {
 public:
  TOutline() { fEdges.reserve(16); }

  // Forgets every edge; the arrays keep their memory for the next path.
  void Reset();
  // Points in pixels; a move closes the previous figure.
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  // Closes the current figure and sorts the edges by their top.
  void Close();

  bool EvenOdd() const { return fEvenOdd; }
  void SetEvenOdd(bool evenOdd) { fEvenOdd = evenOdd; }
  bool IsClosed() const { return fClosed; }
  std::vector<TOutlineEdge>& Edges() { return fEdges; }

  // nint(v * 16), limited to the 32-bit range.
  static int32_t ToSubPixel(double v);

 private:
  void AddEdge(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

  std::vector<TOutlineEdge> fEdges;
  int32_t fStartX = 0, fStartY = 0;
  int32_t fLastX = 0, fLastY = 0;
  bool fHasStart = false;
  bool fClosed = false;
  bool fEvenOdd = false;
};

}  // namespace zel
