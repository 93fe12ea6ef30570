// Scan conversion of an outline with 16 x 16 sub-pixel coverage: each pixel
// gathers up to 16 units in each of its 16 sub-rows, 256 when fully inside.
//
// A sample is a sub-row centre at a whole sub-column; it is inside when the
// edges crossing its sub-row at or left of it wind to a non-zero (even-odd:
// an odd) total, and a pixel's coverage counts its inside samples. The
// converter works a pixel row at a time on the outline's chains: it samples
// each chain's 16 crossings, and where the crossings keep their left-to-right
// order and the winding only steps between 0 and one sign, it adds each
// crossing's signed coverage straight into a row of cells (a running sum
// then gives every pixel). Rows where chains start, end or cross are sorted
// and walked sub-row by sub-row instead. Both give the same counts.
#pragma once

#include <cstdint>
#include <vector>

#include "core/obj.h"
#include "textout/outline.h"

namespace zel {

class TRasterizer : public TObj {
 public:
  // Receives a pixel row's coverage (indexed by column) with the lowest and
  // highest columns that may be non-zero.
  class TRowSink {
   public:
    virtual void CoverageRow(int row, const uint16_t* coverage, int lo, int hi) = 0;

   protected:
    ~TRowSink() = default;
  };

  // Fills the outline (closing it first) over a width x height area.
  void Rasterize(TOutline& outline, int width, int height, TRowSink& sink);

 private:
  struct TCrossing {
    int32_t X;
    int32_t Direction;
  };

  void Admit(const std::vector<TOutlineChain>& chains, size_t& next, int64_t rowTop);
  bool SampleChains(const std::vector<TOutlineEdge>& edges, const std::vector<TOutlineChain>& chains,
                    int64_t rowTop);
  struct TChainRow {
    int64_t Sum;  // of the 16 crossings
    int32_t Min, Max;
  };
  bool SampleChain(const std::vector<TOutlineEdge>& edges, const TOutlineChain& chain, uint32_t& cursor,
                   int64_t rowTop, int32_t* x) const;
  static TChainRow Summarize(const int32_t* x);
  void SortByFirstCrossing();
  bool AccumulateInOrder(const std::vector<TOutlineChain>& chains);
  void AccumulateBySubRow(const std::vector<TOutlineChain>& chains, bool evenOdd);
  void AddSpan(int32_t start, int32_t end);
  void EmitRow(int row, TRowSink& sink);

  int fWidth = 0;
  int32_t fRight = 0;
  // Per pixel column (two spare at the right): coverage differences of the
  // current row, all zero between rows.
  std::vector<int32_t> fCells;
  std::vector<uint16_t> fCoverage;
  int fLo = 0, fHi = -1, fCellHi = -1;
  // The chains crossing the current row, each one's current edge (by chain)
  // and its 16 crossings (-1 where it does not cross a sub-row; a block of
  // 32 per chain, see SampleEdge).
  std::vector<uint32_t> fActive;
  std::vector<uint32_t> fCursor;
  std::vector<int32_t> fX;
  std::vector<TCrossing> fCrossings;
};

}  // namespace zel
