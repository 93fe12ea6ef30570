#include <gtest/gtest.h>

#include "imaging/color.h"
#include "textout/raster_helper.h"

namespace zel {
namespace {

uint32_t PixelAt(const TDirectBitmap& bitmap, int x, int y) {
  return reinterpret_cast<const uint32_t*>(bitmap.ScanLine(y))[x];
}

std::unique_ptr<TDirectBitmap> Fill(const TPath& path, int w, int h, bool evenOdd = false,
                                    TColor colour = 0xFFFFFFFF) {
  TRasterHelper helper;
  helper.FillColor = colour;
  helper.BeginPaint(w, h);
  helper.FillPath(path, evenOdd);
  return helper.EndPaint();
}

TPath Square(float left, float top, float right, float bottom) {
  TPath path;
  path.AddRectangle(left, top, right, bottom);
  return path;
}

TEST(ScanConversion, SquareOnPixelBoundariesIsExact) {
  const auto bitmap = Fill(Square(2, 3, 6, 7), 10, 10, false, 0xFF336699);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 3 && y < 7;
      EXPECT_EQ(PixelAt(*bitmap, x, y), inside ? 0xFF336699u : 0x00336699u) << x << "," << y;
    }
}

TEST(ScanConversion, HalfPixelEdgesGiveHalfCoverage) {
  // Right edge at 6.5 and bottom edge at 7.5: 8 of 16 columns or rows.
  const auto bitmap = Fill(Square(2, 3, 6.5f, 7.5f), 10, 10);
  EXPECT_EQ(PixelAt(*bitmap, 5, 5), 0xFFFFFFFFu);
  // Coverage 128 on a transparent pixel: alpha 128 * 255 / 256 = 127.
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 6, 5)), 127u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 4, 7)), 127u);
  // The corner pixel is a quarter covered: coverage 64.
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 6, 7)), 64u * 255 / 256);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 7, 5)), 0u);
}

TEST(ScanConversion, QuarterPixelLeftEdge) {
  // x from 2.25: the first pixel gets 16 - 4 = 12 units per sub-row.
  const auto bitmap = Fill(Square(2.25f, 0, 4, 1), 6, 2);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 2, 0)), 12u * 16 * 255 / 256);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 3, 0)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 2, 1)), 0u);
}

TEST(ScanConversion, DirectionOfDrawingDoesNotMatter) {
  TPath backwards;
  backwards.MoveTo(2, 3);
  backwards.LineTo(2, 7);
  backwards.LineTo(6, 7);
  backwards.LineTo(6, 3);
  const auto a = Fill(backwards, 10, 10);
  const auto b = Fill(Square(2, 3, 6, 7), 10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(*a, x, y), PixelAt(*b, x, y));
}

TEST(ScanConversion, OverlapHoleOnlyWithEvenOdd) {
  TPath path = Square(0, 0, 6, 6);
  const TPath second = Square(3, 3, 9, 9);
  path.Points.insert(path.Points.end(), second.Points.begin(), second.Points.end());
  const auto nonZero = Fill(path, 10, 10, false);
  const auto evenOdd = Fill(path, 10, 10, true);
  EXPECT_EQ(AlphaOf(PixelAt(*nonZero, 4, 4)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*evenOdd, 4, 4)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*evenOdd, 1, 1)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*evenOdd, 7, 7)), 255u);
}

TEST(ScanConversion, OppositeWindingCancelsUnderNonZero) {
  // An inner square drawn the other way round cuts a hole with either rule.
  TPath path = Square(0, 0, 8, 8);
  path.MoveTo(2, 2);
  path.LineTo(2, 6);
  path.LineTo(6, 6);
  path.LineTo(6, 2);
  const auto bitmap = Fill(path, 8, 8, false);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 4, 4)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 1, 4)), 255u);
}

TEST(ScanConversion, ShapesBeyondTheBitmapAreClipped) {
  const auto bitmap = Fill(Square(-5, -5, 15, 3), 10, 6);
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(AlphaOf(PixelAt(*bitmap, x, 0)), 255u) << x;
    EXPECT_EQ(AlphaOf(PixelAt(*bitmap, x, 2)), 255u) << x;
    EXPECT_EQ(AlphaOf(PixelAt(*bitmap, x, 3)), 0u) << x;
  }
  // Entirely left of or below the bitmap: nothing, and no fault.
  const auto none = Fill(Square(-20, 0, -10, 5), 10, 6);
  const auto below = Fill(Square(0, 10, 5, 20), 10, 6);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(*none, x, 1), 0x00FFFFFFu);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(*below, x, 5), 0x00FFFFFFu);
}

TEST(ScanConversion, HugeCoordinatesAreLimited) {
  const auto bitmap = Fill(Square(-1e30f, -1e30f, 1e30f, 1e30f), 4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(AlphaOf(PixelAt(*bitmap, x, y)), 255u);
}

TEST(ScanConversion, PathNotStartingWithMoveDrawsNothing) {
  TPath path;
  path.LineTo(0, 0);
  path.LineTo(5, 0);
  path.LineTo(5, 5);
  const auto bitmap = Fill(path, 6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(AlphaOf(PixelAt(*bitmap, x, y)), 0u);
}

TEST(ScanConversion, FigureAfterEndNeedsAMove) {
  TPath path = Square(0, 0, 2, 2);
  path.EndFigure();
  path.LineTo(4, 0);  // not a move: the walk ends here
  path.LineTo(6, 6);
  const auto bitmap = Fill(path, 8, 8);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 1, 1)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 4)), 0u);
}

TEST(ScanConversion, CurvesAreFlattenedInsideTheirHull) {
  // A quadratic bulge: its points lie between the chord and the control point.
  TPath path;
  path.MoveTo(0, 10);
  path.Add(10, -10, pcQuadratic);
  path.Add(20, 10, pcQuadratic);
  const auto bitmap = Fill(path, 20, 12);
  // The curve's apex is at y = 0 (t = 0.5): the pixel just under it is inside.
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 10, 1)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 1, 1)), 0u);
  // A curve short of its end point ends the walk without fault.
  TPath shortCurve;
  shortCurve.MoveTo(0, 0);
  shortCurve.Add(5, 5, pcCubic);
  shortCurve.Add(6, 6, pcCubic);
  const auto empty = Fill(shortCurve, 8, 8);
  EXPECT_EQ(AlphaOf(PixelAt(*empty, 3, 3)), 0u);
}

TEST(ScanConversion, ClosedLoopCurveIsNotLost) {
  // A cubic that ends where it starts has a zero chord but real area.
  TPath path;
  path.MoveTo(2, 10);
  path.Add(2, -6, pcCubic);
  path.Add(18, -6, pcCubic);
  path.Add(2, 10, pcCubic);
  const auto bitmap = Fill(path, 20, 12);
  int covered = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) covered += AlphaOf(PixelAt(*bitmap, x, y)) == 255;
  EXPECT_GT(covered, 10);
}

TEST(ScanConversion, TransformMovesAndScales) {
  TRasterHelper helper;
  helper.SetTransform(TMatrix3::Scaling(2, 2));
  helper.ComposeTransform(TMatrix3::Translation(1, 0));
  helper.BeginPaint(10, 10);
  helper.FillPath(Square(0, 0, 2, 2));  // becomes (1, 0) - (5, 4)
  const auto bitmap = helper.EndPaint();
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 0, 1)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 1, 1)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 4, 3)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 3)), 0u);
}

TEST(ScanConversion, ClipRectangleLimitsPainting) {
  TRasterHelper helper;
  helper.ClipRect = {2, 2, 5, 5};
  helper.BeginPaint(8, 8);
  helper.FillPath(Square(0, 0, 8, 8));
  const auto bitmap = helper.EndPaint();
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 1, 3)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 3, 1)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 3, 3)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 3)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 3, 5)), 0u);
}

TEST(ScanConversion, ColourFunctionGivesEachPixel) {
  TRasterHelper helper;
  helper.ColorFunction = [](int x, int y) { return MakeColor(static_cast<uint32_t>(x * 10), static_cast<uint32_t>(y * 10), 0); };
  helper.BeginPaint(6, 6);
  helper.FillPath(Square(0, 0, 6, 6));
  const auto bitmap = helper.EndPaint();
  EXPECT_EQ(PixelAt(*bitmap, 3, 4), MakeColor(30, 40, 0));
}

TEST(ScanConversion, StrokeModeOutlinesALine) {
  TRasterHelper helper;
  helper.StrokeMode = true;
  helper.LineWidth = 2;
  helper.BeginPaint(10, 10);
  TPath line;
  line.MoveTo(1, 5);
  line.LineTo(9, 5);
  helper.FillPath(line);
  const auto bitmap = helper.EndPaint();
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 4)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 5)), 255u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 3)), 0u);
  EXPECT_EQ(AlphaOf(PixelAt(*bitmap, 5, 6)), 0u);
}

TEST(ScanConversion, PaintingStateErrorsAreAssertions) {
  TRasterHelper helper;
  EXPECT_THROW(helper.EndPaint(), EAssertionFailed);
  EXPECT_THROW(helper.FillPath(Square(0, 0, 1, 1)), EAssertionFailed);
  EXPECT_THROW(helper.BeginPaint(0, 5), EAssertionFailed);
  helper.BeginPaint(2, 2);
  EXPECT_THROW(helper.BeginPaint(2, 2), EAssertionFailed);
  TPath bad;
  bad.MoveTo(0, 0);
  bad.Add(1, 1, 7);
  EXPECT_THROW(helper.FillPath(bad), EAssertionFailed);
  helper.EndPaint();
}

TEST(ScanConversion, BlendOverOpaqueAndTranslucentPixels) {
  TRasterHelper helper;
  helper.FillColor = 0x80FF0000;  // half-opaque red
  helper.BeginPaint(2, 1, 0xFF0000FF);  // opaque blue
  helper.FillPath(Square(0, 0, 2, 1));
  const auto bitmap = helper.EndPaint();
  // c_d + a_s * (c_s - c_d) / 256 per channel (shifted, so rounding down),
  // alpha stays 255: red 0 + 32640 / 256, blue 255 - 32640 / 256 - 1.
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), MakeColor(127, 0, 127));
}

}  // namespace
}  // namespace zel
