#include "textout/rasterizer.h"

#include <algorithm>
#include <cmath>

namespace zel {

void TRasterizer::Emit(int row, const TRowSink& sink) {
  if (fHi < fLo) return;
  sink(row, fCoverage.data(), fLo, fHi);
  std::fill(fCoverage.begin() + fLo, fCoverage.begin() + fHi + 1, uint16_t{0});
  fLo = static_cast<int>(fCoverage.size());
  fHi = -1;
}

// [start, end] in sub-pixel columns, both within the row.
void TRasterizer::AddSpan(int64_t start, int64_t end) {
  const int first = static_cast<int>(start >> 4), last = static_cast<int>(end >> 4);
  if (first == last) {
    fCoverage[static_cast<size_t>(first)] += static_cast<uint16_t>(end - start + 1);
  } else {
    fCoverage[static_cast<size_t>(first)] += static_cast<uint16_t>(16 - (start & 15));
    for (int x = first + 1; x < last; ++x) fCoverage[static_cast<size_t>(x)] += 16;
    fCoverage[static_cast<size_t>(last)] += static_cast<uint16_t>((end & 15) + 1);
  }
  fLo = std::min(fLo, first);
  fHi = std::max(fHi, last);
}

void TRasterizer::Rasterize(TOutline& outline, int width, int height, const TRowSink& sink) {
  outline.Close();
  std::vector<TOutlineEdge>& edges = outline.Edges();
  if (edges.empty() || width <= 0 || height <= 0) return;
  const int32_t mask = outline.EvenOdd() ? 1 : -1;
  fCoverage.assign(static_cast<size_t>(width), 0);
  fLo = width;
  fHi = -1;
  fActive.clear();
  const int64_t right = int64_t{width} * 16;
  const int64_t bottom = int64_t{height} * 16;

  size_t next = 0;
  int64_t j = std::max<int64_t>(edges[0].Top, 0);
  for (; j < bottom; ++j) {
    if (fActive.empty()) {
      if (next >= edges.size()) break;
      const int64_t top = std::max<int64_t>(edges[next].Top, j);
      if ((top >> 4) != (j >> 4)) Emit(static_cast<int>(j >> 4), sink);
      j = top;
      if (j >= bottom) break;
    }
    int joined = 0;
    while (next < edges.size() && edges[next].Top <= j) {
      fActive.push_back(&edges[next++]);
      ++joined;
    }
    // Sample every edge at the centre of the sub-row; finished edges leave.
    size_t kept = 0;
    for (TOutlineEdge* e : fActive) {
      const int64_t dy = j - e->Top;
      if (dy >= e->Height) continue;
      const double x = std::nearbyint((static_cast<double>(dy) + 0.5) * e->Slope) + e->X0;
      e->CurrentX = static_cast<int32_t>(std::clamp(x, -2147483647.0, 2147483647.0));
      fActive[kept++] = e;
    }
    fActive.resize(kept);
    if (fActive.empty() && next >= edges.size()) break;

    const auto byX = [](const TOutlineEdge* a, const TOutlineEdge* b) { return a->CurrentX < b->CurrentX; };
    if (joined <= 10) {
      // The list stays almost sorted from one sub-row to the next.
      for (size_t i = 1; i < fActive.size(); ++i)
        for (size_t k = i; k > 0 && byX(fActive[k], fActive[k - 1]); --k) std::swap(fActive[k], fActive[k - 1]);
    } else {
      std::stable_sort(fActive.begin(), fActive.end(), byX);
    }

    int32_t winding = 0, spanDirection = 1;
    int64_t previous = 0;
    for (const TOutlineEdge* e : fActive) {
      // Clamped on both sides: an edge left of the bitmap must not start a
      // span at a negative column.
      const int64_t x = std::clamp<int64_t>(e->CurrentX, 0, right);
      if (winding == 0) spanDirection = e->Direction;
      if (previous < x && ((winding * spanDirection) & mask) > 0) AddSpan(previous, x - 1);
      previous = x;
      winding += e->Direction;
      if (e->CurrentX >= right) break;
    }
    if (((j + 1) & 15) == 0) Emit(static_cast<int>(j >> 4), sink);
  }
  // A partly gathered row.
  if (j >= bottom) j = bottom - 1;
  Emit(static_cast<int>(j >> 4), sink);
}

}  // namespace zel
