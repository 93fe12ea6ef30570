// The gutter view of a sprite sheet: its size, where the gutters are, what
// they repeat, and the checks on reads outside it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "render/tile_bitmap.h"
#include "tile_test_support.h"

namespace zel {
namespace {

using testing_support::AssertsWith;
using testing_support::DistinctColor;
using testing_support::MakeArgb;

// The source pixel a colour was made for by DistinctColor.
TPoint Decode(TColor c) { return {static_cast<int>(RedOf(c) | (BlueOf(c) << 8)), static_cast<int>(GreenOf(c))}; }

TColor ViewPixel(const TBitmap& view, int x, int y) {
  uint32_t pixel = 0;
  EXPECT_EQ(view.GetPixels32(x, y, std::span<uint32_t>(&pixel, 1), 0, 1), 1);
  return pixel;
}

class SpriteSheetView : public ::testing::Test {
 protected:
  // 4 x 2 frames of 100 x 50 pixels.
  std::unique_ptr<TDirectBitmap> fSheet = MakeArgb(400, 100, DistinctColor);
  TTileBitmap fView{*fSheet, 4, 2};
};

TEST_F(SpriteSheetView, FramesGetAOnePixelGutterAllRound) {
  EXPECT_EQ(fView.Width(), 408);
  EXPECT_EQ(fView.Height(), 104);
  EXPECT_EQ(fView.Format(), fSheet->Format());
  EXPECT_EQ(fView.FrameWidth(), 100);
  EXPECT_EQ(fView.FrameHeight(), 50);
  std::vector<int> gutterColumns;
  for (int x = 0; x < fView.Width(); ++x) {
    if (fView.IsGutterColumn(x)) gutterColumns.push_back(x);
  }
  EXPECT_EQ(gutterColumns, (std::vector<int>{0, 101, 102, 203, 204, 305, 306, 407}));
  std::vector<int> gutterRows;
  for (int y = 0; y < fView.Height(); ++y) {
    if (fView.IsGutterRow(y)) gutterRows.push_back(y);
  }
  EXPECT_EQ(gutterRows, (std::vector<int>{0, 51, 52, 103}));
}

TEST_F(SpriteSheetView, GuttersAreTransparentCopiesOfTheNearestFramePixel) {
  // Left and right gutters of the first two frames, on their first row.
  EXPECT_EQ(ViewPixel(fView, 0, 1), NoAlpha(fSheet->PixelColor(0, 0)));
  EXPECT_EQ(ViewPixel(fView, 101, 1), NoAlpha(fSheet->PixelColor(99, 0)));
  EXPECT_EQ(ViewPixel(fView, 102, 1), NoAlpha(fSheet->PixelColor(100, 0)));
  EXPECT_EQ(ViewPixel(fView, 103, 1), fSheet->PixelColor(100, 0));
  EXPECT_EQ(ViewPixel(fView, 407, 60), NoAlpha(fSheet->PixelColor(399, 57)));
  // Gutter rows between the two rows of frames, and the corner of a frame.
  EXPECT_EQ(ViewPixel(fView, 5, 51), NoAlpha(fSheet->PixelColor(4, 49)));
  EXPECT_EQ(ViewPixel(fView, 5, 52), NoAlpha(fSheet->PixelColor(4, 50)));
  EXPECT_EQ(ViewPixel(fView, 5, 53), fSheet->PixelColor(4, 50));
  EXPECT_EQ(ViewPixel(fView, 203, 103), NoAlpha(fSheet->PixelColor(199, 99)));
}

TEST_F(SpriteSheetView, InteriorShowsEverySheetPixelOnceInOrder) {
  std::set<std::pair<int, int>> seen;
  for (int y = 0; y < fView.Height(); ++y) {
    int lastX = -1;
    for (int x = 0; x < fView.Width(); ++x) {
      const TColor c = ViewPixel(fView, x, y);
      const bool gutter = fView.IsGutterColumn(x) || fView.IsGutterRow(y);
      ASSERT_EQ(AlphaOf(c), gutter ? 0u : 255u) << x << "," << y;
      if (gutter) continue;
      const TPoint p = Decode(c);
      ASSERT_GT(p.X, lastX) << "columns out of order at " << x << "," << y;
      lastX = p.X;
      seen.insert({p.X, p.Y});
    }
  }
  EXPECT_EQ(seen.size(), 400u * 100u);
}

TEST_F(SpriteSheetView, RowsThroughScanLineMatchTheComposedReads) {
  // Two rows asked for together stay valid together.
  const uint8_t* first = fView.ScanLine(0);
  const uint8_t* second = fView.ScanLine(53);
  std::vector<uint32_t> expected(408);
  fView.GetPixels32(0, 0, expected, 0, 408);
  EXPECT_EQ(std::memcmp(first, expected.data(), 408 * 4), 0);
  fView.GetPixels32(0, 53, expected, 0, 408);
  EXPECT_EQ(std::memcmp(second, expected.data(), 408 * 4), 0);
  // A copy made the general way (through the rows) is the same picture.
  TDirectBitmap copy(408, 104, FormatA8R8G8B8());
  copy.Assign(fView);
  EXPECT_EQ(copy.PixelColor(102, 52), ViewPixel(fView, 102, 52));
  EXPECT_EQ(copy.PixelColor(250, 80), ViewPixel(fView, 250, 80));
}

TEST_F(SpriteSheetView, ReadsOutsideTheViewAssert) {
  std::vector<uint8_t> bytes(16);
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels(408, 0, bytes, 0, 1); }, "TTileBitmap.GetPixels (X,Y) out of Bitmap.Size"));
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels(0, 104, bytes, 0, 1); }, "TTileBitmap.GetPixels (X,Y) out of Bitmap.Size"));
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels(-1, 0, bytes, 0, 1); }, "TTileBitmap.GetPixels (X,Y) out of Bitmap.Size"));
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels(0, 0, bytes, -4, 1); }, "TTileBitmap.GetPixels - Offset out of Bounds"));
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels(0, 0, bytes, 4, 4); },
                          "TTileBitmap.GetPixels - Not Enought Pixel Buffer Space"));
  std::vector<TRGBTriple> triples(4);
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels24(0, 0, triples, 0, 1); }, "TTileBitmap.GetPixels24 - Invalid Pixel Size"));
  std::vector<uint32_t> pixels(4);
  EXPECT_TRUE(AssertsWith([&] { fView.GetPixels32(0, -1, pixels, 0, 1); }, "TTileBitmap.GetPixels32 out of Bitmap.Size"));
  // A run is cut at the row's end rather than read past it.
  EXPECT_EQ(fView.GetPixels(406, 0, bytes, 0, 4), 8);
}

TEST(TileBitmap, TwentyFourBitGuttersArePlainCopies) {
  auto sheet = std::make_unique<TDirectBitmap>(6, 4, FormatR8G8B8());
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      auto* p = sheet->ScanLine(y) + 3 * x;
      p[0] = static_cast<uint8_t>(10 + x);
      p[1] = static_cast<uint8_t>(100 + y);
      p[2] = 200;
    }
  }
  const TDirectBitmap& original = *sheet;
  TTileBitmap view(std::move(sheet), 2, 2);  // frames of 3 x 2
  EXPECT_TRUE(view.OwnsSource());
  ASSERT_EQ(view.Width(), 10);
  ASSERT_EQ(view.Height(), 8);
  std::vector<TRGBTriple> row(10);
  auto source = [&](int x, int y) {
    const uint8_t* p = original.ScanLine(y) + 3 * x;
    return std::array<uint8_t, 3>{p[0], p[1], p[2]};
  };
  auto bytes = [](TRGBTriple t) { return std::array<uint8_t, 3>{t.B, t.G, t.R}; };
  view.GetPixels24(0, 0, row, 0, 10);  // the top gutter row repeats sheet row 0
  EXPECT_EQ(bytes(row[0]), source(0, 0));
  EXPECT_EQ(bytes(row[4]), source(2, 0));
  EXPECT_EQ(bytes(row[5]), source(3, 0));
  EXPECT_EQ(bytes(row[9]), source(5, 0));
  view.GetPixels24(0, 4, row, 0, 10);  // the gutter row on top of the second row of frames
  EXPECT_EQ(bytes(row[2]), source(1, 2));
}

TEST(TileBitmap, LeftoverColumnsOfAnUnevenSheetStayInside) {
  // 7 pixels in 2 columns: frames of 3, one pixel left over past them.
  auto sheet = MakeArgb(7, 1, DistinctColor);
  TTileBitmap view(*sheet, 2, 1);
  ASSERT_EQ(view.Width(), 11);
  std::vector<uint32_t> row(11);
  EXPECT_EQ(view.GetPixels32(0, 1, row, 0, 11), 11);
  EXPECT_EQ(Decode(row[10]).X, 6);
  EXPECT_EQ(Decode(row[9]).X, 5);
}

TEST(TileBitmap, GridsThatCannotBeViewedAssert) {
  auto sheet = MakeArgb(4, 4, DistinctColor);
  EXPECT_TRUE(AssertsWith([&] { TTileBitmap view(*sheet, 0, 1); }, "TTileBitmap.Create"));
  EXPECT_TRUE(AssertsWith([&] { TTileBitmap view(*sheet, 5, 1); }, "TTileBitmap.Create"));
}

}  // namespace
}  // namespace zel
