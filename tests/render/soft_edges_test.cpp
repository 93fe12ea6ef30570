// The soft-edge grid as numbers: where the outer ring lies, when it is
// left out, its colours and texture coordinates, and its triangles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "render/screen.h"
#include "render/soft_edges.h"

namespace zel {
namespace {

// The perspective of a 320 x 240 screen.
TScreenPerspective Screen320() {
  TScreenPerspective p;
  p.CenterX = 160;
  p.CenterY = 120;
  p.EyeDistance = 240;
  return p;
}

// A flat quad from (left, top) to (right, bottom) at depth z, textured 1:1.
TSoftEdgeQuad FlatQuad(float left, float top, float right, float bottom, float z = 0) {
  TSoftEdgeQuad quad;
  quad.Corners[0] = {left, top, z};
  quad.Corners[1] = {right, top, z};
  quad.Corners[2] = {right, bottom, z};
  quad.Corners[3] = {left, bottom, z};
  quad.TexSets = 1;
  quad.Tex[0][0] = {0, 0};
  quad.Tex[0][1] = {right - left, 0};
  quad.Tex[0][2] = {right - left, bottom - top};
  quad.Tex[0][3] = {0, bottom - top};
  quad.TexClamp[0] = {-100, -100, 100, 100};
  for (TColor& c : quad.Colors) c = 0xFF336699;
  return quad;
}

TScreenPoint At(const TSoftEdgeGrid& grid, int row, int column) { return grid.Points[SoftGridIndex(row, column)]; }

#define EXPECT_POINT(point, ex, ey)      \
  do {                                   \
    EXPECT_NEAR((point).X, (ex), 1e-3);  \
    EXPECT_NEAR((point).Y, (ey), 1e-3);  \
  } while (0)

TEST(SoftEdgeGrid, RingLiesOnePixelOutWithMitredCorners) {
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(Screen320(), FlatQuad(100, 100, 110, 120));
  ASSERT_TRUE(grid.Ring);
  EXPECT_POINT(At(grid, 1, 1), 100, 100);
  EXPECT_POINT(At(grid, 0, 1), 100, 99);   // above the top-left corner
  EXPECT_POINT(At(grid, 1, 0), 99, 100);   // left of it
  EXPECT_POINT(At(grid, 0, 0), 99, 99);    // one pixel from both edges
  EXPECT_POINT(At(grid, 3, 3), 111, 121);
  EXPECT_POINT(At(grid, 2, 3), 111, 120);
  EXPECT_POINT(At(grid, 3, 1), 100, 121);
  for (int i = 0; i < 16; ++i) {
    const int row = i / 4, column = i % 4;
    const bool inner = row >= 1 && row <= 2 && column >= 1 && column <= 2;
    EXPECT_EQ(grid.Colors[i], inner ? 0xFF336699u : 0x00336699u) << i;
  }
}

TEST(SoftEdgeGrid, UnflaggedEdgesKeepTheirOuterVerticesOnTheCorners) {
  TSoftEdgeQuad quad = FlatQuad(100, 100, 110, 120);
  quad.Edges[0] = false;  // left
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(Screen320(), quad);
  ASSERT_TRUE(grid.Ring);
  EXPECT_POINT(At(grid, 1, 0), 100, 100);
  EXPECT_POINT(At(grid, 2, 0), 100, 120);
  EXPECT_EQ(grid.Colors[SoftGridIndex(1, 0)], 0xFF336699u);
  // The top ring still reaches the corner's column, not past it.
  EXPECT_POINT(At(grid, 0, 0), 100, 99);
  EXPECT_POINT(At(grid, 0, 1), 100, 99);
  EXPECT_POINT(At(grid, 1, 3), 111, 100);
}

TEST(SoftEdgeGrid, NoRingForDegenerateStraightOrHiddenQuads) {
  TSoftEdgeQuad collapsed = FlatQuad(100, 100, 110, 120);
  collapsed.Corners[1] = {100.05, 100.05, 0};  // on top of the first corner
  TSoftEdgeQuad straight = FlatQuad(100, 100, 110, 120);
  straight.Corners[2] = {120, 100.5, 0};  // the top-right corner is nearly a straight line
  TSoftEdgeQuad behind = FlatQuad(100, 100, 110, 120, -300);
  for (const TSoftEdgeQuad* quad : {&collapsed, &straight, &behind}) {
    const TSoftEdgeGrid grid = BuildSoftEdgeGrid(Screen320(), *quad);
    EXPECT_FALSE(grid.Ring);
    for (int i = 0; i < 16; ++i) {
      const int row = std::clamp(i / 4, 1, 2), column = std::clamp(i % 4, 1, 2);
      const TScreenPoint corner = At(grid, row, column);
      EXPECT_EQ(grid.Points[i].X, corner.X) << i;
      EXPECT_EQ(grid.Points[i].Y, corner.Y) << i;
      EXPECT_EQ(AlphaOf(grid.Colors[i]), 255u) << i;
    }
  }
}

TEST(SoftEdgeGrid, OnePixelIsADevicePixelUnderACanvasScale) {
  TScreenPerspective perspective = Screen320();
  perspective.PixelX = 2;
  perspective.PixelY = 0.5f;
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(perspective, FlatQuad(100, 100, 110, 120));
  ASSERT_TRUE(grid.Ring);
  EXPECT_POINT(At(grid, 1, 0), 98, 100);
  EXPECT_POINT(At(grid, 0, 1), 100, 99.5);
}

TEST(SoftEdgeGrid, DeepQuadsGetTheRingOnePixelOutWhereTheyAreSeen) {
  const TScreenPerspective perspective = Screen320();
  const TSoftEdgeQuad quad = FlatQuad(40, 30, 90, 70, 480);
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(perspective, quad);
  ASSERT_TRUE(grid.Ring);
  float cx, cy, ox, oy;
  const TScreenPoint corner = At(grid, 1, 1), left = At(grid, 1, 0);
  EXPECT_EQ(left.Z, 480.0f);
  ASSERT_TRUE(perspective.Project(corner.X, corner.Y, corner.Z, cx, cy));
  ASSERT_TRUE(perspective.Project(left.X, left.Y, left.Z, ox, oy));
  EXPECT_NEAR(cx - ox, 1.0, 1e-3);
  EXPECT_NEAR(cy - oy, 0.0, 1e-3);
}

TEST(SoftEdgeGrid, MirroredQuadsStillFadeOutwards) {
  // Corners given right to left: the quad faces away.
  TSoftEdgeQuad quad = FlatQuad(100, 100, 110, 120);
  std::swap(quad.Corners[0], quad.Corners[1]);
  std::swap(quad.Corners[2], quad.Corners[3]);
  const TSoftEdgeGrid grid = BuildSoftEdgeGrid(Screen320(), quad);
  ASSERT_TRUE(grid.Ring);
  EXPECT_POINT(At(grid, 0, 0), 111, 99);
  EXPECT_POINT(At(grid, 3, 3), 99, 121);
}

TEST(SoftEdgeGrid, RingCoordinatesContinueTheQuadAndAreClamped) {
  TSoftEdgeQuad quad = FlatQuad(100, 100, 110, 120);
  TSoftEdgeGrid grid = BuildSoftEdgeGrid(Screen320(), quad);
  const TFloatPoint above = grid.Tex[0][SoftGridIndex(0, 1)];
  EXPECT_NEAR(above.x, 0, 1e-4);
  EXPECT_NEAR(above.y, -1, 1e-4);
  const TFloatPoint beyond = grid.Tex[0][SoftGridIndex(3, 3)];
  EXPECT_NEAR(beyond.x, 11, 1e-4);
  EXPECT_NEAR(beyond.y, 21, 1e-4);
  quad.TexClamp[0] = {0, 0, 10, 20};
  grid = BuildSoftEdgeGrid(Screen320(), quad);
  EXPECT_NEAR(grid.Tex[0][SoftGridIndex(0, 1)].y, 0, 1e-4);
  EXPECT_NEAR(grid.Tex[0][SoftGridIndex(3, 3)].x, 10, 1e-4);
  EXPECT_NEAR(grid.Tex[0][SoftGridIndex(2, 2)].x, 10, 1e-4);
}

TEST(SoftEdgeGrid, EighteenTrianglesReachTheBatcher) {
  T3DScreen screen;
  TVertexBuffer& batcher = screen.Batcher();
  batcher.Begin({}, 0);
  TSoftEdgeQuad quad = FlatQuad(100, 100, 110, 120);
  quad.TexSets = 0;
  DrawSoftEdgeQuad(batcher, Screen320(), quad);
  EXPECT_EQ(batcher.TriangleCount(), 18);
  batcher.Flush();
}

}  // namespace
}  // namespace zel
