// Tiled pictures, soft edges and soft-edged boxes drawn on the offscreen
// GL device and read back.
#include <gtest/gtest.h>

#include <functional>

#include "core/exceptions.h"
#include "core/loader_callback.h"
#include "gl_test_support.h"
#include "render/box_antialiaser.h"
#include "render/tiled_texture.h"
#include "tile_test_support.h"

namespace zel {
namespace {

using testing_support::DistinctColor;
using testing_support::MakeArgb;

const ::testing::Environment* const kOffscreen =
    ::testing::AddGlobalTestEnvironment(new testing_support::TOffscreenEnvironment);

// Installs a loader callback for its life.
class TLoaderHook {
 public:
  explicit TLoaderHook(std::function<void()> hook) { SetLoaderCallback(std::move(hook)); }
  ~TLoaderHook() { SetLoaderCallback({}); }
};

class TiledDrawing : public ::testing::Test {
 protected:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 240;

  void SetUp() override {
    if (!Get3DEngine()) ZEL_NO_GL_HERE();
    fWindow = TDeviceWindow::Create(kWidth, kHeight, false, "tiled texture test");
    ASSERT_NE(fWindow, nullptr);
    fScreen = std::make_unique<T3DScreen>();
    fScreen->AssignDevice(&fWindow->Device());
    ASSERT_TRUE(fScreen->BeginScene());
    fManager = std::make_unique<TTextureManager6>(fScreen.get());
    Clear();
  }
  void TearDown() override {
    fManager.reset();
    fScreen.reset();
    fWindow.reset();
  }

  void Clear() { ASSERT_TRUE(fScreen->Clear(0xFF000000, true)); }
  std::unique_ptr<TMultiTexture6> Texture(TBitmap& picture) {
    auto texture = std::make_unique<TMultiTexture6>(*fManager);
    texture->SetSource(&picture, 0, false, 1, 1, picture.BoundsRect());
    return texture;
  }
  // The picture 1:1 with its top-left corner at (x, y).
  static void DrawAt(TMultiTexture6& texture, float x, float y) {
    texture.DrawAll({x, y, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0});
  }
  std::unique_ptr<TDirectBitmap> ReadBack() {
    fScreen->Batcher().Flush();
    auto bitmap = std::make_unique<TDirectBitmap>(kWidth, kHeight, FormatA8R8G8B8());
    EXPECT_TRUE(fScreen->Renderer()->GetBackBuffer()->CopyToBitmap(*bitmap));
    return bitmap;
  }
  // Texel (x, y) of a tile's base level as the device holds it.
  static TColor Texel(TTextureTile& tile, int x, int y) {
    T3DSurface* level = tile.DeviceTexture()->GetSurface(0);
    auto bitmap = level->Lock({0, 0, tile.Size().Width, tile.Size().Height}, true);
    if (!bitmap) return 0;
    const TColor color = bitmap->PixelColor(x, y);
    level->Unlock(std::move(bitmap));
    return color;
  }

  std::unique_ptr<TDeviceWindow> fWindow;
  std::unique_ptr<T3DScreen> fScreen;
  std::unique_ptr<TTextureManager6> fManager;
};

TEST_F(TiledDrawing, PictureDrawnOneToOneHasNoSeams) {
  auto picture = MakeArgb(300, 200, DistinctColor);
  auto texture = Texture(*picture);
  for (bool nearest : {true, false}) {
    Clear();
    texture->Nearest = nearest;
    DrawAt(*texture, 10, 20);
    auto pixels = ReadBack();
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) wrong += !SameRGB(pixels->PixelColor(10 + x, 20 + y), DistinctColor(x, y));
    }
    EXPECT_EQ(wrong, 0) << (nearest ? "nearest" : "linear");
    EXPECT_EQ(NoAlpha(pixels->PixelColor(9, 100)), 0u);
    EXPECT_EQ(NoAlpha(pixels->PixelColor(310, 100)), 0u);
    EXPECT_EQ(NoAlpha(pixels->PixelColor(100, 220)), 0u);
  }
  EXPECT_EQ(texture->Tiles().size(), 2u);
}

TEST_F(TiledDrawing, PartOfThePictureAcrossTheTileSeamLandsAtTheAnchor) {
  auto picture = MakeArgb(300, 200, DistinctColor);
  auto texture = Texture(*picture);
  texture->Nearest = true;
  // Source pixels 100..299 x 50..149; pixel (100, 50) at (5, 5).
  texture->Draw({5, 5, 0}, {100, 50}, {100, 50, 300, 150}, {1, 0, 0}, {0, 1, 0});
  auto pixels = ReadBack();
  int wrong = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) wrong += !SameRGB(pixels->PixelColor(5 + x, 5 + y), DistinctColor(100 + x, 50 + y));
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(NoAlpha(pixels->PixelColor(205, 50)), 0u);
  EXPECT_EQ(NoAlpha(pixels->PixelColor(50, 105)), 0u);
}

TEST_F(TiledDrawing, OpacityZeroDrawsAndUploadsNothing) {
  auto picture = MakeArgb(300, 200, [](int, int) { return 0xFFFFFFFF; });
  auto texture = Texture(*picture);
  texture->Opacity = 0;
  DrawAt(*texture, 0, 0);
  EXPECT_EQ(fScreen->Batcher().TriangleCount(), 0);
  for (TTextureTile* tile : texture->Tiles()) EXPECT_EQ(tile->DeviceTexture(), nullptr);
  EXPECT_EQ(NoAlpha(ReadBack()->PixelColor(50, 50)), 0u);
  // The same picture at full opacity does reach the device.
  texture->Opacity = 255;
  DrawAt(*texture, 0, 0);
  EXPECT_EQ(NoAlpha(ReadBack()->PixelColor(50, 50)), 0xFFFFFFu);
  ASSERT_FALSE(texture->Tiles().empty());
  for (TTextureTile* tile : texture->Tiles()) EXPECT_NE(tile->DeviceTexture(), nullptr);
}

TEST_F(TiledDrawing, LoaderRefusalKeepsTheOldContent) {
  auto picture = MakeArgb(60, 40, [](int, int) { return 0xFFFF0000; });
  auto texture = Texture(*picture);
  DrawAt(*texture, 0, 0);
  ReadBack();
  ASSERT_EQ(texture->Tiles().size(), 1u);
  TTextureTile& tile = *texture->Tiles()[0];
  ASSERT_NE(tile.DeviceTexture(), nullptr);
  ASSERT_EQ(Texel(tile, 5, 5), 0xFFFF0000u);

  picture->Fill(picture->BoundsRect(), 0xFF0000FF);
  tile.SetNeedsUpload();
  int asked = 0;
  {
    TLoaderHook refuse([&] {
      ++asked;
      throw EAbort();
    });
    texture->Upload();
    Clear();
    DrawAt(*texture, 0, 0);
    EXPECT_GT(asked, 0);
    EXPECT_TRUE(tile.NeedsUpload());
    EXPECT_EQ(Texel(tile, 5, 5), 0xFFFF0000u);
    EXPECT_EQ(NoAlpha(ReadBack()->PixelColor(20, 20)), 0xFF0000u);
  }
  // Let through, the next draw brings the new content.
  Clear();
  DrawAt(*texture, 0, 0);
  EXPECT_FALSE(tile.NeedsUpload());
  EXPECT_EQ(Texel(tile, 5, 5), 0xFF0000FFu);
  EXPECT_EQ(NoAlpha(ReadBack()->PixelColor(20, 20)), 0x0000FFu);
}

TEST_F(TiledDrawing, RecycledTileIsRefilledForItsNewPicture) {
  auto red = MakeArgb(62, 62, [](int, int) { return 0xFFFF0000; });
  auto green = MakeArgb(62, 62, [](int, int) { return 0xFF00FF00; });
  auto first = Texture(*red);
  DrawAt(*first, 0, 0);
  ReadBack();
  TTextureTile* tile = first->Tiles().at(0);
  T3DTexture* device = tile->DeviceTexture();
  ASSERT_NE(device, nullptr);
  first->ReleaseTiles();
  auto second = Texture(*green);
  Clear();
  DrawAt(*second, 0, 0);
  auto pixels = ReadBack();
  // The same tile and device texture, with the new picture in it.
  EXPECT_EQ(second->Tiles().at(0), tile);
  EXPECT_EQ(tile->DeviceTexture(), device);
  EXPECT_EQ(NoAlpha(pixels->PixelColor(30, 30)), 0x00FF00u);
}

TEST_F(TiledDrawing, PreloadFillsEveryTileOncePerUpload) {
  auto picture = MakeArgb(300, 200, DistinctColor);
  auto texture = Texture(*picture);
  int asked = 0;
  TLoaderHook count([&] { ++asked; });
  texture->PreLoad();
  ASSERT_EQ(texture->Tiles().size(), 2u);
  for (TTextureTile* tile : texture->Tiles()) {
    EXPECT_NE(tile->DeviceTexture(), nullptr);
    EXPECT_TRUE(tile->Preloaded());
    EXPECT_FALSE(tile->NeedsUpload());
    EXPECT_EQ(tile->FillCount(), 1);
  }
  EXPECT_EQ(Texel(*texture->Tiles()[1], 1, 1), DistinctColor(254, 0));
  EXPECT_GE(asked, 2);
  const int before = asked;
  texture->PreLoad();
  EXPECT_EQ(asked, before);
  EXPECT_EQ(texture->Tiles()[0]->FillCount(), 1);
}

TEST_F(TiledDrawing, TintColoursThePictureAndLeavesTheBatcherAsItWas) {
  auto white = MakeArgb(40, 40, [](int, int) { return 0xFFFFFFFF; });
  auto texture = Texture(*white);
  texture->Tint = true;
  texture->TintColor = {50, 100, 200, 0};  // blue, green, red
  fScreen->Batcher().FullModulation = false;
  DrawAt(*texture, 0, 0);
  EXPECT_FALSE(fScreen->Batcher().FullModulation);
  EXPECT_COLOR_NEAR(ReadBack()->PixelColor(20, 20), MakeColor(200, 100, 50), 1);
}

TEST_F(TiledDrawing, SoftEdgesFadeOverOnePixelOnlyAtThePicturesBorder) {
  auto white = MakeArgb(300, 200, [](int, int) { return 0xFFFFFFFF; });
  auto texture = Texture(*white);
  texture->Antialiased = true;
  DrawAt(*texture, 10, 20);
  auto pixels = ReadBack();
  auto red = [&](int x, int y) { return RedOf(pixels->PixelColor(x, y)); };
  // Left and right borders: a partly covered pixel, then nothing.
  EXPECT_GT(red(9, 100), 64u);
  EXPECT_LT(red(9, 100), 192u);
  EXPECT_EQ(red(7, 100), 0u);
  EXPECT_GT(red(310, 100), 64u);
  EXPECT_LT(red(310, 100), 192u);
  EXPECT_EQ(red(312, 100), 0u);
  EXPECT_GT(red(150, 19), 64u);
  EXPECT_LT(red(150, 19), 192u);
  EXPECT_EQ(red(10, 20), 255u);

  // Where the two tiles meet inside the picture no ring is drawn: half
  // transparent, a ring laid over the neighbour would show as a lighter line.
  Clear();
  texture->Opacity = 128;
  DrawAt(*texture, 10, 20);
  pixels = ReadBack();
  const uint32_t inside = red(150, 100);
  EXPECT_NEAR(inside, 128, 2);
  int different = 0;
  for (int y = 21; y < 219; ++y) {
    for (int x = 262; x < 266; ++x) different += red(x, y) != inside;
  }
  EXPECT_EQ(different, 0);
}

class BoxAntialiasing : public TiledDrawing {
 protected:
  void DrawBox(bool soft) {
    TBoxAntialiaser boxes(fScreen.get());
    const bool edges[4] = {soft, soft, soft, soft};
    const TColor colors[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    fScreen->Batcher().FullModulation = false;
    boxes.DrawBox({20, 20, 0}, {80, 0, 0}, {0, 60, 0}, edges, colors);
    EXPECT_FALSE(fScreen->Batcher().FullModulation);
    fPixels = ReadBack();
  }
  TColor At(int x, int y) const { return fPixels->PixelColor(x, y); }
  std::unique_ptr<TDirectBitmap> fPixels;
};

TEST_F(BoxAntialiasing, CornersTakeTheirColours) {
  DrawBox(false);
  EXPECT_COLOR_NEAR(At(20, 20), 0xFFFF0000, 8);
  EXPECT_COLOR_NEAR(At(99, 20), 0xFF00FF00, 8);
  EXPECT_COLOR_NEAR(At(99, 79), 0xFF0000FF, 8);
  EXPECT_COLOR_NEAR(At(20, 79), 0xFFFFFFFF, 8);
  // Halfway down the left side: between red and white.
  EXPECT_COLOR_NEAR(At(20, 50), MakeColor(255, 128, 128), 8);
  EXPECT_EQ(NoAlpha(At(19, 50)), 0u);
}

TEST_F(BoxAntialiasing, SoftEdgesFadeOutsideTheBox) {
  DrawBox(true);
  // Halfway along the top: between red and green.
  EXPECT_COLOR_NEAR(At(60, 20), MakeColor(128, 128, 0), 8);
  EXPECT_GT(RedOf(At(19, 50)), 64u);
  EXPECT_LT(RedOf(At(19, 50)), 192u);
  EXPECT_EQ(NoAlpha(At(17, 50)), 0u);
  EXPECT_GT(BlueOf(At(100, 70)), 32u);
  EXPECT_EQ(NoAlpha(At(102, 70)), 0u);
}

}  // namespace
}  // namespace zel
