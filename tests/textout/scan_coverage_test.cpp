// Pins the scan converter's coverage on awkward polygons against a brute-force
// sampler: every one of a pixel's 16 x 16 sample points is tested on its own,
// and the pixel's coverage is the number of samples inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "imaging/color.h"
#include "textout/outline.h"
#include "textout/raster_helper.h"

namespace zel {
namespace {

// One straight piece of outline in 1/16 pixel units.
struct TRefEdge {
  int64_t X0, Top, Height;
  double Slope;
  int Direction;
};

int64_t Sub(float v) {
  const double limited = std::clamp(static_cast<double>(v), -67108864.0, 67108864.0);
  return static_cast<int64_t>(std::nearbyint(limited * 16));
}

std::vector<TRefEdge> RefEdges(const TPath& path) {
  std::vector<TRefEdge> edges;
  int64_t sx = 0, sy = 0, lx = 0, ly = 0;
  bool open = false;
  const auto add = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (y0 == y1) return;
    const bool down = y1 > y0;
    const int64_t ux = down ? x0 : x1, uy = down ? y0 : y1, bx = down ? x1 : x0, by = down ? y1 : y0;
    edges.push_back({ux, uy, by - uy, static_cast<double>(bx - ux) / static_cast<double>(by - uy), down ? 1 : -1});
  };
  for (const TPathPoint& p : path.Points) {
    if (p.Command == pcEndFigure) continue;
    const int64_t x = Sub(p.X), y = Sub(p.Y);
    if (p.Command == pcMoveTo) {
      if (open) add(lx, ly, sx, sy);
      sx = x, sy = y, open = true;
    } else {
      add(lx, ly, x, y);
    }
    lx = x, ly = y;
  }
  if (open) add(lx, ly, sx, sy);
  return edges;
}

// Coverage (0 ... 256) of every pixel: a sample at sub-column c of sub-row j
// is inside when the edges crossing sub-row j at or left of c wind to a
// non-zero (or, for even-odd, an odd) total. An edge crosses a sub-row at its
// centre, rounded to the nearest sub-column.
std::vector<int> RefCoverage(const TPath& path, int w, int h, bool evenOdd) {
  const std::vector<TRefEdge> edges = RefEdges(path);
  std::vector<int> coverage(static_cast<size_t>(w * h), 0);
  std::vector<int> delta(static_cast<size_t>(w * 16 + 1));
  for (int64_t j = 0; j < int64_t{h} * 16; ++j) {
    std::fill(delta.begin(), delta.end(), 0);
    for (const TRefEdge& e : edges) {
      if (j < e.Top || j - e.Top >= e.Height) continue;
      const double x = std::nearbyint((static_cast<double>(j - e.Top) + 0.5) * e.Slope) + static_cast<double>(e.X0);
      delta[static_cast<size_t>(std::clamp<double>(x, 0, w * 16))] += e.Direction;
    }
    int winding = 0;
    for (int c = 0; c < w * 16; ++c) {
      winding += delta[static_cast<size_t>(c)];
      const bool inside = evenOdd ? (winding & 1) != 0 : winding != 0;
      if (inside) ++coverage[static_cast<size_t>((j / 16) * w + c / 16)];
    }
  }
  return coverage;
}

// Fills with opaque white on a transparent bitmap and compares every pixel
// with the coverage the sampler predicts (alpha c * 255 / 256, 255 when full).
void ExpectSameAsSampler(const TPath& path, int w, int h, bool evenOdd) {
  TRasterHelper helper;
  helper.BeginPaint(w, h);
  helper.FillPath(path, evenOdd);
  const auto bitmap = helper.EndPaint();
  const std::vector<int> expected = RefCoverage(path, w, h, evenOdd);
  int mismatches = 0;
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      const int c = expected[static_cast<size_t>(y * w + x)];
      const uint32_t want = c == 0 ? 0x00FFFFFFu : c >= 256 ? 0xFFFFFFFFu : SetAlpha(0xFFFFFFu, c * 255u / 256);
      if (row[x] != want && ++mismatches <= 5)
        ADD_FAILURE() << "pixel " << x << "," << y << ": got " << std::hex << row[x] << ", want " << want;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

void AddPolygon(TPath& path, std::initializer_list<std::pair<float, float>> points) {
  bool first = true;
  for (const auto& [x, y] : points) {
    if (first) path.MoveTo(x, y), first = false;
    else path.LineTo(x, y);
  }
}

TEST(ScanCoverage, SelfOverlappingStarUnderBothRules) {
  // A pentagram: its centre winds twice.
  TPath star;
  AddPolygon(star, {{10, 1}, {15.9f, 18.6f}, {1.3f, 7.4f}, {18.7f, 7.4f}, {4.1f, 18.6f}});
  ExpectSameAsSampler(star, 21, 21, false);
  ExpectSameAsSampler(star, 21, 21, true);
}

TEST(ScanCoverage, NestedAndOpposedFigures) {
  // Same-direction squares overlap to winding 2; a reversed one next to a
  // forward one gives +1 and -1 spans that share pixels.
  TPath path;
  AddPolygon(path, {{1.3f, 1.3f}, {9.7f, 1.3f}, {9.7f, 9.7f}, {1.3f, 9.7f}});
  AddPolygon(path, {{4.1f, 4.1f}, {12.6f, 4.1f}, {12.6f, 12.6f}, {4.1f, 12.6f}});
  AddPolygon(path, {{13.05f, 2.2f}, {13.05f, 14.9f}, {13.6f, 14.9f}, {13.6f, 2.2f}});
  AddPolygon(path, {{13.6f, 2.2f}, {14.2f, 2.2f}, {14.2f, 14.9f}, {13.6f, 14.9f}});
  ExpectSameAsSampler(path, 16, 16, false);
  ExpectSameAsSampler(path, 16, 16, true);
}

TEST(ScanCoverage, SubPixelSliversAndSpikes) {
  TPath path;
  // Narrower than one sub-column, nearly horizontal, and a zero-area spike.
  AddPolygon(path, {{2.0f, 0.2f}, {2.04f, 0.2f}, {2.9f, 9.8f}, {2.87f, 9.8f}});
  AddPolygon(path, {{4.0f, 3.01f}, {15.5f, 3.04f}, {4.0f, 3.09f}});
  AddPolygon(path, {{6.5f, 5.0f}, {9.5f, 11.0f}, {6.5f, 5.0f}});
  // A bow-tie whose two halves cross inside one pixel.
  AddPolygon(path, {{10.1f, 6.1f}, {10.9f, 6.9f}, {10.9f, 6.1f}, {10.1f, 6.9f}});
  ExpectSameAsSampler(path, 16, 12, false);
  ExpectSameAsSampler(path, 16, 12, true);
}

TEST(ScanCoverage, ShapesCrossingEveryBorder) {
  TPath path;
  AddPolygon(path, {{-3.3f, -2.7f}, {5.2f, 4.4f}, {-1.1f, 8.9f}});
  AddPolygon(path, {{7.7f, -4.0f}, {14.6f, 3.3f}, {9.1f, 12.8f}});
  AddPolygon(path, {{2.5f, 7.5f}, {6.5f, 15.0f}, {-2.0f, 13.0f}});
  ExpectSameAsSampler(path, 11, 10, false);
  ExpectSameAsSampler(path, 11, 10, true);
}

TEST(ScanCoverage, HugeCoordinatesCrossingTheBitmap) {
  TPath path;
  // Long, nearly horizontal and nearly vertical edges far outside, and a
  // point beyond the coordinate limit.
  AddPolygon(path, {{-9.0e6f, 2.3f}, {9.0e6f, 5.9f}, {3.3f, 1.0e7f}});
  AddPolygon(path, {{6.2f, -8.0e6f}, {7.9f, 8.0e6f}, {1.0e30f, 3.0f}});
  ExpectSameAsSampler(path, 12, 9, false);
  ExpectSameAsSampler(path, 12, 9, true);
}

TEST(ScanCoverage, RandomPolygons) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<float> coordinate(-4.0f, 28.0f);
  for (int round = 0; round < 60; ++round) {
    TPath path;
    const int figures = 1 + round % 3;
    for (int f = 0; f < figures; ++f) {
      const int corners = 3 + static_cast<int>(random() % 9);
      path.MoveTo(coordinate(random), coordinate(random));
      for (int k = 1; k < corners; ++k) path.LineTo(coordinate(random), coordinate(random));
    }
    SCOPED_TRACE(round);
    ExpectSameAsSampler(path, 24, 24, round % 2 == 1);
  }
}

TEST(ScanCoverage, GlyphLikeOutlineWithCounter) {
  // An "o": an outer ring drawn one way and its counter the other way, made
  // of many short edges as a flattened curve would be.
  TPath path;
  for (int figure = 0; figure < 2; ++figure) {
    const float r = figure == 0 ? 9.3f : 5.1f;
    for (int k = 0; k < 40; ++k) {
      const double t = (figure == 0 ? k : -k) * 2 * M_PI / 40;
      const float x = 11.2f + r * static_cast<float>(std::cos(t)), y = 10.7f + r * 1.2f * static_cast<float>(std::sin(t));
      if (k == 0) path.MoveTo(x, y);
      else path.LineTo(x, y);
    }
  }
  ExpectSameAsSampler(path, 23, 23, false);
  ExpectSameAsSampler(path, 23, 23, true);
}

// Paints the same figure at several places in one bitmap, then each alone in
// a fresh bitmap; the pixels must agree, whichever order they were drawn in.
TEST(ScanCoverage, RepeatedFiguresMatchFreshOnes) {
  TPath shape;
  shape.MoveTo(0.3f, 0.1f);
  shape.Add(6.8f, -1.0f, pcQuadratic);
  shape.Add(5.9f, 7.3f, pcQuadratic);
  shape.Add(1.0f, 9.0f, pcCubic);
  shape.Add(-2.0f, 4.0f, pcCubic);
  shape.Add(0.3f, 0.1f, pcCubic);
  const float offsets[][2] = {{3, 2}, {14, 2}, {3.5f, 14}, {14.5f, 14}, {25, 2.25f}, {25, 14}, {36, 2}, {36.03f, 14}};
  const auto drawAt = [&](TRasterHelper& helper, float dx, float dy) {
    helper.SetTransform(TMatrix3::Translation(dx, dy));
    helper.FillPath(shape, false);
  };
  TRasterHelper together;
  together.BeginPaint(46, 26);
  for (const auto& o : offsets) drawAt(together, o[0], o[1]);
  const auto all = together.EndPaint();
  for (const auto& o : offsets) {
    TRasterHelper alone;
    alone.BeginPaint(46, 26);
    drawAt(alone, o[0], o[1]);
    const auto one = alone.EndPaint();
    const int left = static_cast<int>(o[0]) - 3, top = static_cast<int>(o[1]) - 2;
    for (int y = top; y < top + 12; ++y)
      for (int x = left; x < left + 11; ++x)
        ASSERT_EQ(reinterpret_cast<const uint32_t*>(all->ScanLine(y))[x],
                  reinterpret_cast<const uint32_t*>(one->ScanLine(y))[x])
            << "figure at " << o[0] << "," << o[1] << ", pixel " << x << "," << y;
  }
}

// Repeats that cross the bitmap's borders, or fall partly left of the clip
// rectangle, must not take the coverage of a whole copy drawn elsewhere.
TEST(ScanCoverage, RepeatsAtBordersAndClipMatchFreshOnes) {
  TPath shape;
  AddPolygon(shape, {{0.2f, 0.4f}, {5.7f, 1.1f}, {3.3f, 6.6f}});
  // The second of each same-phase pair repeats the first; (0.5, 11) repeats
  // (6.5, 11) across the clip's left side.
  const float offsets[][2] = {{6, 4}, {12, 4}, {-2, 4}, {19.5f, 4}, {6, -3}, {6.5f, 11}, {0.5f, 11}, {13.5f, 11.5f}};
  for (const int clipLeft : {0, 5}) {
    const auto paint = [&](size_t first, size_t last) {
      TRasterHelper helper;
      helper.ClipRect.Left = clipLeft;
      helper.BeginPaint(22, 20);
      for (size_t i = first; i < last; ++i) {
        helper.SetTransform(TMatrix3::Translation(offsets[i][0], offsets[i][1]));
        helper.FillPath(shape, false);
      }
      return helper.EndPaint();
    };
    const auto all = paint(0, std::size(offsets));
    // The figures do not overlap: each one's pixels come from it alone.
    std::vector<uint32_t> merged(22 * 20, 0x00FFFFFFu);
    for (size_t i = 0; i < std::size(offsets); ++i) {
      const auto one = paint(i, i + 1);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 22; ++x) {
          const uint32_t p = reinterpret_cast<const uint32_t*>(one->ScanLine(y))[x];
          if (p != 0x00FFFFFFu) merged[static_cast<size_t>(y * 22 + x)] = p;
        }
    }
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 22; ++x)
        ASSERT_EQ(reinterpret_cast<const uint32_t*>(all->ScanLine(y))[x], merged[static_cast<size_t>(y * 22 + x)])
            << "clip " << clipLeft << ", pixel " << x << "," << y;
  }
}

// The outline's chains: runs of one figure's edges going one way, each
// covering its sub-rows without gaps, from the top down.
TEST(OutlineChains, MonotoneRunsJoinAcrossTheFigureStart) {
  TOutline outline;
  // A "W" started halfway down its first stroke: four runs, the first and
  // last of the drawing joining into one.
  outline.MoveTo(1, 3);
  outline.LineTo(2, 6);
  outline.LineTo(3, 2);
  outline.LineTo(4, 6);
  outline.LineTo(5, 0);
  outline.LineTo(0, 0);
  outline.Close();
  const std::vector<TOutlineChain>& chains = outline.Chains();
  ASSERT_EQ(chains.size(), 4u);
  int down = 0;
  for (size_t c = 0; c < chains.size(); ++c) {
    if (c > 0) {
      EXPECT_LE(chains[c - 1].Top, chains[c].Top);
    }
    const TOutlineChain& chain = chains[c];
    down += chain.Direction > 0;
    int64_t y = chain.Top;
    for (uint32_t i = chain.First; i < chain.First + chain.Count; ++i) {
      const TOutlineEdge& e = outline.Edges()[i];
      EXPECT_EQ(e.Direction, chain.Direction);
      EXPECT_EQ(e.Top, y);
      y += e.Height;
    }
    EXPECT_EQ(y, chain.Bottom);
  }
  EXPECT_EQ(down, 2);
  // The joined run goes from the top-left corner (0, 0) down to (2, 6).
  const auto joined = std::find_if(chains.begin(), chains.end(), [](const TOutlineChain& c) { return c.Count == 2; });
  ASSERT_NE(joined, chains.end());
  EXPECT_EQ(joined->Direction, 1);
  EXPECT_EQ(joined->Top, 0);
  EXPECT_EQ(joined->Bottom, 6 * 16);
  EXPECT_EQ(outline.Left(), 0);
  EXPECT_EQ(outline.Right(), 5 * 16);
  EXPECT_EQ(outline.Bottom(), 6 * 16);
}

}  // namespace
}  // namespace zel
