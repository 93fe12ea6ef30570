// Soft edges: a quad drawn as a 4 x 4 grid of vertices. The inner four are
// the quad's corners; the outer twelve lie one device pixel outside the
// projected edges and carry the corner colours with alpha 0, so each edge
// fades to transparent over one pixel instead of stepping.
//
// Only flagged edges get the fading ring. On an unflagged edge the outer
// vertices stay on the corners (with the corner's own colour), so that the
// ring's cells there have no area: two tiles that meet along such an edge
// join with no gap and no darker line.
#pragma once

#include "draw/device_drawer.h"
#include "draw/geometry.h"
#include "imaging/color.h"
#include "render/projection.h"
#include "render/vertex_buffer.h"

namespace zel {

struct TSoftEdgeQuad {
  T3DVector Corners[4];    // pixel space: top-left, top-right, bottom-right, bottom-left
  int TexSets = 0;         // 0..2 coordinate sets
  TFloatPoint Tex[2][4];   // per set, the corners' texture coordinates in content pixels
  TFloatRect TexClamp[2];  // per set, coordinates of the outer ring are clamped into this
  TColor Colors[4];        // per corner (ARGB); the outer ring gets the same colour with alpha 0
  bool Edges[4] = {true, true, true, true};  // left, top, right, bottom: which edges get the fading ring
};

// The sixteen grid vertices, row by row from the top-left outer one; the
// quad's corners are at (row 1, column 1), (1, 2), (2, 2) and (2, 1).
struct TSoftEdgeGrid {
  TScreenPoint Points[16];
  TFloatPoint Tex[2][16];
  TColor Colors[16];
  // False when a projected corner was degenerate, nearly straight or very
  // sharp, or lay behind the eye: every outer vertex is then on its corner.
  bool Ring = false;
};

inline constexpr int SoftGridIndex(int row, int column) { return row * 4 + column; }

TSoftEdgeGrid BuildSoftEdgeGrid(const TScreenPerspective& perspective, const TSoftEdgeQuad& quad);

// Adds the 18 triangles to a batcher on which Begin was already called with the textures.
void DrawSoftEdgeQuad(TVertexBuffer& batcher, const TScreenPerspective& perspective, const TSoftEdgeQuad& quad);

}  // namespace zel
