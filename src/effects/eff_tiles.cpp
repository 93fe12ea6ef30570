#include "effects/eff_tiles.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

int RoundEdge(float edge) { return static_cast<int>(std::nearbyint(edge)); }

int EdgeCount(std::size_t edges) { return edges >= 2 ? static_cast<int>(edges) - 1 : 0; }

float Coordinate(const TEffVertex& v, bool alongX) { return alongX ? v.x : v.y; }

// The point where the edge p-q meets the line at the bound, put exactly on
// it; the other coordinate and the alpha follow the edge.
TEffVertex Crossing(const TEffVertex& p, const TEffVertex& q, bool alongX, float bound) {
  const float from = Coordinate(p, alongX), to = Coordinate(q, alongX);
  const float t = (bound - from) / (to - from);
  TEffVertex v;
  v.alpha = p.alpha + (q.alpha - p.alpha) * t;
  if (alongX) {
    v.x = bound;
    v.y = p.y + (q.y - p.y) * t;
  } else {
    v.x = p.x + (q.x - p.x) * t;
    v.y = bound;
  }
  return v;
}

// Keeps the part of a convex polygon on one side of the line at the bound:
// above it with keepAbove, else below it. A vertex on the line is kept as
// it is, so no piece gets a vertex twice.
void ClipHalf(std::span<const TEffVertex> in, bool alongX, float bound, bool keepAbove, std::vector<TEffVertex>& out) {
  out.clear();
  const auto side = [&](const TEffVertex& v) {
    const float d = keepAbove ? Coordinate(v, alongX) - bound : bound - Coordinate(v, alongX);
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
  };
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n; ++i) {
    const TEffVertex& p = in[i];
    const TEffVertex& q = in[(i + 1) % n];
    const int sp = side(p), sq = side(q);
    if (sp >= 0) out.push_back(p);
    if (sp * sq < 0) out.push_back(Crossing(p, q, alongX, bound));
  }
}

// The index of the first cell, between cuts[i] and cuts[i + 1], that may
// hold part of something starting at low.
int FirstCellFrom(const std::vector<float>& cuts, float low) {
  const auto above = std::upper_bound(cuts.begin(), cuts.end(), low);
  return std::max(0, static_cast<int>(above - cuts.begin()) - 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// TEffController

TEffController::TEffController() = default;
TEffController::~TEffController() = default;

void TEffController::SetGrid(std::span<const float> columnEdges, std::span<const float> rowEdges) {
  ZEL_ASSERT(std::is_sorted(columnEdges.begin(), columnEdges.end()) && std::is_sorted(rowEdges.begin(), rowEdges.end()),
             "Grid edges must ascend");
  FreeTiles();
  fColumnEdges.assign(columnEdges.begin(), columnEdges.end());
  fRowEdges.assign(rowEdges.begin(), rowEdges.end());
  fColumns = EdgeCount(fColumnEdges.size());
  fRows = EdgeCount(fRowEdges.size());
  if (IsGridEmpty()) fColumns = fRows = 0;
  fTiles.resize(static_cast<std::size_t>(fColumns) * static_cast<std::size_t>(fRows));
}

void TEffController::FreeTiles() {
  // The multi-tile hands pieces to the tiles, so it goes first.
  fMultiTile.reset();
  fTiles.clear();
}

TRect TEffController::CellRect(int column, int row) const {
  ZEL_ASSERT(column >= 0 && column < fColumns && row >= 0 && row < fRows, "Tile index out of the grid");
  return {RoundEdge(fColumnEdges[column]), RoundEdge(fRowEdges[row]), RoundEdge(fColumnEdges[column + 1]),
          RoundEdge(fRowEdges[row + 1])};
}

TRect TEffController::GetBounds() const {
  if (IsGridEmpty()) return {};
  return {RoundEdge(fColumnEdges.front()), RoundEdge(fRowEdges.front()), RoundEdge(fColumnEdges[fColumns]),
          RoundEdge(fRowEdges[fRows])};
}

TEffTile& TEffController::Tile(int column, int row) {
  const TRect rect = CellRect(column, row);
  std::unique_ptr<TEffTile>& slot = fTiles[static_cast<std::size_t>(row) * fColumns + column];
  if (!slot) {
    slot = CreateTile(rect, column, row);
    ZEL_ASSERT(slot != nullptr, "CreateTile made no tile");
  }
  return *slot;
}

TMultiTile& TEffController::MultiTile() {
  if (!fMultiTile) fMultiTile = std::make_unique<TMultiTile>(*this);
  return *fMultiTile;
}

// ---------------------------------------------------------------------------
// TEffPolygonList

void TEffPolygonList::Clear() noexcept {
  fVertices.clear();
  fStarts.clear();
}

void TEffPolygonList::Add(std::span<const TEffVertex> polygon) {
  if (fStarts.empty()) {
    // Most cells hold a few small pieces.
    fVertices.reserve(32);
    fStarts.reserve(8);
  }
  fStarts.push_back(static_cast<uint32_t>(fVertices.size()));
  fVertices.insert(fVertices.end(), polygon.begin(), polygon.end());
}

std::span<const TEffVertex> TEffPolygonList::Polygon(std::size_t index) const {
  ZEL_ASSERT(index < fStarts.size(), "Polygon index out of range");
  const std::size_t begin = fStarts[index];
  const std::size_t end = index + 1 < fStarts.size() ? fStarts[index + 1] : fVertices.size();
  return std::span<const TEffVertex>(fVertices).subspan(begin, end - begin);
}

// ---------------------------------------------------------------------------
// T2DSeparator

T2DSeparator::T2DSeparator(std::span<const float> xCuts, std::span<const float> yCuts)
    : fXCuts(xCuts.begin(), xCuts.end()), fYCuts(yCuts.begin(), yCuts.end()) {
  ZEL_ASSERT(!fXCuts.empty() && !fYCuts.empty(), "Separator without cuts");
  std::sort(fXCuts.begin(), fXCuts.end());
  std::sort(fYCuts.begin(), fYCuts.end());
  fCells.resize(static_cast<std::size_t>(Columns()) * static_cast<std::size_t>(Rows()));
}

void T2DSeparator::Clear() noexcept {
  for (TEffPolygonList& cell : fCells) cell.Clear();
}

const TEffPolygonList& T2DSeparator::Cell(int column, int row) const {
  ZEL_ASSERT(column >= 0 && column < Columns() && row >= 0 && row < Rows(), "Cell index out of the separator");
  return fCells[static_cast<std::size_t>(row) * Columns() + column];
}

void T2DSeparator::ClipToSlab(std::span<const TEffVertex> polygon, TAxis axis, float lo, float hi,
                              std::vector<TEffVertex>& out) {
  const bool alongX = axis == TAxis::X;
  ClipHalf(polygon, alongX, lo, true, fHalfClipped);
  if (fHalfClipped.size() < 3) {
    out.clear();
    return;
  }
  ClipHalf(fHalfClipped, alongX, hi, false, out);
}

void T2DSeparator::AddPolygon(std::span<const TEffVertex> polygon) {
  if (polygon.size() < 3) return;
  const auto [minX, maxX] = std::minmax_element(polygon.begin(), polygon.end(),
                                                [](const TEffVertex& a, const TEffVertex& b) { return a.x < b.x; });
  // Only columns that overlap the polygon's inside: one that merely
  // touches it along a cut would get a piece without area.
  for (int column = FirstCellFrom(fXCuts, minX->x); column < Columns() && fXCuts[column] < maxX->x; ++column) {
    if (fXCuts[column + 1] <= minX->x) continue;
    ClipToSlab(polygon, TAxis::X, fXCuts[column], fXCuts[column + 1], fColumnPiece);
    if (fColumnPiece.size() >= 3) AddColumnPiece(fColumnPiece, column);
  }
}

void T2DSeparator::AddColumnPiece(std::span<const TEffVertex> piece, int column) {
  const auto [minY, maxY] = std::minmax_element(piece.begin(), piece.end(),
                                                [](const TEffVertex& a, const TEffVertex& b) { return a.y < b.y; });
  for (int row = FirstCellFrom(fYCuts, minY->y); row < Rows() && fYCuts[row] < maxY->y; ++row) {
    if (fYCuts[row + 1] <= minY->y) continue;
    ClipToSlab(piece, TAxis::Y, fYCuts[row], fYCuts[row + 1], fCellPiece);
    if (fCellPiece.size() >= 3) fCells[static_cast<std::size_t>(row) * Columns() + column].Add(fCellPiece);
  }
}

// ---------------------------------------------------------------------------
// TMultiTile

namespace {

TRect GridRect(const TEffController& controller) {
  if (controller.IsGridEmpty()) return {};
  const auto xs = controller.ColumnEdges();
  const auto ys = controller.RowEdges();
  return {RoundEdge(xs.front()), RoundEdge(ys.front()), RoundEdge(xs.back()), RoundEdge(ys.back())};
}

}  // namespace

// The multi-tile is no cell of its own: its index is (-1, -1).
TMultiTile::TMultiTile(TEffController& controller)
    : TEffTile(controller, GridRect(controller), -1, -1),
      fSeparator(controller.ColumnEdges(), controller.RowEdges()) {}

void TMultiTile::BeginTriangles(bool /*textured*/, bool /*fullModulation*/) { fSeparator.Clear(); }

void TMultiTile::AddTriangle(const TEffTriangle& vertices) { fSeparator.AddPolygon(vertices); }

void TMultiTile::AddColouredTriangle(const std::array<TEffPoint, 3>&, const TEffColours&) {
  ZEL_ASSERT(false, "Not Supported Yet");
}

void TMultiTile::AddMappedTriangle(const std::array<TEffSourcePoint, 3>&, const std::array<TEffPoint, 3>&) {
  ZEL_ASSERT(false, "Not Supported Yet");
}

void TMultiTile::AddColouredTriangle3D(const std::array<TEffPoint3D, 3>&, const TEffColours&) {
  ZEL_ASSERT(false, "Not Supported Yet");
}

void TMultiTile::AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>&, const std::array<TEffPoint3D, 3>&) {
  ZEL_ASSERT(false, "Not Supported Yet");
}

void TMultiTile::EndTriangles() {
  TEffController& controller = Controller();
  // The separator's cells are the controller's: both come from its edges.
  for (int row = 0; row < fSeparator.Rows(); ++row) {
    for (int column = 0; column < fSeparator.Columns(); ++column) {
      const TEffPolygonList& pieces = fSeparator.Cell(column, row);
      if (pieces.IsEmpty()) continue;
      TEffTile& tile = controller.Tile(column, row);
      tile.BeginTriangles(true, false);
      for (std::size_t i = 0; i < pieces.Count(); ++i) {
        const auto piece = pieces.Polygon(i);
        for (std::size_t k = 1; k + 1 < piece.size(); ++k) tile.AddTriangle({piece[0], piece[k], piece[k + 1]});
      }
      tile.EndTriangles();
    }
  }
  fSeparator.Clear();
}

}  // namespace zel
