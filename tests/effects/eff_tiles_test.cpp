// The tile grid: tiles made once per cell, the grid's bounds, the polygon
// separator that cuts triangles along the grid lines, and the multi-tile
// that hands each cell its pieces as fans.
#include "effects/eff_tiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "assertion_capture.h"

namespace zel {
namespace {

using testing_support::TAssertionCapture;

struct TBatch {
  bool textured = false;
  bool fullModulation = false;
  std::vector<TEffTriangle> triangles;
};

// Keeps every batch it is given; the controller's log gets one line per
// begin ("B c,r") so that the order of the cells can be checked.
class TLoggingTile : public TEffTile {
 public:
  TLoggingTile(TEffController& controller, const TRect& rect, int column, int row, std::vector<std::string>& log,
               int& freed)
      : TEffTile(controller, rect, column, row), fLog(log), fFreed(freed) {}
  ~TLoggingTile() override { ++fFreed; }

  void BeginTriangles(bool textured, bool fullModulation) override {
    EXPECT_FALSE(fOpen) << "a batch begun twice";
    fOpen = true;
    batches.push_back({textured, fullModulation, {}});
    fLog.push_back("B " + std::to_string(Column()) + "," + std::to_string(Row()));
  }
  void AddTriangle(const TEffTriangle& vertices) override {
    ASSERT_TRUE(fOpen) << "a triangle outside a batch";
    batches.back().triangles.push_back(vertices);
  }
  void AddColouredTriangle(const std::array<TEffPoint, 3>&, const TEffColours&) override { ADD_FAILURE(); }
  void AddMappedTriangle(const std::array<TEffSourcePoint, 3>&, const std::array<TEffPoint, 3>&) override {
    ADD_FAILURE();
  }
  void AddColouredTriangle3D(const std::array<TEffPoint3D, 3>&, const TEffColours&) override { ADD_FAILURE(); }
  void AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>&, const std::array<TEffPoint3D, 3>&) override {
    ADD_FAILURE();
  }
  void EndTriangles() override {
    EXPECT_TRUE(fOpen) << "an end without a begin";
    fOpen = false;
  }

  std::vector<TBatch> batches;

 private:
  std::vector<std::string>& fLog;
  int& fFreed;
  bool fOpen = false;
};

class TLoggingController : public TEffController {
 public:
  TLoggingTile& At(int column, int row) { return static_cast<TLoggingTile&>(Tile(column, row)); }

  std::vector<std::string> log;
  int made = 0;
  int freed = 0;

 protected:
  std::unique_ptr<TEffTile> CreateTile(const TRect& rect, int column, int row) override {
    ++made;
    return std::make_unique<TLoggingTile>(*this, rect, column, row, log, freed);
  }
};

double Area(std::span<const TEffVertex> polygon) {
  double twice = 0;
  for (std::size_t i = 0; i < polygon.size(); ++i) {
    const TEffVertex& p = polygon[i];
    const TEffVertex& q = polygon[(i + 1) % polygon.size()];
    twice += static_cast<double>(p.x) * q.y - static_cast<double>(q.x) * p.y;
  }
  return std::fabs(twice) / 2;
}

// The alpha the triangle's linear interpolation gives at a point, which
// every vertex put on a cut must carry.
double AlphaInside(const TEffTriangle& t, double x, double y) {
  const double det = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
  const double u = ((x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (y - t[0].y)) / det;
  const double v = ((t[1].x - t[0].x) * (y - t[0].y) - (x - t[0].x) * (t[1].y - t[0].y)) / det;
  return t[0].alpha + u * (t[1].alpha - t[0].alpha) + v * (t[2].alpha - t[0].alpha);
}

const float kEdges[] = {0, 100, 200};

// ---------------------------------------------------------------------------

TEST(EffController, TilesAreMadeOnceWithTheirRoundedCellRectangles) {
  TLoggingController controller;
  const float xs[] = {0.4f, 99.6f, 200.5f};
  const float ys[] = {10, 50.2f};
  controller.SetGrid(xs, ys);
  EXPECT_EQ(controller.Columns(), 2);
  EXPECT_EQ(controller.Rows(), 1);
  // Halves go to the even neighbour; the other edges to the nearest pixel.
  EXPECT_EQ(controller.GetBounds(), (TRect{0, 10, 200, 50}));
  TEffTile& tile = controller.Tile(1, 0);
  EXPECT_EQ(tile.Rect(), (TRect{100, 10, 200, 50}));
  EXPECT_EQ(tile.Column(), 1);
  EXPECT_EQ(tile.Row(), 0);
  EXPECT_EQ(&controller.Tile(1, 0), &tile);
  EXPECT_EQ(controller.made, 1);
}

TEST(EffController, AnEmptyGridHasEmptyBounds) {
  TLoggingController controller;
  EXPECT_TRUE(controller.IsGridEmpty());
  EXPECT_EQ(controller.GetBounds(), TRect{});
  const float one[] = {5};
  controller.SetGrid(kEdges, one);
  EXPECT_TRUE(controller.IsGridEmpty());
  EXPECT_EQ(controller.GetBounds(), TRect{});
}

TEST(EffController, ATileOutsideTheGridIsAProgrammingError) {
  TAssertionCapture capture;
  TLoggingController controller;
  controller.SetGrid(kEdges, kEdges);
  EXPECT_THROW(controller.Tile(2, 0), EAssertionFailed);
  EXPECT_THROW(controller.Tile(0, 2), EAssertionFailed);
  EXPECT_THROW(controller.Tile(-1, 0), EAssertionFailed);
  EXPECT_EQ(controller.made, 0);
}

TEST(EffController, SettingTheGridFreesTilesAndTheMultiTile) {
  TLoggingController controller;
  controller.SetGrid(kEdges, kEdges);
  controller.Tile(0, 0);
  controller.Tile(1, 1);
  EXPECT_EQ(controller.MultiTile().Separator().Columns(), 2);
  const float wide[] = {0, 50, 100, 150};
  controller.SetGrid(wide, kEdges);
  EXPECT_EQ(controller.freed, 2);
  // A new multi-tile, cutting along the new edges.
  EXPECT_EQ(controller.MultiTile().Separator().Columns(), 3);
  EXPECT_EQ(controller.Tile(0, 0).Rect(), (TRect{0, 0, 50, 100}));
}

// ---------------------------------------------------------------------------

TEST(T2DSeparator, AnEmptyCutListIsAProgrammingError) {
  TAssertionCapture capture;
  EXPECT_THROW(T2DSeparator(std::span<const float>(), kEdges), EAssertionFailed);
  EXPECT_THROW(T2DSeparator(kEdges, std::span<const float>()), EAssertionFailed);
}

TEST(T2DSeparator, ATriangleAcrossFourCellsKeepsItsAreaAndAlphas) {
  T2DSeparator separator(kEdges, kEdges);
  const TEffTriangle triangle{{{20, 30, 0}, {180, 60, 255}, {90, 190, 100}}};
  separator.AddPolygon(triangle);
  double area = 0;
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 2; ++column) {
      const TEffPolygonList& cell = separator.Cell(column, row);
      ASSERT_EQ(cell.Count(), 1u) << column << "," << row;
      const auto piece = cell.Polygon(0);
      area += Area(piece);
      for (const TEffVertex& v : piece) {
        EXPECT_GE(v.x, kEdges[column]);
        EXPECT_LE(v.x, kEdges[column + 1]);
        EXPECT_GE(v.y, kEdges[row]);
        EXPECT_LE(v.y, kEdges[row + 1]);
        EXPECT_NEAR(v.alpha, AlphaInside(triangle, v.x, v.y), 1e-3) << v.x << "," << v.y;
      }
    }
  }
  EXPECT_NEAR(area, Area(triangle), 1e-2);
}

TEST(T2DSeparator, WhatLiesOutsideTheOuterCutsIsDropped) {
  T2DSeparator separator(kEdges, kEdges);
  // Half-way out on the left: the part right of x = 0 is 7,500 of 10,000.
  const TEffTriangle across{{{-100, 0, 255}, {100, 0, 255}, {100, 100, 255}}};
  separator.AddPolygon(across);
  double area = 0;
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 2; ++column) {
      const TEffPolygonList& cell = separator.Cell(column, row);
      for (std::size_t i = 0; i < cell.Count(); ++i) {
        area += Area(cell.Polygon(i));
        for (const TEffVertex& v : cell.Polygon(i)) EXPECT_GE(v.x, 0);
      }
    }
  }
  EXPECT_NEAR(area, 7500, 1e-2);

  separator.Clear();
  const TEffTriangle outside{{{210, 0, 255}, {300, 0, 255}, {250, 90, 255}}};
  separator.AddPolygon(outside);
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 2; ++column) EXPECT_TRUE(separator.Cell(column, row).IsEmpty());
  }
}

TEST(T2DSeparator, ATriangleTouchingACutLeavesTheNeighbourEmpty) {
  T2DSeparator separator(kEdges, kEdges);
  // One side on x = 100 and one corner on y = 100: all in cell (0, 0).
  const TEffTriangle triangle{{{100, 10, 255}, {100, 100, 255}, {20, 50, 255}}};
  separator.AddPolygon(triangle);
  ASSERT_EQ(separator.Cell(0, 0).Count(), 1u);
  EXPECT_EQ(separator.Cell(0, 0).Polygon(0).size(), 3u);
  EXPECT_TRUE(separator.Cell(1, 0).IsEmpty());
  EXPECT_TRUE(separator.Cell(0, 1).IsEmpty());
  EXPECT_TRUE(separator.Cell(1, 1).IsEmpty());
}

// ---------------------------------------------------------------------------

TEST(TMultiTile, CellsGetTheirPiecesRowByRowAsFans) {
  TLoggingController controller;
  controller.SetGrid(kEdges, kEdges);
  TMultiTile& multi = controller.MultiTile();
  multi.BeginTriangles(true, true);
  // The long side runs from (190, 10) to (10, 150): it cuts the corner
  // (100, 100) off cell (0, 0) and misses cell (1, 1).
  multi.AddTriangle({{{10, 10, 255}, {190, 10, 255}, {10, 150, 255}}});
  multi.EndTriangles();
  EXPECT_EQ(controller.log, (std::vector<std::string>{"B 0,0", "B 1,0", "B 0,1"}));
  for (const auto& [column, row] : {std::pair{0, 0}, {1, 0}, {0, 1}}) {
    const TLoggingTile& tile = controller.At(column, row);
    ASSERT_EQ(tile.batches.size(), 1u);
    // Textured, whatever the multi-tile's batch asked for.
    EXPECT_TRUE(tile.batches[0].textured);
    EXPECT_FALSE(tile.batches[0].fullModulation);
    // Each tile gets the pieces of its own cell.
    for (const TEffTriangle& t : tile.batches[0].triangles) {
      for (const TEffVertex& v : t) {
        EXPECT_GE(v.x, tile.Rect().Left);
        EXPECT_LE(v.x, tile.Rect().Right);
        EXPECT_GE(v.y, tile.Rect().Top);
        EXPECT_LE(v.y, tile.Rect().Bottom);
      }
    }
  }
  // Cell (0, 0) holds a pentagon: a fan of three triangles around its
  // first vertex, each going on from the last edge of the one before.
  const auto& fan = controller.At(0, 0).batches[0].triangles;
  ASSERT_EQ(fan.size(), 3u);
  double area = 0;
  for (std::size_t i = 0; i < fan.size(); ++i) {
    EXPECT_EQ(fan[i][0], fan[0][0]);
    if (i > 0) {
      EXPECT_EQ(fan[i][1], fan[i - 1][2]);
    }
    area += Area(fan[i]);
  }
  // The square 10 .. 100 less the corner beyond (100, 80) - (74.29, 100).
  EXPECT_NEAR(area, 8100 - (100 - 190 + 180 * 90 / 140.0) * 20 / 2, 1e-2);
  EXPECT_EQ(controller.At(1, 0).batches[0].triangles.size(), 1u);
}

TEST(TMultiTile, BeginAndEndForgetWhatWasCollected) {
  TLoggingController controller;
  controller.SetGrid(kEdges, kEdges);
  TMultiTile& multi = controller.MultiTile();
  multi.BeginTriangles(true, false);
  multi.AddTriangle({{{10, 10, 255}, {90, 10, 255}, {10, 90, 255}}});
  multi.BeginTriangles(true, false);
  multi.EndTriangles();
  EXPECT_TRUE(controller.log.empty());

  multi.AddTriangle({{{10, 10, 255}, {90, 10, 255}, {10, 90, 255}}});
  multi.EndTriangles();
  multi.EndTriangles();
  EXPECT_EQ(controller.log, (std::vector<std::string>{"B 0,0"}));
}

TEST(TMultiTile, ASingleCellGridPassesTrianglesThroughUncut) {
  TLoggingController controller;
  const float xs[] = {0, 1280}, ys[] = {0, 720};
  controller.SetGrid(xs, ys);
  const TEffTriangle triangle{{{0, 0, 10}, {1280, 0, 20}, {640, 720, 30}}};
  TMultiTile& multi = controller.MultiTile();
  multi.BeginTriangles(true, false);
  multi.AddTriangle(triangle);
  multi.EndTriangles();
  ASSERT_EQ(controller.At(0, 0).batches.size(), 1u);
  const auto& got = controller.At(0, 0).batches[0].triangles;
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], triangle);
}

TEST(TMultiTile, OnlyPlainTrianglesAreSupported) {
  TAssertionCapture capture;
  TLoggingController controller;
  controller.SetGrid(kEdges, kEdges);
  TMultiTile& multi = controller.MultiTile();
  const std::array<TEffPoint, 3> points{};
  const std::array<TEffSourcePoint, 3> source{};
  const std::array<TEffPoint3D, 3> points3d{};
  const TEffColours colours{};
  EXPECT_THROW(multi.AddColouredTriangle(points, colours), EAssertionFailed);
  EXPECT_THROW(multi.AddMappedTriangle(source, points), EAssertionFailed);
  EXPECT_THROW(multi.AddColouredTriangle3D(points3d, colours), EAssertionFailed);
  EXPECT_THROW(multi.AddMappedTriangle3D(source, points3d), EAssertionFailed);
  ASSERT_EQ(capture.reports.size(), 4u);
  for (const std::string& report : capture.reports) EXPECT_NE(report.find("Not Supported Yet"), std::string::npos);
}

}  // namespace
}  // namespace zel
