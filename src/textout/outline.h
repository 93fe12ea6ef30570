// The edges of a path in 1/16 pixel units, ready for scan conversion.
//
// Closing the outline groups the edges into chains: runs of consecutive
// edges of one figure that all go the same way (down or up). A chain crosses
// every sub-row between its top and bottom exactly once, so the scan
// converter follows a handful of chains instead of many short edges.
#pragma once

#include <climits>
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

// Edges [First, First + Count) of the closed outline, ordered from the top.
struct TOutlineChain {
  uint32_t First = 0;
  uint32_t Count = 0;
  int64_t Top = 0;
  int64_t Bottom = 0;  // below the last sub-row crossed
  int32_t Direction = 1;
};

class TOutline : public TObj {
 public:
  TOutline() {
    fEdges.reserve(16);
    fDrawn.reserve(16);
  }

  // Forgets every edge; the arrays keep their memory for the next path.
  void Reset();
  // Points in pixels; a move closes the previous figure.
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  // Closes the current figure and builds the chains, sorted by their top.
  void Close();

  bool EvenOdd() const { return fEvenOdd; }
  void SetEvenOdd(bool evenOdd) { fEvenOdd = evenOdd; }
  bool IsClosed() const { return fClosed; }
  // After Close: the edges chain by chain.
  std::vector<TOutlineEdge>& Edges() { return fEdges; }
  const std::vector<TOutlineChain>& Chains() const { return fChains; }

  // The bounding box of the points so far, in 1/16 pixels (empty: Left > Right).
  int32_t Left() const { return fLeft; }
  int32_t Top() const { return fTop; }
  int32_t Right() const { return fRight; }
  int32_t Bottom() const { return fBottom; }

  // nint(v * 16), limited to the 32-bit range.
  static int32_t ToSubPixel(double v);

 private:
  void AddEdge(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  void FigureToChains(size_t begin, size_t end);
  void AddChain(size_t first, size_t count);
  void Extend(int32_t x, int32_t y);

  std::vector<TOutlineEdge> fEdges;
  // Edges in drawing order until Close, with the start of every figure.
  std::vector<TOutlineEdge> fDrawn;
  std::vector<size_t> fFigureStarts;
  std::vector<TOutlineChain> fChains;
  int32_t fStartX = 0, fStartY = 0;
  int32_t fLastX = 0, fLastY = 0;
  int32_t fLeft = INT32_MAX, fTop = INT32_MAX, fRight = INT32_MIN, fBottom = INT32_MIN;
  bool fHasStart = false;
  bool fClosed = false;
  bool fEvenOdd = false;
};

}  // namespace zel
