#include "textout/outline.h"

#include <algorithm>
#include <cmath>

namespace zel {

int32_t TOutline::ToSubPixel(double v) {
  const double scaled = std::nearbyint(v * 16);
  if (!(scaled == scaled)) return 0;
  return static_cast<int32_t>(std::clamp(scaled, -2147483647.0, 2147483647.0));
}

void TOutline::Reset() {
  fEdges.clear();
  fHasStart = false;
  fClosed = false;
}

void TOutline::MoveTo(double x, double y) {
  ZEL_ASSERT(!fClosed, "TOutline.AddPoint Error: No Start Point or Closed Outline");
  if (fHasStart) AddEdge(fLastX, fLastY, fStartX, fStartY);
  fStartX = fLastX = ToSubPixel(x);
  fStartY = fLastY = ToSubPixel(y);
  fHasStart = true;
}

void TOutline::LineTo(double x, double y) {
  ZEL_ASSERT(fHasStart && !fClosed, "TOutline.AddPoint Error: No Start Point or Closed Outline");
  const int32_t nx = ToSubPixel(x), ny = ToSubPixel(y);
  AddEdge(fLastX, fLastY, nx, ny);
  fLastX = nx;
  fLastY = ny;
}

void TOutline::AddEdge(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (y0 == y1) return;
  TOutlineEdge edge;
  const bool down = y1 > y0;
  const int32_t ux = down ? x0 : x1, uy = down ? y0 : y1;
  const int32_t lx = down ? x1 : x0, ly = down ? y1 : y0;
  edge.X0 = ux;
  edge.Top = uy;
  edge.CurrentX = ux;
  edge.Height = static_cast<int32_t>(std::min<int64_t>(int64_t{ly} - uy, INT32_MAX));
  edge.Slope = static_cast<double>(int64_t{lx} - ux) / (static_cast<double>(ly) - uy);
  edge.Direction = down ? 1 : -1;
  fEdges.push_back(edge);
}

void TOutline::Close() {
  if (fHasStart && !fClosed) AddEdge(fLastX, fLastY, fStartX, fStartY);
  fClosed = true;
  std::stable_sort(fEdges.begin(), fEdges.end(),
                   [](const TOutlineEdge& a, const TOutlineEdge& b) { return a.Top < b.Top; });
}

}  // namespace zel
