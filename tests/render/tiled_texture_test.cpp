// Tiles without a device: which pool a tile comes from, how a picture is
// cut into tiles, how tiles go back to their pools, and what a tile's level
// is filled with. Textures stay on the system side here (the screen has no
// device), so filling is looked at on levels made by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/screen.h"
#include "render/tile_bitmap.h"
#include "render/tiled_texture.h"
#include "tile_test_support.h"

namespace zel {
namespace {

using testing_support::AssertsWith;
using testing_support::DistinctColor;
using testing_support::MakeArgb;
using testing_support::TAssertCapture;

class TileSetup : public ::testing::Test {
 protected:
  T3DScreen fScreen;
  TTextureManager6 fManager{&fScreen};
};

using TileChoice = TileSetup;

TEST_F(TileChoice, PoolsHaveTheSixShapesInOrder) {
  ASSERT_EQ(fManager.PoolCount(), 6);
  std::vector<std::pair<int, int>> shapes;
  for (int i = 0; i < 6; ++i) shapes.emplace_back(fManager.Pool(i).TileWidth(), fManager.Pool(i).TileHeight());
  EXPECT_EQ(shapes, (std::vector<std::pair<int, int>>{{256, 256}, {128, 256}, {64, 256}, {256, 128}, {256, 64}, {64, 64}}));
}

TEST_F(TileChoice, LargestCoverageThenLeastWasteThenEarliest) {
  TTextureTile* first = fManager.GetTile(302, 202);
  EXPECT_EQ(first->Size(), (T3DSize{256, 256}));
  EXPECT_EQ(first->DeviceSize(), (T3DSize{256, 256}));
  EXPECT_EQ(first->ContentSize(), (T3DSize{256, 202}));
  // The rest of that band: every tall pool covers 48 x 202; 64 x 256 wastes least.
  TTextureTile* rest = fManager.GetTile(48, 202);
  EXPECT_EQ(rest->Size(), (T3DSize{64, 256}));
  EXPECT_EQ(rest->ContentSize(), (T3DSize{48, 202}));
  TTextureTile* small = fManager.GetTile(64, 64);
  EXPECT_EQ(small->Size(), (T3DSize{64, 64}));
  EXPECT_EQ(small->ContentSize(), (T3DSize{64, 64}));
  // A wide strip: the flat pool covers as much as the square one with less waste.
  EXPECT_EQ(fManager.ChoosePool(300, 10), 4);
  // 128 x 256 and 256 x 128 cover and waste the same: the earlier wins.
  EXPECT_EQ(fManager.ChoosePool(128, 128), 1);
  for (TTextureTile* tile : {first, rest, small}) tile->ReturnToPool();
}

TEST_F(TileChoice, MostRecentlyReturnedTileComesBackFirst) {
  TMultiTexture6 owner(fManager);
  TTextureTile* a = fManager.GetTile(64, 64);
  TTextureTile* b = fManager.GetTile(64, 64);
  ASSERT_NE(a, b);
  b->SetOwner(&owner);
  a->ReturnToPool();
  b->ReturnToPool();
  EXPECT_EQ(fManager.Pool(5).FreeCount(), 2);
  EXPECT_EQ(b->Owner(), nullptr);
  EXPECT_TRUE(b->NeedsUpload());
  TTextureTile* again = fManager.GetTile(60, 60);
  EXPECT_EQ(again, b);
  EXPECT_EQ(again->ContentSize(), (T3DSize{60, 60}));
  EXPECT_EQ(fManager.GetTile(64, 64), a);
  TTextureTile* fresh = fManager.GetTile(64, 64);
  EXPECT_NE(fresh, a);
  EXPECT_NE(fresh, b);
  for (TTextureTile* tile : {a, b, fresh}) tile->ReturnToPool();
}

using Cutting = TileSetup;

TEST_F(Cutting, PictureOf300x200TakesAWideTileAndANarrowOne) {
  auto picture = MakeArgb(300, 200, DistinctColor);
  TMultiTexture6 texture(fManager);
  texture.SetSource(picture.get(), 0, false, 1, 1, picture->BoundsRect());
  texture.BuildTiles();
  ASSERT_EQ(texture.Tiles().size(), 2u);
  const TTextureTile& wide = *texture.Tiles()[0];
  const TTextureTile& narrow = *texture.Tiles()[1];
  EXPECT_EQ(wide.Origin(), (TPoint{-1, -1}));
  EXPECT_EQ(wide.ContentSize(), (T3DSize{256, 202}));
  EXPECT_EQ(wide.Size(), (T3DSize{256, 256}));
  EXPECT_EQ(narrow.Origin(), (TPoint{253, -1}));
  EXPECT_EQ(narrow.ContentSize(), (T3DSize{48, 202}));
  EXPECT_EQ(narrow.Size(), (T3DSize{64, 256}));
}

TEST_F(Cutting, EverySourcePixelLiesInExactlyOneTileInterior) {
  const std::pair<int, int> sizes[] = {{300, 200}, {62, 62}, {1, 1},    {254, 254}, {255, 255},
                                       {700, 600}, {1000, 70}, {70, 1000}, {509, 3}};
  for (auto [width, height] : sizes) {
    auto picture = MakeArgb(width, height, DistinctColor);
    TMultiTexture6 texture(fManager);
    texture.SetSource(picture.get(), 0, false, 1, 1, picture->BoundsRect());
    texture.BuildTiles();
    std::vector<int> covered(static_cast<size_t>(width) * height);
    for (const TTextureTile* tile : texture.Tiles()) {
      ASSERT_EQ(tile->Owner(), &texture);
      ASSERT_LE(tile->ContentSize().Width, tile->Size().Width);
      ASSERT_LE(tile->ContentSize().Height, tile->Size().Height);
      ASSERT_LE(std::max(tile->Size().Width, tile->Size().Height), 256);
      // The interior: inside the overlap pixel on every side.
      for (int y = tile->Origin().Y + 1; y < tile->Origin().Y + tile->ContentSize().Height - 1; ++y) {
        for (int x = tile->Origin().X + 1; x < tile->Origin().X + tile->ContentSize().Width - 1; ++x) {
          ASSERT_TRUE(x >= 0 && y >= 0 && x < width && y < height) << width << "x" << height << " at " << x << "," << y;
          ++covered[static_cast<size_t>(y) * width + x];
        }
      }
    }
    const auto wrong = std::count_if(covered.begin(), covered.end(), [](int n) { return n != 1; });
    EXPECT_EQ(wrong, 0) << width << "x" << height;
  }
}

TEST_F(Cutting, SmallPictureTakesOneSmallTile) {
  auto picture = MakeArgb(62, 62, DistinctColor);
  TMultiTexture6 texture(fManager);
  texture.SetSource(picture.get(), 0, false, 1, 1, picture->BoundsRect());
  texture.BuildTiles();
  ASSERT_EQ(texture.Tiles().size(), 1u);
  EXPECT_EQ(texture.Tiles()[0]->Size(), (T3DSize{64, 64}));
  EXPECT_EQ(texture.Tiles()[0]->ContentSize(), (T3DSize{64, 64}));
}

using Sources = TileSetup;

TEST_F(Sources, PlainPicturesAreCroppedAndSheetsGetTheGutterView) {
  auto picture = MakeArgb(400, 100, DistinctColor);
  TMultiTexture6 texture(fManager);
  texture.SetSource(picture.get(), 2, true, 1, 1, {10, 20, 50, 30});
  EXPECT_EQ(texture.Level(), 2);
  EXPECT_TRUE(texture.Premultiplied());
  ASSERT_NE(texture.SourceView(), nullptr);
  EXPECT_EQ(texture.SourceView()->Width(), 40);
  EXPECT_EQ(texture.SourceView()->Height(), 10);
  EXPECT_EQ(texture.SourceView()->PixelColor(0, 0), DistinctColor(10, 20));
  // A grid views the whole sheet, whatever the rectangle.
  texture.SetSource(picture.get(), 0, false, 4, 2, {10, 20, 50, 30});
  auto* view = dynamic_cast<TTileBitmap*>(texture.SourceView());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Width(), 408);
  EXPECT_EQ(view->Height(), 104);
}

TEST_F(Sources, MissingBitmapAndBadRectanglesAssert) {
  auto picture = MakeArgb(40, 30, DistinctColor);
  TMultiTexture6 texture(fManager);
  EXPECT_TRUE(AssertsWith([&] { texture.SetSource(nullptr, 0, false, 1, 1, {0, 0, 4, 4}); }, "Bitmap not Assigned"));
  EXPECT_TRUE(AssertsWith([&] { texture.SetSource(picture.get(), 0, false, 1, 1, {5, 5, 5, 9}); }, "Rect is Empty"));
  EXPECT_TRUE(AssertsWith([&] { texture.SetSource(picture.get(), 0, false, 1, 1, {30, 0, 41, 30}); }, "Rect out of Bitmap"));
  EXPECT_TRUE(AssertsWith([&] { texture.SetSource(picture.get(), 0, false, 1, 1, {-1, 0, 10, 10}); }, "Rect out of Bitmap"));
  EXPECT_EQ(texture.SourceView(), nullptr);
}

using Lifecycle = TileSetup;

TEST_F(Lifecycle, ReleasedTilesGoBackToTheirPoolsAndAreReused) {
  auto picture = MakeArgb(300, 200, DistinctColor);
  std::vector<TTextureTile*> first;
  {
    TMultiTexture6 texture(fManager);
    EXPECT_EQ(fManager.MultiTextureCount(), 1);
    texture.SetSource(picture.get(), 0, false, 1, 1, picture->BoundsRect());
    texture.BuildTiles();
    first = texture.Tiles();
    EXPECT_EQ(fManager.Pool(0).FreeCount() + fManager.Pool(2).FreeCount(), 0);
    texture.ReleaseTiles();
    EXPECT_TRUE(texture.Tiles().empty());
    EXPECT_EQ(fManager.Pool(0).FreeCount(), 1);
    EXPECT_EQ(fManager.Pool(2).FreeCount(), 1);
    texture.BuildTiles();
    EXPECT_EQ(texture.Tiles(), first);
    // A new source gives the old tiles back first.
    texture.SetSource(picture.get(), 0, false, 1, 1, {0, 0, 62, 62});
    EXPECT_TRUE(texture.Tiles().empty());
    EXPECT_EQ(fManager.Pool(0).FreeCount(), 1);
  }
  // Destroyed: its tiles are pooled, not lost.
  EXPECT_EQ(fManager.MultiTextureCount(), 0);
  EXPECT_EQ(fManager.Pool(0).FreeCount(), 1);
  EXPECT_EQ(fManager.Pool(2).FreeCount(), 1);
}

TEST(TextureManager, GoingBeforeItsTexturesIsReportedAndLeavesThemSafe) {
  T3DScreen screen;
  auto manager = std::make_unique<TTextureManager6>(&screen);
  auto picture = MakeArgb(300, 200, DistinctColor);
  auto texture = std::make_unique<TMultiTexture6>(*manager);
  texture->SetSource(picture.get(), 0, false, 1, 1, picture->BoundsRect());
  texture->BuildTiles();
  {
    TAssertCapture capture;
    manager.reset();
    EXPECT_TRUE(capture.Saw("Error: Multi Textures Count = 1"));
  }
  EXPECT_EQ(texture->Manager(), nullptr);
  texture->DrawAll({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0});
  texture.reset();
  // The tiles went with the texture: only the screen's own batcher is left.
  EXPECT_EQ(screen.Resources().size(), 1u);
}

TEST(TextureManager, ScreenIsRequired) {
  EXPECT_TRUE(AssertsWith([] { TTextureManager6 manager(nullptr); }, "Screen not Assigned"));
  EXPECT_TRUE(AssertsWith([] { TTextureTile tile(nullptr, 64, 64); }, "Pool not Assigned"));
}

// Filling a tile's level, looked at on a level bitmap of the test's own.
class Filling : public TileSetup {
 protected:
  void SetUp() override {
    fPicture = MakeArgb(300, 200, DistinctColor);
    fTexture = std::make_unique<TMultiTexture6>(fManager);
    fTexture->SetSource(fPicture.get(), 0, false, 1, 1, fPicture->BoundsRect());
    fTexture->BuildTiles();
  }
  void TearDown() override { fTexture.reset(); }
  TTextureTile& Tile(int index) { return *fTexture->Tiles()[static_cast<size_t>(index)]; }
  static std::unique_ptr<TDirectBitmap> LevelFor(const TTextureTile& tile) {
    return std::make_unique<TDirectBitmap>(tile.Size().Width, tile.Size().Height, FormatA8R8G8B8());
  }

  std::unique_ptr<TDirectBitmap> fPicture;
  std::unique_ptr<TMultiTexture6> fTexture;
};

TEST_F(Filling, TexelsShowTheSourceShiftedByTheOriginAndRepeatItsEdges) {
  TTextureTile& narrow = Tile(1);  // origin (253, -1), content 48 x 202, shape 64 x 256
  auto level = LevelFor(narrow);
  narrow.FillLevel(*level);
  int wrong = 0;
  for (int j = 0; j < level->Height(); ++j) {
    for (int i = 0; i < level->Width(); ++i) {
      // The nearest source pixel: past the picture's right and bottom
      // borders (and above its top) the edge repeats.
      const int sx = std::clamp(253 + i, 0, 299), sy = std::clamp(j - 1, 0, 199);
      wrong += level->PixelColor(i, j) != DistinctColor(sx, sy);
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_FALSE(narrow.NeedsUpload());
  EXPECT_EQ(narrow.FillCount(), 1);
  TTextureTile& wide = Tile(0);  // origin (-1, -1)
  auto first = LevelFor(wide);
  wide.FillLevel(*first);
  EXPECT_EQ(first->PixelColor(0, 0), DistinctColor(0, 0));
  EXPECT_EQ(first->PixelColor(0, 7), DistinctColor(0, 6));
  EXPECT_EQ(first->PixelColor(255, 1), DistinctColor(254, 0));
  EXPECT_EQ(first->PixelColor(9, 255), DistinctColor(8, 199));
}

TEST_F(Filling, PremultipliedTilesGetPremultipliedTexels) {
  auto translucent = MakeArgb(50, 40, [](int x, int y) { return MakeColor(200, 100 + y, 3 * x, 128); });
  fTexture->SetSource(translucent.get(), 0, true, 1, 1, translucent->BoundsRect());
  fTexture->Upload();  // builds the tiles and hands them the flag; nothing to send without a device
  TTextureTile& tile = Tile(0);
  ASSERT_TRUE(tile.Premultiplied());
  auto level = LevelFor(tile);
  tile.FillLevel(*level);
  for (auto [x, y] : {std::pair{5, 5}, std::pair{49, 39}, std::pair{20, 1}}) {
    const TColor texel = level->PixelColor(x + 1, y + 1);
    const TColor source = translucent->PixelColor(x, y);
    EXPECT_EQ(AlphaOf(texel), 128u);
    EXPECT_NEAR(RedOf(texel), RedOf(source) * 128 / 255.0, 1.0);
    EXPECT_NEAR(GreenOf(texel), GreenOf(source) * 128 / 255.0, 1.0);
    EXPECT_NEAR(BlueOf(texel), BlueOf(source) * 128 / 255.0, 1.0);
  }
}

TEST_F(Filling, ProgressRefusalStopsTheFillAndKeepsTheTileStale) {
  TTextureTile& tile = Tile(0);
  auto level = LevelFor(tile);
  std::vector<float> fractions;
  level->SetProgress([&](float f) {
    fractions.push_back(f);
    return fractions.size() < 3;
  });
  tile.FillLevel(*level);
  EXPECT_EQ(fractions.size(), 3u);
  EXPECT_TRUE(tile.NeedsUpload());
  EXPECT_EQ(tile.FillCount(), 0);
  EXPECT_EQ(level->PixelColor(10, 10), 0u);  // never reached

  fractions.clear();
  level->SetProgress([&](float f) {
    fractions.push_back(f);
    return true;
  });
  tile.FillLevel(*level);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_FLOAT_EQ(fractions.back(), 1.0f);
  EXPECT_FALSE(tile.NeedsUpload());
}

TEST_F(Filling, LevelsOtherThan32BitAssert) {
  TDirectBitmap level(256, 256, FormatR8G8B8());
  EXPECT_TRUE(AssertsWith([&] { Tile(0).FillLevel(level); }, "Edge Filling needs a 32 bit Bitmap"));
}

}  // namespace
}  // namespace zel
