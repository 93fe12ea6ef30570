// The flat transitions' geometry, recorded per tile: the soft edge, the
// masks' rings and what a point of the slide receives from them, the
// catalogue's mask variants, the mosaic and the motions.
#include "effects/mask_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "assertion_capture.h"

namespace zel {
namespace {

struct TMapped {
  std::array<TEffSourcePoint, 3> source;
  std::array<TEffPoint, 3> dest;
};

class TRecordingTile : public TEffTile {
 public:
  using TEffTile::TEffTile;

  void BeginTriangles(bool textured, bool fullModulation) override {
    EXPECT_FALSE(fOpen);
    EXPECT_TRUE(textured);
    EXPECT_FALSE(fullModulation);
    fOpen = true;
    ++batches;
  }
  void AddTriangle(const TEffTriangle& vertices) override {
    EXPECT_TRUE(fOpen);
    triangles.push_back(vertices);
  }
  void AddColouredTriangle(const std::array<TEffPoint, 3>&, const TEffColours&) override { ADD_FAILURE(); }
  void AddMappedTriangle(const std::array<TEffSourcePoint, 3>& source, const std::array<TEffPoint, 3>& dest) override {
    EXPECT_TRUE(fOpen);
    mapped.push_back({source, dest});
  }
  void AddColouredTriangle3D(const std::array<TEffPoint3D, 3>&, const TEffColours&) override { ADD_FAILURE(); }
  void AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>&, const std::array<TEffPoint3D, 3>&) override {
    ADD_FAILURE();
  }
  void EndTriangles() override {
    EXPECT_TRUE(fOpen);
    fOpen = false;
  }

  int batches = 0;
  std::vector<TEffTriangle> triangles;
  std::vector<TMapped> mapped;

 private:
  bool fOpen = false;
};

// A grid over a rectangle, optionally with bounds of its own as the GL
// drawer's controller has.
class TRecordingController : public TEffController {
 public:
  TRecordingController(const TRect& rect, int columns, int rows) {
    std::vector<float> xs, ys;
    for (int i = 0; i <= columns; ++i) xs.push_back(rect.Left + static_cast<float>(rect.Width()) * i / columns);
    for (int j = 0; j <= rows; ++j) ys.push_back(rect.Top + static_cast<float>(rect.Height()) * j / rows);
    SetGrid(xs, ys);
  }

  TRect GetBounds() const override { return bounds ? *bounds : TEffController::GetBounds(); }

  std::vector<TRecordingTile*> tiles;
  std::optional<TRect> bounds;

  std::size_t TriangleCount() const {
    std::size_t n = 0;
    for (const TRecordingTile* tile : tiles) n += tile->triangles.size();
    return n;
  }
  // The alpha a point of the slide receives, 0 where nothing covers it.
  // Probes are chosen off the triangles' edges.
  double AlphaAt(double x, double y) const {
    for (const TRecordingTile* tile : tiles) {
      for (const TEffTriangle& t : tile->triangles) {
        const double det = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
        if (det == 0) continue;
        const double u = ((x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (y - t[0].y)) / det;
        const double v = ((t[1].x - t[0].x) * (y - t[0].y) - (x - t[0].x) * (t[1].y - t[0].y)) / det;
        if (u < 0 || v < 0 || u + v > 1) continue;
        return t[0].alpha + u * (t[1].alpha - t[0].alpha) + v * (t[2].alpha - t[0].alpha);
      }
    }
    return 0;
  }

 protected:
  std::unique_ptr<TEffTile> CreateTile(const TRect& rect, int column, int row) override {
    auto tile = std::make_unique<TRecordingTile>(*this, rect, column, row);
    tiles.push_back(tile.get());
    return tile;
  }
};

struct TRing {
  int index;
  float outerAlpha, innerAlpha, outer, inner;
};

// A shape that notes every ring it draws.
template <typename TShape>
class TRingRecorder : public TShape {
 public:
  using TShape::TShape;
  mutable std::vector<TRing> rings;

 protected:
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override {
    rings.push_back({index, outerAlpha, innerAlpha, outerDistance, innerDistance});
    TShape::DrawRing(tile, index, outerAlpha, innerAlpha, outerDistance, innerDistance);
  }
};

double TriangleArea(const TEffTriangle& t) {
  return std::fabs((t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y)) / 2;
}

const TRect kView{0, 0, 1000, 500};

// ---------------------------------------------------------------------------

TEST(SoftEdge, TableSamplesTheSCurve) {
  const auto& table = SoftEdgeTable();
  EXPECT_FLOAT_EQ(table[0].x, 0);
  EXPECT_FLOAT_EQ(table[0].s, 0);
  EXPECT_FLOAT_EQ(table[14].x, 255);
  EXPECT_FLOAT_EQ(table[14].s, 255);
  // 255 / 14 and its square over 128.
  EXPECT_NEAR(table[1].x, 18.2143, 1e-3);
  EXPECT_NEAR(table[1].s, 2.5918, 1e-3);
  // The middle sample lies on the upper branch.
  EXPECT_FLOAT_EQ(table[7].x, 127.5);
  EXPECT_NEAR(table[7].s, 255 - 127.5 * 127.5 / 128, 1e-3);
  for (int i = 0; i < kSoftEdgeSamples; ++i) {
    // Point-symmetric about the middle, which itself lies on the upper
    // branch; and rising.
    if (i != 7) {
      EXPECT_NEAR(table[i].s + table[14 - i].s, 255, 1e-3) << i;
    }
    if (i > 0) {
      EXPECT_GT(table[i].s, table[i - 1].s) << i;
    }
  }
}

// ---------------------------------------------------------------------------

TEST(MaskRings, CoreThenRingsOfEveryOtherSampleWhenSamplesLieCloserThanTwoPixels) {
  // s = 20: samples 1.43 pixels apart, so every second one is a ring.
  TRingRecorder<THLines> mask(kView, 20, 0.5f, 0.5f, false);
  TRecordingController controller(kView, 1, 1);
  mask.DrawGeometry(controller, 0.5);
  const float b = 0.5f * 520, c = b - 20;
  ASSERT_EQ(mask.rings.size(), 8u);
  EXPECT_EQ(mask.rings[0].index, -1);
  EXPECT_FLOAT_EQ(mask.rings[0].outer, c);
  EXPECT_FLOAT_EQ(mask.rings[0].inner, 0);
  EXPECT_FLOAT_EQ(mask.rings[0].outerAlpha, 255);
  const auto& table = SoftEdgeTable();
  for (int k = 0; k < 7; ++k) {
    const TRing& ring = mask.rings[k + 1];
    EXPECT_EQ(ring.index, k);
    EXPECT_NEAR(ring.outer, c + table[2 * k + 2].x * 20 / 255, 1e-3);
    EXPECT_FLOAT_EQ(ring.outerAlpha, 255 - table[2 * k + 2].s);
    // Each ring begins where and with what the previous one ended.
    EXPECT_FLOAT_EQ(ring.inner, mask.rings[k].outer);
    EXPECT_FLOAT_EQ(ring.innerAlpha, mask.rings[k].outerAlpha);
  }
  EXPECT_FLOAT_EQ(mask.rings.back().outer, b);
  EXPECT_FLOAT_EQ(mask.rings.back().outerAlpha, 0);
}

TEST(MaskRings, AnEdgeStartingBeforeTheCentreBeginsPartWayDownTheCurve) {
  // b = 5 < s = 20: no core; the first ring starts at the centre with the
  // alpha the curve has 15 pixels into the edge.
  TRingRecorder<THLines> mask(kView, 20, 0.5f, 0.5f, false);
  TRecordingController controller(kView, 1, 1);
  TRecordingTile tile(controller, kView, 0, 0);
  tile.BeginTriangles(true, false);
  mask.DrawMask(tile, 5);
  tile.EndTriangles();
  const auto& table = SoftEdgeTable();
  ASSERT_EQ(mask.rings.size(), 2u);
  EXPECT_EQ(mask.rings[0].index, 0);
  EXPECT_FLOAT_EQ(mask.rings[0].inner, 0);
  EXPECT_NEAR(mask.rings[0].innerAlpha, 255 - SoftEdgeCurve(15 * 255.0f / 20), 1e-3);
  EXPECT_NEAR(mask.rings[0].innerAlpha, 31.75, 1e-2);
  // Samples 11 and 13 lie within 2 pixels of the ring before.
  EXPECT_NEAR(mask.rings[0].outer, -15 + table[12].x * 20 / 255, 1e-4);
  EXPECT_EQ(mask.rings[1].index, 1);
  EXPECT_FLOAT_EQ(mask.rings[1].outer, 5);
}

TEST(MaskRings, NoSmoothWidthGivesTheCoreAndARingOfNoWidth) {
  TRingRecorder<THLines> mask(kView, 0, 0, 0, false);
  TRecordingController controller(kView, 2, 2);
  mask.DrawGeometry(controller, 0.25);
  ASSERT_EQ(mask.rings.size(), 2u);
  EXPECT_EQ(mask.rings[0].index, -1);
  EXPECT_FLOAT_EQ(mask.rings[0].outer, 250);
  EXPECT_EQ(mask.rings[1].index, 0);
  EXPECT_FLOAT_EQ(mask.rings[1].outer, 250);
  EXPECT_FLOAT_EQ(mask.rings[1].inner, 250);
  // A hard edge.
  EXPECT_DOUBLE_EQ(controller.AlphaAt(249.5, 100), 255);
  EXPECT_DOUBLE_EQ(controller.AlphaAt(250.5, 100), 0);
}

TEST(MaskRings, NothingIsDrawnBeforeTheEdgeLeavesTheCentre) {
  TRingRecorder<TCircleFilter> mask(kView, 20, 0.5f, 0.5f, false);
  TRecordingController controller(kView, 2, 2);
  mask.DrawGeometry(controller, 0);
  EXPECT_TRUE(mask.rings.empty());
  TRecordingTile tile(controller, kView, 0, 0);
  tile.BeginTriangles(true, false);
  mask.DrawMask(tile, -3);
  tile.EndTriangles();
  EXPECT_TRUE(mask.rings.empty());
  EXPECT_TRUE(tile.triangles.empty());
}

TEST(MaskRings, ReversedMasksLeaveNothingAtTheEndAndCoverAllAtTheStart) {
  // The reversed variants of circle, diamond, square, split, diagonal split.
  for (const auto& [effectClass, variant] : {std::pair{4, 1}, {5, 1}, {6, 1}, {7, 1}, {7, 3}, {8, 1}, {8, 3}}) {
    const TMaskChoice choice = MaskChoiceOf(effectClass, variant, 50, 50);
    ASSERT_TRUE(choice.reverse) << effectClass << "/" << variant;
    const auto mask = MakeMask(choice, kView, 20);
    TRecordingController atEnd(kView, 2, 2);
    mask->DrawGeometry(atEnd, 1);
    EXPECT_EQ(atEnd.TriangleCount(), 0u) << effectClass << "/" << variant;
    TRecordingController atStart(kView, 2, 2);
    mask->DrawGeometry(atStart, 0);
    EXPECT_DOUBLE_EQ(atStart.AlphaAt(3, 4), 255) << effectClass << "/" << variant;
    EXPECT_DOUBLE_EQ(atStart.AlphaAt(996, 497), 255) << effectClass << "/" << variant;
  }
}

// ---------------------------------------------------------------------------

TEST(MaskShapes, LargestDistancesIncludeTheSmoothWidth) {
  // 1,001 x 500, away from the origin.
  const TRect rect{100, 50, 1101, 550};
  EXPECT_FLOAT_EQ(THLines(rect, 20, 0.25f, 0.5f, false).MaxDistance(), 750.75f + 20);
  EXPECT_FLOAT_EQ(TVLines(rect, 20, 0.5f, 0.1f, false).MaxDistance(), 450 + 20);
  // Whole pixels for the diamond, half pixels for the square.
  EXPECT_FLOAT_EQ(TRhombFilter(rect, 20, 0.5f, 0.5f, false).MaxDistance(), 750 + 20);
  EXPECT_FLOAT_EQ(TSquareFilter(rect, 20, 0.5f, 0.5f, false).MaxDistance(), 500.5f + 20);
  EXPECT_FLOAT_EQ(TDiagLines(rect, 20, TDiagMode::FromMiddle, false, false).MaxDistance(), 750 + 20);
  EXPECT_FLOAT_EQ(TDiagLines(rect, 20, TDiagMode::FromFirstCorner, false, false).MaxDistance(), 1501 + 20);
  EXPECT_FLOAT_EQ(TDiagLines(rect, 20, TDiagMode::FromOppositeCorner, true, false).MaxDistance(), 1501 + 20);
  // A negative smooth width counts as none.
  EXPECT_FLOAT_EQ(TSquareFilter(rect, -5, 0.5f, 0.5f, false).MaxDistance(), 500.5f);
}

TEST(MaskShapes, CircleInTheMiddleReachesTheFarthestCorner) {
  TRingRecorder<TCircleFilter> circle(kView, 20, 0.5f, 0.5f, false);
  EXPECT_NEAR(circle.MaxDistance(), std::sqrt(500.0 * 500 + 250 * 250) + 20, 1e-3);
  EXPECT_NEAR(circle.MaxDistance(), 579.0, 0.05);
  EXPECT_FLOAT_EQ(circle.EdgeDistance(), 0);
  EXPECT_EQ(circle.Segments(), 128);
  TRecordingController controller(kView, 2, 2);
  circle.DrawGeometry(controller, 0.5);
  ASSERT_FALSE(circle.rings.empty());
  EXPECT_EQ(circle.rings[0].index, -1);
  EXPECT_NEAR(circle.rings[0].outer, 269.5, 0.05);
}

TEST(MaskShapes, CircleWithTheCentreOutsideTouchesTheEdgeAndUsesFinerSegments) {
  TRingRecorder<TCircleFilter> circle(kView, 20, 1.5f, 0.5f, false);
  EXPECT_FLOAT_EQ(circle.EdgeDistance(), 500);
  EXPECT_EQ(circle.Segments(), 256);
  EXPECT_NEAR(circle.MaxDistance(), std::sqrt(1500.0 * 1500 + 250 * 250) - 500 + 20, 1e-3);
  // The first ring's inner edge is the circle through the rectangle's
  // nearest point.
  TRecordingController controller(kView, 1, 1);
  circle.DrawGeometry(controller, 0.01);
  ASSERT_FALSE(circle.rings.empty());
  EXPECT_FLOAT_EQ(circle.rings[0].inner, 0);
  EXPECT_GT(controller.AlphaAt(999.5, 250), 0);
  EXPECT_DOUBLE_EQ(controller.AlphaAt(980, 250), 0);
}

// Notes where each ring's triangles begin in the tile it draws on.
class TCircleByRing : public TRingRecorder<TCircleFilter> {
 public:
  using TRingRecorder<TCircleFilter>::TRingRecorder;
  mutable std::vector<std::size_t> starts;

 protected:
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override {
    starts.push_back(static_cast<TRecordingTile&>(tile).triangles.size());
    TRingRecorder<TCircleFilter>::DrawRing(tile, index, outerAlpha, innerAlpha, outerDistance, innerDistance);
  }
};

// The area of a regular polygon of m corners on a circle of radius r.
double PolygonArea(int m, double r) { return m / 2.0 * r * r * std::sin(2 * std::numbers::pi / m); }

TEST(MaskShapes, CircleRingsAreClosedStripsSharingTheirVertices) {
  TCircleByRing circle(kView, 20, 0.5f, 0.5f, false);
  TRecordingController controller(kView, 1, 1);
  TRecordingTile tile(controller, kView, 0, 0);
  tile.BeginTriangles(true, false);
  circle.DrawMask(tile, 290);
  tile.EndTriangles();
  // The core and seven soft rings.
  ASSERT_EQ(circle.rings.size(), 8u);
  circle.starts.push_back(tile.triangles.size());
  const auto ringTriangles = [&](int k) {
    return std::vector<TEffTriangle>(tile.triangles.begin() + circle.starts[k],
                                     tile.triangles.begin() + circle.starts[k + 1]);
  };
  // The core is a fan of 64 around the centre, each ring a strip of 128;
  // both close up: their areas are exactly those between 64-gons.
  const auto core = ringTriangles(0);
  ASSERT_EQ(core.size(), 64u);
  double area = 0;
  for (const auto& t : core) area += TriangleArea(t);
  EXPECT_NEAR(area, PolygonArea(64, 270), 1e-3 * area);
  const auto ring = ringTriangles(1);
  ASSERT_EQ(ring.size(), 128u);
  area = 0;
  for (const auto& t : ring) area += TriangleArea(t);
  const double r0 = circle.rings[1].inner, r1 = circle.rings[1].outer;
  EXPECT_NEAR(area, PolygonArea(64, r1) - PolygonArea(64, r0), 1e-2 * (PolygonArea(64, r1) - PolygonArea(64, r0)));
  // The core's outer vertices are the first ring's inner ones.
  const auto onCircle = [&](const std::vector<TEffTriangle>& triangles, double radius) {
    std::set<std::pair<float, float>> points;
    for (const auto& t : triangles) {
      for (const TEffVertex& v : t) {
        if (std::fabs(std::hypot(v.x - 500.0, v.y - 250.0) - radius) < 1e-2) points.insert({v.x, v.y});
      }
    }
    return points;
  };
  const auto coreOuter = onCircle(core, 270);
  EXPECT_EQ(coreOuter.size(), 64u);
  EXPECT_EQ(onCircle(ring, 270), coreOuter);
}

TEST(MaskShapes, CircleCentredOutsideDrawsStripsOf256) {
  TCircleByRing circle(kView, 20, 1.5f, 0.5f, false);
  TRecordingController controller(kView, 1, 1);
  TRecordingTile tile(controller, kView, 0, 0);
  tile.BeginTriangles(true, false);
  circle.DrawMask(tile, 300);
  tile.EndTriangles();
  // Even the core is a strip: its inner circle has the edge distance.
  ASSERT_EQ(circle.rings.size(), 8u);
  EXPECT_EQ(tile.triangles.size(), 8u * 256);
}

// ---------------------------------------------------------------------------

struct TProbe {
  double x, y, alpha;
};

void ExpectProbes(const TMaskChoice& choice, double progress, std::initializer_list<TProbe> probes) {
  const auto mask = MakeMask(choice, kView, 20);
  ASSERT_NE(mask, nullptr);
  TRecordingController controller(kView, 2, 2);
  mask->DrawGeometry(controller, progress);
  for (const TProbe& probe : probes) {
    EXPECT_NEAR(controller.AlphaAt(probe.x, probe.y), probe.alpha, 0.5)
        << "at (" << probe.x << ", " << probe.y << "), progress " << progress;
  }
}

TEST(EdgeWipes, FrontsStandWhereTheProgressPutsThem) {
  // D = 1,020 across, 520 down. At 25 % the front's soft edge spans
  // 235 .. 255 pixels from the start edge, its middle half transparent.
  ExpectProbes(MaskChoiceOf(9, 1, 50, 50), 0.25, {{100, 250, 255}, {234, 250, 255}, {245, 250, 127.5}, {256, 250, 0}});
  ExpectProbes(MaskChoiceOf(9, 1, 50, 50), 0.5, {{480, 250, 255}, {500, 250, 127.5}, {520, 250, 0}, {900, 250, 0}});
  ExpectProbes(MaskChoiceOf(9, 2, 50, 50), 0.25, {{900, 250, 255}, {755, 250, 127.5}, {700, 250, 0}, {100, 250, 0}});
  ExpectProbes(MaskChoiceOf(9, 3, 50, 50), 0.25, {{500, 50, 255}, {500, 120, 127.5}, {500, 200, 0}});
  ExpectProbes(MaskChoiceOf(9, 4, 50, 50), 0.25, {{500, 450, 255}, {500, 380, 127.5}, {500, 300, 0}});
  ExpectProbes(MaskChoiceOf(9, 4, 50, 50), 0.5, {{500, 260, 255}, {500, 250, 127.5}, {500, 200, 0}});
}

TEST(EdgeWipes, SplitsOpenFromTheMiddle) {
  // Variant 2: vertical edges moving outward from x = 500; D = 520, so
  // at 50 % the soft edges' middles are 250 pixels out.
  ExpectProbes(MaskChoiceOf(7, 2, 50, 50), 0.5, {{500, 250, 255}, {250, 250, 127.5}, {750, 250, 127.5}, {100, 250, 0}});
  // Variant 4: horizontal edges from y = 250; D = 270, middles 125 out.
  ExpectProbes(MaskChoiceOf(7, 4, 50, 50), 0.5, {{500, 250, 255}, {500, 125, 127.5}, {500, 375, 127.5}, {500, 20, 0}});
}

TEST(DiagonalWipes, EachVariantStartsAtItsCorner) {
  // At 20 % (D = 1,520) the front is 284 .. 304 pixels from its corner's
  // 45-degree line: the probe 40 pixels in is covered, the others not.
  const TProbe topLeft{20, 20, 0}, bottomRight{980, 480, 0}, bottomLeft{20, 480, 0}, topRight{980, 20, 0};
  const auto at = [](TProbe probe) {
    probe.alpha = 255;
    return probe;
  };
  ExpectProbes(MaskChoiceOf(10, 1, 50, 50), 0.2, {at(topLeft), bottomRight, bottomLeft, topRight});
  ExpectProbes(MaskChoiceOf(10, 2, 50, 50), 0.2, {topLeft, at(bottomRight), bottomLeft, topRight});
  ExpectProbes(MaskChoiceOf(10, 3, 50, 50), 0.2, {topLeft, bottomRight, at(bottomLeft), topRight});
  ExpectProbes(MaskChoiceOf(10, 4, 50, 50), 0.2, {topLeft, bottomRight, bottomLeft, at(topRight)});
  ExpectProbes(MaskChoiceOf(10, 9, 50, 50), 0.2, {topLeft, bottomRight, bottomLeft, at(topRight)});
}

TEST(DiagonalWipes, SplitSpreadsFromTheLineThroughTheMiddle) {
  // D = 770; at 20 % the core is 134 pixels to each side. The line falls
  // from (750, 0) to (250, 500), or mirrored from (250, 0) to (750, 500).
  ExpectProbes(MaskChoiceOf(8, 2, 50, 50), 0.2, {{450, 250, 255}, {550, 250, 255}, {300, 60, 0}, {20, 20, 0}});
  ExpectProbes(MaskChoiceOf(8, 4, 50, 50), 0.2, {{450, 250, 255}, {550, 250, 255}, {300, 60, 255}, {700, 60, 0}});
}

TEST(DiagonalWipes, BandsLieOnTheSidesTheModeNames) {
  // Signs of the vertices' horizontal distances from the line.
  const auto sides = [](TDiagMode mode) {
    const TDiagLines mask(kView, 20, mode, false, false);
    TRecordingController controller(kView, 1, 1);
    TRecordingTile tile(controller, kView, 0, 0);
    tile.BeginTriangles(true, false);
    mask.DrawMask(tile, 300);
    tile.EndTriangles();
    std::set<int> signs;
    for (const TEffTriangle& t : tile.triangles) {
      for (const TEffVertex& v : t) {
        const float line = mask.LineTop() + (mask.LineBottom() - mask.LineTop()) * v.y / 500;
        const float d = v.x - line;
        if (std::fabs(d) > 1e-3f) signs.insert(d > 0 ? 1 : -1);
      }
    }
    return signs;
  };
  EXPECT_EQ(sides(TDiagMode::FromFirstCorner), (std::set<int>{1}));
  EXPECT_EQ(sides(TDiagMode::FromMiddle), (std::set<int>{-1, 1}));
  EXPECT_EQ(sides(TDiagMode::FromOppositeCorner), (std::set<int>{-1}));
}

TEST(CircleWipe, CentreInTheBottomLeftCornerGrowsFromThere) {
  ExpectProbes(MaskChoiceOf(4, 2, 0, 100), 0.2, {{50, 450, 255}, {50, 50, 0}, {950, 50, 0}, {950, 450, 0}});
}

// ---------------------------------------------------------------------------

TEST(MaskCatalogue, VariantsPickShapeCentreAndDirection) {
  TMaskChoice circle = MaskChoiceOf(4, 1, 0, 100);
  EXPECT_EQ(circle.shape, TMaskShape::Circle);
  EXPECT_FLOAT_EQ(circle.centreX, 0);
  EXPECT_FLOAT_EQ(circle.centreY, 1);
  EXPECT_TRUE(circle.reverse);
  EXPECT_FALSE(MaskChoiceOf(4, 2, 50, 50).reverse);
  EXPECT_EQ(MaskChoiceOf(5, 3, 0, 0), (TMaskChoice{TMaskShape::Rhomb, 0.5f, 0.5f, false}));
  EXPECT_EQ(MaskChoiceOf(6, 1, 0, 0), (TMaskChoice{TMaskShape::Square, 0.5f, 0.5f, true}));
  EXPECT_EQ(MaskChoiceOf(7, 1, 0, 0), (TMaskChoice{TMaskShape::HLines, 0.5f, 0.5f, true}));
  EXPECT_EQ(MaskChoiceOf(7, 2, 0, 0), (TMaskChoice{TMaskShape::HLines, 0.5f, 0.5f, false}));
  EXPECT_EQ(MaskChoiceOf(7, 3, 0, 0), (TMaskChoice{TMaskShape::VLines, 0.5f, 0.5f, true}));
  EXPECT_EQ(MaskChoiceOf(7, 4, 0, 0), (TMaskChoice{TMaskShape::VLines, 0.5f, 0.5f, false}));
  EXPECT_EQ(MaskChoiceOf(8, 1, 0, 0),
            (TMaskChoice{TMaskShape::DiagLines, 0.5f, 0.5f, true, TDiagMode::FromMiddle, false}));
  EXPECT_EQ(MaskChoiceOf(8, 3, 0, 0),
            (TMaskChoice{TMaskShape::DiagLines, 0.5f, 0.5f, true, TDiagMode::FromMiddle, true}));
  EXPECT_EQ(MaskChoiceOf(8, 4, 0, 0),
            (TMaskChoice{TMaskShape::DiagLines, 0.5f, 0.5f, false, TDiagMode::FromMiddle, true}));
  EXPECT_EQ(MaskChoiceOf(9, 1, 0, 0), (TMaskChoice{TMaskShape::HLines, 0, 0, false}));
  EXPECT_EQ(MaskChoiceOf(9, 2, 0, 0), (TMaskChoice{TMaskShape::HLines, 1, 0, false}));
  EXPECT_EQ(MaskChoiceOf(9, 3, 0, 0), (TMaskChoice{TMaskShape::VLines, 0, 0, false}));
  EXPECT_EQ(MaskChoiceOf(9, 4, 0, 0), (TMaskChoice{TMaskShape::VLines, 0, 1, false}));
  EXPECT_EQ(MaskChoiceOf(10, 3, 0, 0),
            (TMaskChoice{TMaskShape::DiagLines, 0.5f, 0.5f, false, TDiagMode::FromFirstCorner, true}));
}

TEST(MaskCatalogue, VariantsAClassLacksAndOtherClassesGiveNoShape) {
  EXPECT_EQ(MaskChoiceOf(7, 5, 50, 50).shape, TMaskShape::None);
  EXPECT_EQ(MaskChoiceOf(7, 0, 50, 50).shape, TMaskShape::None);
  EXPECT_EQ(MaskChoiceOf(9, 5, 50, 50).shape, TMaskShape::None);
  EXPECT_EQ(MaskChoiceOf(3, 1, 50, 50).shape, TMaskShape::None);
  EXPECT_EQ(MaskChoiceOf(11, 1, 50, 50).shape, TMaskShape::None);
  EXPECT_EQ(MakeMask(TMaskChoice{}, kView, 20), nullptr);
}

TEST(MaskCatalogue, MakeMaskBuildsTheChosenShape) {
  const auto lines = MakeMask(MaskChoiceOf(9, 2, 50, 50), kView, 20);
  ASSERT_NE(dynamic_cast<THLines*>(lines.get()), nullptr);
  EXPECT_FLOAT_EQ(lines->CentreX(), 1000);
  EXPECT_FALSE(lines->Reverse());
  EXPECT_NE(dynamic_cast<TVLines*>(MakeMask(MaskChoiceOf(7, 3, 50, 50), kView, 20).get()), nullptr);
  EXPECT_NE(dynamic_cast<TRhombFilter*>(MakeMask(MaskChoiceOf(5, 1, 50, 50), kView, 20).get()), nullptr);
  EXPECT_NE(dynamic_cast<TSquareFilter*>(MakeMask(MaskChoiceOf(6, 1, 50, 50), kView, 20).get()), nullptr);
  EXPECT_NE(dynamic_cast<TCircleFilter*>(MakeMask(MaskChoiceOf(4, 1, 50, 50), kView, 20).get()), nullptr);
  const auto diagonal = MakeMask(MaskChoiceOf(10, 4, 50, 50), kView, 20);
  const auto* diag = dynamic_cast<TDiagLines*>(diagonal.get());
  ASSERT_NE(diag, nullptr);
  EXPECT_EQ(diag->Mode(), TDiagMode::FromOppositeCorner);
  EXPECT_TRUE(diag->Mirror());
  // From (1,000, 0) down to the right.
  EXPECT_FLOAT_EQ(diag->LineTop(), 1000);
  EXPECT_FLOAT_EQ(diag->LineBottom(), 1500);
}

// ---------------------------------------------------------------------------

TEST(Mosaic, GeneratorTakesTheStatesLow23Bits) {
  TMosaicRandom random(0);
  EXPECT_EQ(random.Next(), 7271263.0f / 8388608.0f);
  EXPECT_EQ(random.Next(), 5253426.0f / 8388608.0f);
  EXPECT_EQ(random.Next(), 5043945.0f / 8388608.0f);
  TMosaicRandom other(12345);
  EXPECT_EQ(other.Next(), 3742788.0f / 8388608.0f);
}

TEST(Mosaic, StartGridIsFilledRowByRowFromTheSeed) {
  const TRandomFilter mosaic(kView, 3, 2, 0, 1);
  const int expected[2][3] = {{87, 63, 60}, {95, 65, 37}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) EXPECT_EQ(mosaic.StartValue(column, row), expected[row][column]);
  }
  EXPECT_EQ(mosaic.Level(0), -256);
  EXPECT_EQ(mosaic.Level(1), 100);
  EXPECT_EQ(mosaic.Level(0.7), -7);
}

TEST(Mosaic, TheSameSeedGivesTheSameMosaic) {
  const TRandomFilter first(kView, 20, 10, 4711, 3), second(kView, 20, 10, 4711, 3), other(kView, 20, 10, 4712, 3);
  bool differs = false;
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 20; ++column) {
      EXPECT_EQ(first.StartValue(column, row), second.StartValue(column, row));
      differs = differs || first.StartValue(column, row) != other.StartValue(column, row);
    }
  }
  EXPECT_TRUE(differs);
  TRecordingController a(kView, 2, 2), b(kView, 2, 2);
  first.DrawGeometry(a, 0.4);
  second.DrawGeometry(b, 0.4);
  ASSERT_EQ(a.tiles.size(), b.tiles.size());
  for (std::size_t i = 0; i < a.tiles.size(); ++i) EXPECT_EQ(a.tiles[i]->triangles, b.tiles[i]->triangles);
}

TEST(Mosaic, CellsFadeInFromTheirOwnStart) {
  // Spread 5: starts 433, 313, 301 / 474, 324, 183; level 122 at 50 %.
  const TRandomFilter mosaic(kView, 3, 2, 0, 5);
  TRecordingController controller(kView, 2, 2);
  mosaic.DrawGeometry(controller, 0.5);
  const double expected[2][3] = {{0, 64, 76}, {0, 53, 194}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_DOUBLE_EQ(controller.AlphaAt((column + 0.5) * 1000 / 3, (row + 0.5) * 250), expected[row][column])
          << column << "," << row;
    }
  }
}

TEST(Mosaic, NoSpreadFadesAllCellsTogether) {
  const TRandomFilter mosaic(kView, 7, 5, 99, 0);
  TRecordingController controller(kView, 2, 2);
  mosaic.DrawGeometry(controller, 0.5);
  double area = 0;
  for (const TRecordingTile* tile : controller.tiles) {
    for (const TEffTriangle& t : tile->triangles) {
      area += TriangleArea(t);
      for (const TEffVertex& v : t) EXPECT_FLOAT_EQ(v.alpha, 127);
    }
  }
  EXPECT_NEAR(area, 1000.0 * 500, 1);
  TRecordingController start(kView, 2, 2);
  mosaic.DrawGeometry(start, 0);
  EXPECT_EQ(start.TriangleCount(), 0u);
}

TEST(Mosaic, CountsAndSpreadAreKeptInRange) {
  const TRandomFilter mosaic({0, 0, 10, 4}, 0, 100, 1, -3);
  EXPECT_EQ(mosaic.Across(), 1);
  EXPECT_EQ(mosaic.Down(), 4);
  EXPECT_FLOAT_EQ(mosaic.Spread(), 0);
  EXPECT_EQ(mosaic.Level(1), 0);
}

TEST(Mosaic, CellsAreLaidOutInTheTargetRectangle) {
  TRandomFilter mosaic(kView, 4, 4, 1, 0);
  mosaic.SetTargetRect({100, 100, 400, 300});
  TRecordingController controller(kView, 2, 2);
  mosaic.DrawGeometry(controller, 1);
  EXPECT_DOUBLE_EQ(controller.AlphaAt(390, 290), 255);
  EXPECT_DOUBLE_EQ(controller.AlphaAt(410, 290), 0);
  EXPECT_DOUBLE_EQ(controller.AlphaAt(90, 110), 0);
}

// ---------------------------------------------------------------------------

TEST(Motions, IncomingOffsetArrivesFromTheDirectionsSide) {
  EXPECT_EQ(IncomingSlideOffset(1, 1000, 500, 0.25), (TEffPoint{-750, 0}));
  EXPECT_EQ(IncomingSlideOffset(2, 1000, 500, 0.25), (TEffPoint{750, 0}));
  EXPECT_EQ(IncomingSlideOffset(3, 1000, 500, 0.25), (TEffPoint{0, -375}));
  EXPECT_EQ(IncomingSlideOffset(4, 1000, 500, 0.25), (TEffPoint{0, 375}));
  EXPECT_EQ(IncomingSlideOffset(7, 1000, 500, 0.25), (TEffPoint{0, 125}));
  EXPECT_EQ(IncomingSlideOffset(2, 1000, 500, 1), (TEffPoint{0, 0}));
}

TEST(Motions, PushedSlideLeavesTowardsTheOppositeSide) {
  EXPECT_EQ(PushOffsetOfOutgoing(1, 1280, 720, 0.25), (TEffPoint{320, 0}));
  EXPECT_EQ(PushOffsetOfOutgoing(2, 1280, 720, 0.25), (TEffPoint{-320, 0}));
  EXPECT_EQ(PushOffsetOfOutgoing(3, 1280, 720, 0.25), (TEffPoint{0, 180}));
  EXPECT_EQ(PushOffsetOfOutgoing(4, 1280, 720, 0.25), (TEffPoint{0, -180}));
  EXPECT_EQ(PushOffsetOfOutgoing(0, 1280, 720, 0.25), (TEffPoint{0, 0}));
  EXPECT_EQ(TPushFilter(3).OutgoingOffset(1280, 720, 0.5), (TEffPoint{0, 360}));
}

// Each tile meeting the bounds shows its part of them, moved by the offset.
void ExpectSlidIn(const TFlatGeometry& filter) {
  TRecordingController controller({0, 0, 900, 500}, 3, 1);
  controller.bounds = TRect{0, 0, 500, 500};
  filter.DrawGeometry(controller, 0.25);
  // Direction 2 at 25 %: three quarters of the bounds' width to the right.
  const TEffPoint offset{375, 0};
  ASSERT_EQ(controller.tiles.size(), 2u);
  const float rights[2] = {300, 500};
  for (int i = 0; i < 2; ++i) {
    const TRecordingTile& tile = *controller.tiles[i];
    EXPECT_EQ(tile.Column(), i);
    EXPECT_EQ(tile.batches, 1);
    ASSERT_EQ(tile.mapped.size(), 2u);
    double area = 0;
    for (const TMapped& m : tile.mapped) {
      TEffTriangle source;
      for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(m.dest[k].x, m.source[k].x + offset.x);
        EXPECT_FLOAT_EQ(m.dest[k].y, m.source[k].y + offset.y);
        EXPECT_FLOAT_EQ(m.source[k].brightness, 255);
        EXPECT_GE(m.source[k].x, i * 300.0f);
        EXPECT_LE(m.source[k].x, rights[i]);
        source[k] = {m.source[k].x, m.source[k].y, 0};
      }
      area += TriangleArea(source);
    }
    EXPECT_DOUBLE_EQ(area, (rights[i] - i * 300.0) * 500);
  }
}

TEST(Motions, SlideInMovesEveryTilesPartOfTheBounds) { ExpectSlidIn(TSlideFilter(2)); }

TEST(Motions, PushDrawsTheIncomingSlideAsTheSlideInDoes) { ExpectSlidIn(TPushFilter(2)); }

TEST(FlatGeometry, NothingIsDrawnOnAnEmptyGrid) {
  TRecordingController controller(kView, 1, 1);
  controller.SetGrid({}, {});
  THLines(kView, 20, 0.5f, 0.5f, false).DrawGeometry(controller, 0.5);
  TRandomFilter(kView, 2, 2, 0, 0).DrawGeometry(controller, 0.5);
  TSlideFilter(1).DrawGeometry(controller, 0.5);
  EXPECT_TRUE(controller.tiles.empty());
}

}  // namespace
}  // namespace zel
