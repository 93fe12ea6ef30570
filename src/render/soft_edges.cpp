#include "render/soft_edges.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

struct TVec2 {
  double x = 0, y = 0;
  TVec2 operator+(TVec2 o) const { return {x + o.x, y + o.y}; }
  TVec2 operator-(TVec2 o) const { return {x - o.x, y - o.y}; }
  TVec2 operator*(double k) const { return {x * k, y * k}; }
};

double Dot2(TVec2 a, TVec2 b) { return a.x * b.x + a.y * b.y; }
double Cross2(TVec2 a, TVec2 b) { return a.x * b.y - a.y * b.x; }
TVec2 Unit(TVec2 v) {
  const double length = std::sqrt(Dot2(v, v));
  return length > 0 ? v * (1.0 / length) : TVec2{};
}

// Where each corner sits in the grid, and the edges (indexes into Edges:
// left, top, right, bottom) that meet there: the one along the grid's rows
// (top or bottom) and the one along its columns (left or right).
constexpr int kCornerRow[4] = {1, 1, 2, 2};
constexpr int kCornerColumn[4] = {1, 2, 2, 1};
constexpr int kRowEdge[4] = {1, 1, 3, 3};
constexpr int kColumnEdge[4] = {0, 2, 2, 0};
// The edge from corner i to corner i + 1: top, right, bottom, left.
constexpr int kEdgeFrom[4] = {1, 2, 3, 0};

// Squared length below which an edge counts as degenerate, and the cosine
// beyond which a corner counts as straight (or, negated, as a spike whose
// mitre would reach far out), both in device pixels.
constexpr double kDegenerateLength2 = 0.01;
constexpr double kStraightCosine = 0.9;

// The corners where they are seen, in device pixels, so that "one pixel"
// is one pixel whatever the canvas scale; false when one is behind the eye.
bool SeenCorners(const TScreenPerspective& perspective, const TSoftEdgeQuad& quad, TVec2 (&seen)[4]) {
  for (int i = 0; i < 4; ++i) {
    const T3DVector& c = quad.Corners[i];
    float x = 0, y = 0;
    if (!perspective.Project(static_cast<float>(c.x), static_cast<float>(c.y), static_cast<float>(c.z), x, y)) {
      return false;
    }
    seen[i] = {x / perspective.PixelX, y / perspective.PixelY};
  }
  return true;
}

// A ring is built only when every corner has two real edges meeting at a
// real angle; otherwise its normals and mitres mean nothing.
bool CornersAreSound(const TVec2 (&p)[4]) {
  for (int i = 0; i < 4; ++i) {
    const TVec2 in = p[i] - p[(i + 3) % 4];
    const TVec2 out = p[(i + 1) % 4] - p[i];
    if (Dot2(in, in) <= kDegenerateLength2 || Dot2(out, out) <= kDegenerateLength2) return false;
    if (std::abs(Dot2(Unit(in), Unit(out))) > kStraightCosine) return false;
  }
  return true;
}

// The outward unit normals, by Edges index; a mirrored quad (its corners
// turning the other way on the screen) has them turned round.
void OutwardNormals(const TVec2 (&p)[4], TVec2 (&normal)[4]) {
  double area = 0;
  for (int i = 0; i < 4; ++i) area += Cross2(p[i], p[(i + 1) % 4]);
  const double side = area >= 0 ? 1 : -1;
  for (int i = 0; i < 4; ++i) {
    const TVec2 d = Unit(p[(i + 1) % 4] - p[i]);
    normal[kEdgeFrom[i]] = TVec2{d.y, -d.x} * side;
  }
}

// The texture coordinate of a point offset from corner i: the offset is
// split along the corner's two edges, and the coordinates follow the same
// split, so the ring continues the quad's own mapping.
TFloatPoint Extrapolated(const TVec2 (&p)[4], const TFloatPoint (&tex)[4], int i, TVec2 offset) {
  if (offset.x == 0 && offset.y == 0) return tex[i];
  const int next = (i + 1) % 4, previous = (i + 3) % 4;
  const TVec2 e1 = p[next] - p[i], e2 = p[previous] - p[i];
  const double det = Cross2(e1, e2);
  if (det == 0) return tex[i];
  const double a = Cross2(offset, e2) / det;
  const double b = Cross2(e1, offset) / det;
  return {static_cast<float>(tex[i].x + a * (tex[next].x - tex[i].x) + b * (tex[previous].x - tex[i].x)),
          static_cast<float>(tex[i].y + a * (tex[next].y - tex[i].y) + b * (tex[previous].y - tex[i].y))};
}

TFloatPoint Clamped(TFloatPoint t, const TFloatRect& r) {
  return {std::clamp(t.x, std::min(r.left, r.right), std::max(r.left, r.right)),
          std::clamp(t.y, std::min(r.top, r.bottom), std::max(r.top, r.bottom))};
}

// The offsets, in device pixels, of a corner's three outer vertices: beside
// the row edge, beside the column edge, and diagonal. The diagonal one is
// the mitre, one pixel from both edges, when both fade.
struct TCornerOffsets {
  TVec2 Row, Column, Diagonal;
};

TCornerOffsets OffsetsAt(int corner, const TVec2 (&normal)[4], const bool (&edges)[4]) {
  const bool row = edges[kRowEdge[corner]], column = edges[kColumnEdge[corner]];
  TCornerOffsets o;
  if (row) o.Row = normal[kRowEdge[corner]];
  if (column) o.Column = normal[kColumnEdge[corner]];
  o.Diagonal = o.Row + o.Column;
  // Normals of a sound corner are never opposite, so this stays finite.
  if (row && column) o.Diagonal = o.Diagonal * (1.0 / (1.0 + Dot2(o.Row, o.Column)));
  return o;
}

}  // namespace

TSoftEdgeGrid BuildSoftEdgeGrid(const TScreenPerspective& perspective, const TSoftEdgeQuad& quad) {
  TSoftEdgeGrid grid;
  TVec2 seen[4];
  grid.Ring = SeenCorners(perspective, quad, seen) && CornersAreSound(seen);
  TVec2 normal[4];
  if (grid.Ring) OutwardNormals(seen, normal);
  const bool none[4] = {false, false, false, false};
  const int sets = std::clamp(quad.TexSets, 0, 2);

  // One vertex of corner i, moved out by offset (device pixels) when it is
  // an outer one; a moved vertex goes back to the corner's depth.
  auto place = [&](int index, int i, TVec2 offset, bool outer) {
    const T3DVector& c = quad.Corners[i];
    const bool moved = offset.x != 0 || offset.y != 0;
    float x = static_cast<float>(c.x), y = static_cast<float>(c.y);
    if (moved) {
      perspective.Unproject(static_cast<float>((seen[i].x + offset.x) * perspective.PixelX),
                            static_cast<float>((seen[i].y + offset.y) * perspective.PixelY), static_cast<float>(c.z),
                            x, y);
    }
    grid.Points[index] = {x, y, static_cast<float>(c.z)};
    grid.Colors[index] = moved ? NoAlpha(quad.Colors[i]) : quad.Colors[i];
    for (int s = 0; s < sets; ++s) {
      const TFloatPoint t = Extrapolated(seen, quad.Tex[s], i, offset);
      grid.Tex[s][index] = outer ? Clamped(t, quad.TexClamp[s]) : t;
    }
  };

  for (int i = 0; i < 4; ++i) {
    const TCornerOffsets o = OffsetsAt(i, normal, grid.Ring ? quad.Edges : none);
    const int row = kCornerRow[i], column = kCornerColumn[i];
    const int outerRow = row == 1 ? 0 : 3, outerColumn = column == 1 ? 0 : 3;
    place(SoftGridIndex(row, column), i, {}, false);
    place(SoftGridIndex(outerRow, column), i, o.Row, true);
    place(SoftGridIndex(row, outerColumn), i, o.Column, true);
    place(SoftGridIndex(outerRow, outerColumn), i, o.Diagonal, true);
  }
  return grid;
}

void DrawSoftEdgeQuad(TVertexBuffer& batcher, const TScreenPerspective& perspective, const TSoftEdgeQuad& quad) {
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(perspective, quad);
  const size_t sets = static_cast<size_t>(std::clamp(quad.TexSets, 0, 2));
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      const int a = SoftGridIndex(row, column), b = SoftGridIndex(row, column + 1);
      const int c = SoftGridIndex(row + 1, column + 1), d = SoftGridIndex(row + 1, column);
      const int triangles[2][3] = {{a, b, c}, {a, c, d}};
      for (const auto& t : triangles) {
        const TScreenPoint points[3] = {grid.Points[t[0]], grid.Points[t[1]], grid.Points[t[2]]};
        const TColor colors[3] = {grid.Colors[t[0]], grid.Colors[t[1]], grid.Colors[t[2]]};
        TTriangleCoords coords[2];
        for (size_t s = 0; s < sets; ++s) {
          for (int k = 0; k < 3; ++k) coords[s].P[k] = grid.Tex[s][t[k]];
        }
        batcher.AddTriangle(points, colors, std::span<const TTriangleCoords>(coords, sets));
      }
    }
  }
}

}  // namespace zel
