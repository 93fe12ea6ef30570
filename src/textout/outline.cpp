#include "textout/outline.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "textout/rounding.h"

namespace zel {

int32_t TOutline::ToSubPixel(double v) {
  const double scaled = RoundHalfEven(v * 16);
  if (!(scaled == scaled)) return 0;
  return static_cast<int32_t>(std::clamp(scaled, -2147483647.0, 2147483647.0));
}

void TOutline::Reset() {
  fEdges.clear();
  fDrawn.clear();
  fFigureStarts.clear();
  fChains.clear();
  fLeft = fTop = INT32_MAX;
  fRight = fBottom = INT32_MIN;
  fHasStart = false;
  fClosed = false;
}

void TOutline::Extend(int32_t x, int32_t y) {
  fLeft = std::min(fLeft, x);
  fRight = std::max(fRight, x);
  fTop = std::min(fTop, y);
  fBottom = std::max(fBottom, y);
}

void TOutline::MoveTo(double x, double y) {
  ZEL_ASSERT(!fClosed, "TOutline.AddPoint Error: No Start Point or Closed Outline");
  if (fHasStart) AddEdge(fLastX, fLastY, fStartX, fStartY);
  fFigureStarts.push_back(fDrawn.size());
  fStartX = fLastX = ToSubPixel(x);
  fStartY = fLastY = ToSubPixel(y);
  Extend(fStartX, fStartY);
  fHasStart = true;
}

void TOutline::LineTo(double x, double y) {
  ZEL_ASSERT(fHasStart && !fClosed, "TOutline.AddPoint Error: No Start Point or Closed Outline");
  const int32_t nx = ToSubPixel(x), ny = ToSubPixel(y);
  AddEdge(fLastX, fLastY, nx, ny);
  Extend(nx, ny);
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
  fDrawn.push_back(edge);
}

// Edges drawn upwards run from the bottom, so a chain of them is reversed to
// read from the top like every other chain.
void TOutline::AddChain(size_t first, size_t count) {
  TOutlineChain chain;
  chain.First = static_cast<uint32_t>(fEdges.size());
  chain.Count = static_cast<uint32_t>(count);
  chain.Direction = fDrawn[first].Direction;
  if (chain.Direction > 0) {
    fEdges.insert(fEdges.end(), fDrawn.begin() + static_cast<std::ptrdiff_t>(first),
                  fDrawn.begin() + static_cast<std::ptrdiff_t>(first + count));
  } else {
    for (size_t k = first + count; k > first; --k) fEdges.push_back(fDrawn[k - 1]);
  }
  const TOutlineEdge& top = fEdges[chain.First];
  const TOutlineEdge& bottom = fEdges.back();
  chain.Top = top.Top;
  chain.Bottom = int64_t{bottom.Top} + bottom.Height;
  fChains.push_back(chain);
}

// Splits the edges [begin, end) of one figure into chains. The figure is a
// loop, so its first and last runs join when they go the same way; rotating
// it to start where the direction turns keeps every run in one piece.
void TOutline::FigureToChains(size_t begin, size_t end) {
  const size_t n = end - begin;
  size_t start = 0;
  while (start < n && fDrawn[begin + start].Direction == fDrawn[begin + (start + n - 1) % n].Direction) ++start;
  if (start == n) start = 0;
  const auto at = [&](size_t k) { return fDrawn.begin() + static_cast<std::ptrdiff_t>(k); };
  std::rotate(at(begin), at(begin + start), at(end));
  size_t run = begin;
  for (size_t k = begin + 1; k <= end; ++k) {
    if (k < end && fDrawn[k].Direction == fDrawn[run].Direction) continue;
    AddChain(run, k - run);
    run = k;
  }
}

void TOutline::Close() {
  if (fClosed) return;
  if (fHasStart) {
    AddEdge(fLastX, fLastY, fStartX, fStartY);
    fFigureStarts.push_back(fDrawn.size());
  }
  // Every figure start but the first marks the end of the previous figure.
  fEdges.clear();
  fChains.clear();
  for (size_t f = 0; f + 1 < fFigureStarts.size(); ++f) {
    const size_t begin = fFigureStarts[f], end = fFigureStarts[f + 1];
    if (end == begin) continue;
    FigureToChains(begin, end);
  }
  fClosed = true;
  // Few chains, nearly in order already: an insertion sort keeps it stable.
  for (size_t i = 1; i < fChains.size(); ++i)
    for (size_t k = i; k > 0 && fChains[k].Top < fChains[k - 1].Top; --k) std::swap(fChains[k], fChains[k - 1]);
}

}  // namespace zel
