#include "textout/rasterizer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textout/rounding.h"

namespace zel {

namespace {

constexpr int kSubRows = 16;
// Keeps w * 16 sub-columns within 32 bits; no bitmap comes near it.
constexpr int kMaxWidth = (1 << 27) - 1;

// Each chain's crossings take 16 entries in a block of 32: an edge's
// sampler always writes 16 lanes from its first sub-row on, and the lanes
// beyond the row land in the spare half (or are overwritten by the next
// edge of the chain).
constexpr size_t kStride = 2 * kSubRows;

// The crossings of the sub-rows from an edge's dy = first (a half-integer)
// on, limited to 0 ... right. |dy * Slope| stays within the edge's width,
// far below 2^51, where adding and removing 1.5 * 2^52 rounds exactly as
// nearbyint does (see RoundHalfEvenSmall).
#if defined(__SSE2__)
inline void SampleEdge(const TOutlineEdge& e, double first, double right, int32_t* out) {
  const __m128d slope = _mm_set1_pd(e.Slope), shift = _mm_set1_pd(6755399441055744.0);
  const __m128d x0 = _mm_set1_pd(e.X0), zero = _mm_setzero_pd(), limit = _mm_set1_pd(right);
  const __m128d two = _mm_set1_pd(2);
  __m128d dy = _mm_set_pd(first + 1, first);
  for (int j = 0; j < kSubRows; j += 2, dy = _mm_add_pd(dy, two)) {
    __m128d at = _mm_add_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(dy, slope), shift), shift), x0);
    at = _mm_min_pd(_mm_max_pd(at, zero), limit);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_cvttpd_epi32(at));
  }
}
#else
inline void SampleEdge(const TOutlineEdge& e, double first, double right, int32_t* out) {
  for (int j = 0; j < kSubRows; ++j) {
    const double at = RoundHalfEvenSmall((first + j) * e.Slope) + e.X0;
    out[j] = static_cast<int32_t>(std::min(std::max(at, 0.0), right));
  }
}
#endif

}  // namespace

void TRasterizer::Rasterize(TOutline& outline, int width, int height, TRowSink& sink) {
  outline.Close();
  const std::vector<TOutlineChain>& chains = outline.Chains();
  const std::vector<TOutlineEdge>& edges = outline.Edges();
  if (chains.empty() || width <= 0 || height <= 0) return;
  fWidth = std::min(width, kMaxWidth);
  fRight = fWidth * 16;
  if (fCells.size() < static_cast<size_t>(fWidth) + 2) {
    fCells.assign(static_cast<size_t>(fWidth) + 2, 0);
    fCoverage.assign(static_cast<size_t>(fWidth), 0);
  }
  fCursor.resize(chains.size());
  fActive.clear();
  const int64_t bottom = int64_t{height} * kSubRows;
  size_t next = 0;
  int64_t row = std::max<int64_t>(chains[0].Top, 0) / kSubRows;
  while (row * kSubRows < bottom) {
    const int64_t rowTop = row * kSubRows;
    Admit(chains, next, rowTop);
    if (fActive.empty()) {
      if (next >= chains.size()) break;
      row = std::max(row + 1, chains[next].Top / kSubRows);
      continue;
    }
    fLo = fWidth;
    fHi = fCellHi = -1;
    if (!SampleChains(edges, chains, rowTop) || !AccumulateInOrder(chains))
      AccumulateBySubRow(chains, outline.EvenOdd());
    EmitRow(static_cast<int>(row), sink);
    ++row;
  }
}

// Drops the chains that end above the row and takes in those that start in it.
void TRasterizer::Admit(const std::vector<TOutlineChain>& chains, size_t& next, int64_t rowTop) {
  size_t kept = 0;
  for (uint32_t c : fActive)
    if (chains[c].Bottom > rowTop) fActive[kept++] = c;
  fActive.resize(kept);
  for (; next < chains.size() && chains[next].Top < rowTop + kSubRows; ++next) {
    if (chains[next].Bottom <= rowTop) continue;
    fCursor[next] = chains[next].First;
    fActive.push_back(static_cast<uint32_t>(next));
  }
}

// Fills fX with every active chain's crossings; true when each chain crosses
// all 16 sub-rows.
bool TRasterizer::SampleChains(const std::vector<TOutlineEdge>& edges, const std::vector<TOutlineChain>& chains,
                               int64_t rowTop) {
  fX.resize(fActive.size() * kStride);
  bool full = true;
  for (size_t k = 0; k < fActive.size(); ++k) {
    const uint32_t c = fActive[k];
    full &= SampleChain(edges, chains[c], fCursor[c], rowTop, &fX[k * kStride]);
  }
  return full;
}

// An edge crosses sub-row j at nint((j - Top + 0.5) * Slope) + X0, its
// centre; the result is limited to 0 ... w * 16, as nothing left of the
// bitmap is drawn and nothing right of it matters.
bool TRasterizer::SampleChain(const std::vector<TOutlineEdge>& edges, const TOutlineChain& chain, uint32_t& cursor,
                              int64_t rowTop, int32_t* x) const {
  const int64_t rowBottom = rowTop + kSubRows;
  const uint32_t end = chain.First + chain.Count;
  while (cursor + 1 < end && int64_t{edges[cursor].Top} + edges[cursor].Height <= rowTop) ++cursor;
  // Sub-rows before, between and after the chain's edges get -1.
  int64_t marked = rowTop;
  int filled = 0;
  const double right = fRight;
  for (uint32_t i = cursor; i < end && edges[i].Top < rowBottom; ++i) {
    const TOutlineEdge& e = edges[i];
    const int64_t from = std::max<int64_t>(e.Top, rowTop);
    const int64_t to = std::min<int64_t>(int64_t{e.Top} + e.Height, rowBottom);
    if (from >= to) continue;
    for (; marked < from; ++marked) x[marked - rowTop] = -1;
    marked = to;
    int32_t* out = x + (from - rowTop);
    if (e.Slope == 0) {
      // Upright edges, the commonest in text, need no arithmetic.
      const int32_t at = static_cast<int32_t>(std::clamp<int64_t>(e.X0, 0, fRight));
      for (int j = 0; j < kSubRows; ++j) out[j] = at;
    } else {
      SampleEdge(e, static_cast<double>(from - e.Top) + 0.5, right, out);
    }
    filled += static_cast<int>(to - from);
  }
  for (; marked < rowBottom; ++marked) x[marked - rowTop] = -1;
  return filled == kSubRows;
}

// Insertion sort of the active chains (and their crossings) by their first
// crossing: from one row to the next the order rarely changes.
void TRasterizer::SortByFirstCrossing() {
  for (size_t i = 1; i < fActive.size(); ++i) {
    for (size_t k = i; k > 0 && fX[k * kStride] < fX[(k - 1) * kStride]; --k) {
      std::swap(fActive[k], fActive[k - 1]);
      int32_t block[kSubRows];
      std::memcpy(block, &fX[k * kStride], sizeof block);
      std::memcpy(&fX[k * kStride], &fX[(k - 1) * kStride], sizeof block);
      std::memcpy(&fX[(k - 1) * kStride], block, sizeof block);
    }
  }
}

TRasterizer::TChainRow TRasterizer::Summarize(const int32_t* x) {
  int64_t sum = 0;
  int32_t lo = x[0], hi = x[0];
  for (int j = 0; j < kSubRows; ++j) {
    sum += x[j];
    lo = std::min(lo, x[j]);
    hi = std::max(hi, x[j]);
  }
  return {sum, lo, hi};
}

// When, in every sub-row, the chains' crossings keep the chains' order and
// the winding after each chain is 0 or the first chain's direction, every
// sample winds 0 or that one sign: adding each crossing's coverage of the
// samples right of it, signed, counts exactly the inside samples, under
// either rule. False (with nothing added) otherwise.
bool TRasterizer::AccumulateInOrder(const std::vector<TOutlineChain>& chains) {
  SortByFirstCrossing();
  const size_t count = fActive.size();
  const int32_t sign = chains[fActive[0]].Direction;
  int32_t winding = 0;
  for (uint32_t c : fActive) {
    winding += chains[c].Direction;
    if (winding != 0 && winding != sign) return false;
  }
  if (winding != 0) return false;
  bool ordered = true;
  for (size_t k = 1; k < count; ++k) {
    const int32_t* left = &fX[(k - 1) * kStride];
    const int32_t* x = &fX[k * kStride];
    for (int j = 0; j < kSubRows; ++j) ordered &= x[j] >= left[j];
  }
  if (!ordered) return false;

  int32_t* cells = fCells.data();
  int32_t lo = fRight, hi = 0;
  for (size_t k = 0; k < count; ++k) {
    const int32_t s = sign * chains[fActive[k]].Direction;
    const int32_t* x = &fX[k * kStride];
    const TChainRow r = Summarize(x);
    lo = std::min(lo, r.Min);
    hi = std::max(hi, r.Max);
    if ((r.Min >> 4) == (r.Max >> 4)) {
      // All 16 crossings in one pixel: their sub-column parts add up.
      const int32_t p = r.Min >> 4;
      const int32_t f = static_cast<int32_t>(r.Sum - int64_t{p} * 16 * kSubRows);
      cells[p] += s * (16 * kSubRows - f);
      cells[p + 1] += s * f;
      continue;
    }
    for (int j = 0; j < kSubRows; ++j) {
      const int32_t p = x[j] >> 4, f = x[j] & 15;
      cells[p] += s * (16 - f);
      cells[p + 1] += s * f;
    }
  }
  fLo = lo >> 4;
  fCellHi = (hi >> 4) + 1;
  fHi = fCellHi - 1;
  return true;
}

// The general walk: per sub-row, the crossings sorted left to right; the
// span from one crossing to the next is inside when the winding so far is
// non-zero (even-odd: odd).
void TRasterizer::AccumulateBySubRow(const std::vector<TOutlineChain>& chains, bool evenOdd) {
  const int32_t mask = evenOdd ? 1 : -1;
  for (int j = 0; j < kSubRows; ++j) {
    fCrossings.clear();
    for (size_t k = 0; k < fActive.size(); ++k) {
      const int32_t x = fX[k * kStride + static_cast<size_t>(j)];
      if (x >= 0) fCrossings.push_back({x, chains[fActive[k]].Direction});
    }
    for (size_t i = 1; i < fCrossings.size(); ++i)
      for (size_t k = i; k > 0 && fCrossings[k].X < fCrossings[k - 1].X; --k) std::swap(fCrossings[k], fCrossings[k - 1]);
    int32_t winding = 0, spanDirection = 1, previous = 0;
    for (const TCrossing& crossing : fCrossings) {
      if (winding == 0) spanDirection = crossing.Direction;
      if (previous < crossing.X && ((winding * spanDirection) & mask) > 0) AddSpan(previous, crossing.X);
      previous = crossing.X;
      winding += crossing.Direction;
      if (crossing.X >= fRight) break;
    }
  }
}

// Sub-columns [start, end): each pixel gains the samples of the span in it.
void TRasterizer::AddSpan(int32_t start, int32_t end) {
  int32_t* cells = fCells.data();
  cells[start >> 4] += 16 - (start & 15);
  cells[(start >> 4) + 1] += start & 15;
  cells[end >> 4] -= 16 - (end & 15);
  cells[(end >> 4) + 1] -= end & 15;
  fLo = std::min(fLo, start >> 4);
  fHi = std::max(fHi, (end - 1) >> 4);
  fCellHi = std::max(fCellHi, (end >> 4) + 1);
}

// Turns the row's cells into coverage, hands it over and clears the cells.
void TRasterizer::EmitRow(int row, TRowSink& sink) {
  if (fCellHi < fLo) return;
  const int hi = std::min(fHi, fWidth - 1);
  int32_t sum = 0;
  for (int p = fLo; p <= hi; ++p) {
    sum += fCells[static_cast<size_t>(p)];
    fCoverage[static_cast<size_t>(p)] = static_cast<uint16_t>(sum);
  }
  std::fill(fCells.begin() + fLo, fCells.begin() + fCellHi + 1, 0);
  if (hi >= fLo) sink.CoverageRow(row, fCoverage.data(), fLo, hi);
}

}  // namespace zel
