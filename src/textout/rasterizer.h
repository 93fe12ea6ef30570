// Scan conversion of an outline with 16 x 16 sub-pixel coverage: each pixel
// gathers up to 16 units in each of its 16 sub-rows, 256 when fully inside.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/obj.h"
#include "textout/outline.h"

namespace zel {

class TRasterizer : public TObj {
 public:
  // Receives a pixel row's coverage (indexed by column) and the lowest and
  // highest columns touched; the rasterizer clears them afterwards.
  using TRowSink = std::function<void(int row, const uint16_t* coverage, int lo, int hi)>;

  TRasterizer() { fActive.reserve(16); }

  // Fills the outline (closing it first) over a width x height area.
  void Rasterize(TOutline& outline, int width, int height, const TRowSink& sink);

 private:
  void Emit(int row, const TRowSink& sink);
  void AddSpan(int64_t start, int64_t end);

  std::vector<TOutlineEdge*> fActive;
  std::vector<uint16_t> fCoverage;
  int fLo = 0, fHi = -1;
};

}  // namespace zel
