// The object drawer on the offscreen device: pictures through their tiles,
// opacity, levels, boxes, cache and the frame's own operations.
#include <cmath>

#include "drawer_test_support.h"
#include "render/tiled_texture.h"

namespace zel {
namespace {

using testing_support::GLDrawerTest;
using testing_support::MakePicture;
using testing_support::SolidBox;

TColor Distinct(int x, int y) {
  return MakeColor(static_cast<uint32_t>(x & 0xFF), static_cast<uint32_t>(y & 0xFF),
                   static_cast<uint32_t>((x * 7 + y * 13) & 0xFF));
}

TEST(DrawerArithmetic, OpacityBecomesAlpha) {
  EXPECT_EQ(OpacityToAlpha(100), 255);
  // 50 x 2.55 lies just below 127.5 in binary floating point.
  EXPECT_EQ(OpacityToAlpha(50), 127);
  EXPECT_EQ(OpacityToAlpha(1), 3);
  EXPECT_EQ(OpacityToAlpha(0), 0);
  EXPECT_EQ(OpacityToAlpha(-5), 0);
  EXPECT_EQ(OpacityToAlpha(250), 255);
  EXPECT_EQ(OpacityToAlpha(std::nan("")), 0);
}

TEST(DrawerArithmetic, GradientCornersByType) {
  const TColor a = 0xFF000000, b = 0xFFFEFEFE, mean = 0xFF7F7F7F;
  TColor c[4];
  ASSERT_TRUE(GradientCorners(0, a, b, c));
  EXPECT_EQ(c[0], a);
  EXPECT_EQ(c[2], b);
  EXPECT_EQ(c[1], mean);
  EXPECT_EQ(c[3], mean);
  ASSERT_TRUE(GradientCorners(3, a, b, c));
  EXPECT_EQ(c[3], a);
  EXPECT_EQ(c[1], b);
  EXPECT_EQ(c[0], mean);
  // Linear: 4 bottom to top, 5 top to bottom, 6 left to right, 7 right to
  // left; corners clockwise from the top left.
  const TColor linear[4][4] = {{b, b, a, a}, {a, a, b, b}, {a, b, b, a}, {b, a, a, b}};
  for (int type = 4; type <= 7; ++type) {
    ASSERT_TRUE(GradientCorners(type, a, b, c));
    for (int corner = 0; corner < 4; ++corner) EXPECT_EQ(c[corner], linear[type - 4][corner]) << type << " " << corner;
  }
  ASSERT_TRUE(GradientCorners(8, a, b, c));
  EXPECT_EQ(c[2], a);
  EXPECT_FALSE(GradientCorners(9, a, b, c));
  EXPECT_FALSE(GradientCorners(-1, a, b, c));
}

TEST(DrawerArithmetic, TextureKeys) {
  EXPECT_EQ(TextureKey(2, 4, 1, false), "MultiTexID: 2:4:1:False");
  EXPECT_EQ(TextureKey(0, 1, 1, true), "MultiTexID: 0:1:1:True");
}

class DrawerPictures : public GLDrawerTest {
 protected:
  int Width() const override { return 320; }
  int Height() const override { return 240; }
};

TEST_F(DrawerPictures, PictureThroughItsTilesHasNoSeams) {
  auto picture = MakePicture(300, 200, Distinct);
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *picture, 10, 20); });
  int wrong = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) wrong += (Pixel(10 + x, 20 + y) & 0xFFFFFF) != (Distinct(x, y) & 0xFFFFFF);
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Pixel(9, 20) & 0xFFFFFF, 0u);
  EXPECT_EQ(Pixel(310, 100) & 0xFFFFFF, 0u);
  TMultiTexture6* texture = fDrawer->TextureFor(*picture, {});
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Tiles().size(), 2u);
}

TEST_F(DrawerPictures, OpacityFiftyGivesAlpha127) {
  auto white = MakePicture(40, 40, [](int, int) { return 0xFFFFFFFF; });
  TImageDrawParams params;
  params.opacity = 50;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *white, 10, 10, params); });
  EXPECT_EQ(Red(30, 30), 127u);
  EXPECT_EQ(Red(5, 5), 0u);
}

TEST_F(DrawerPictures, OpacityZeroDrawsAndUploadsNothing) {
  auto white = MakePicture(40, 40, [](int, int) { return 0xFFFFFFFF; });
  TImageDrawParams params;
  params.opacity = 0;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *white, 10, 10, params); });
  EXPECT_EQ(Red(30, 30), 0u);
  TMultiTexture6* texture = fDrawer->TextureFor(*white, params);
  ASSERT_NE(texture, nullptr);
  for (TTextureTile* tile : texture->Tiles()) EXPECT_EQ(tile->DeviceTexture(), nullptr);
}

TEST_F(DrawerPictures, LargePictureAtLevelTwo) {
  // Four quadrants of colour, 4,000 x 3,000 pixels.
  auto picture = MakePicture(4000, 3000, [](int x, int y) {
    return x < 2000 ? (y < 1500 ? 0xFFFF0000 : 0xFF00FF00) : (y < 1500 ? 0xFF0000FF : 0xFFFFFFFF);
  });
  TImageDrawParams params;
  params.level = 2;
  // 4,000 pixels at a twentieth: 200 x 150 on the screen.
  DrawFrame([&](TDeviceDrawer& drawer) {
    drawer.DrawImage(*picture, {20, 20, 0}, params, {0.05, 0, 0}, {0, 0.05, 0}, {0, 0});
  });
  TMultiTexture6* texture = fDrawer->TextureFor(*picture, params);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Level(), 2);
  EXPECT_EQ(texture->SourceView()->Width(), 1000);
  EXPECT_COLOR_NEAR(Pixel(60, 50), 0xFFFF0000, 2);
  EXPECT_COLOR_NEAR(Pixel(160, 50), 0xFF0000FF, 2);
  EXPECT_COLOR_NEAR(Pixel(60, 150), 0xFF00FF00, 2);
  EXPECT_COLOR_NEAR(Pixel(200, 150), 0xFFFFFFFF, 2);
  EXPECT_EQ(Pixel(225, 100) & 0xFFFFFF, 0u);
  EXPECT_EQ(Pixel(100, 175) & 0xFFFFFF, 0u);
}

TEST_F(DrawerPictures, LevelBeyondThePictureIsItsSmallest) {
  auto picture = MakePicture(64, 16, [](int, int) { return 0xFF00FF00; });
  TImageDrawParams params;
  params.level = 20;
  DrawFrame([&](TDeviceDrawer& drawer) {
    drawer.DrawImage(*picture, {0, 0, 0}, params, {1, 0, 0}, {0, 1, 0}, {0, 0});
  });
  TMultiTexture6* texture = fDrawer->TextureFor(*picture, params);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->Level(), 4);
  EXPECT_COLOR_NEAR(Pixel(30, 8), 0xFF00FF00, 0);
}

TEST_F(DrawerPictures, TintMultipliesThePicture) {
  auto white = MakePicture(40, 40, [](int, int) { return 0xFFFFFFFF; });
  TImageDrawParams params;
  params.tint = 1;
  params.tintColor = {200, 100, 50, 0};  // blue, green, red
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *white, 0, 0, params); });
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(50, 100, 200), 1);
}

TEST_F(DrawerPictures, ColourCorrectionMovesTowardTheTintedLuminance) {
  auto grey = MakePicture(40, 40, [](int, int) { return MakeColor(100, 150, 200); });
  TImageDrawParams params;
  params.colorCorrection = 0.5f;
  params.tintColor = {0, 0, 128, 0};
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *grey, 0, 0, params); });
  // luma = 0.299 R + 0.587 G + 0.114 B; RGB + degree (2 luma tint - RGB).
  const double luma = (0.299 * 100 + 0.587 * 150 + 0.114 * 200) / 255;
  const double red = 100 + 0.5 * (2 * luma * (128 / 255.0) * 255 - 100);
  EXPECT_COLOR_NEAR(Pixel(20, 20),
                    MakeColor(static_cast<uint32_t>(std::lround(red)), 75, 100), 2);
}

TEST_F(DrawerPictures, SoftEdgesFadeOverOnePixel) {
  auto white = MakePicture(40, 40, [](int, int) { return 0xFFFFFFFF; });
  TImageDrawParams params;
  params.antialiased = 1;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *white, 20, 20, params); });
  EXPECT_EQ(Red(40, 40), 255u);
  // The pixel just outside the left edge is partly covered, the next one
  // not at all.
  EXPECT_GT(Red(19, 40), 20u);
  EXPECT_LT(Red(19, 40), 235u);
  EXPECT_EQ(Red(17, 40), 0u);
  // Without soft edges the outside stays black.
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *white, 20, 20); });
  EXPECT_EQ(Red(19, 40), 0u);
}

TEST_F(DrawerPictures, SpriteSheetFrameThroughTheGutterView) {
  // 2 x 1 frames of 20 x 20: red, then blue.
  auto sheet = MakePicture(40, 20, [](int x, int) { return x < 20 ? 0xFFFF0000 : 0xFF0000FF; });
  TImageDrawParams params;
  params.columns = 2;
  params.smooth = 0;
  // The second frame in the gutter view: left = 1 x 20 + 2 + 1.
  params.source = {23, 1, 43, 21};
  DrawFrame([&](TDeviceDrawer& drawer) {
    drawer.DrawImage(*sheet, {10, 10, 0}, params, {1, 0, 0}, {0, 1, 0}, {23, 1});
  });
  EXPECT_COLOR_NEAR(Pixel(20, 20), 0xFF0000FF, 0);
  EXPECT_COLOR_NEAR(Pixel(10, 10), 0xFF0000FF, 0);
  EXPECT_EQ(Pixel(31, 20) & 0xFFFFFF, 0u);
}

TEST_F(DrawerPictures, BadPlanesAndGridsAreRefused) {
  auto picture = MakePicture(16, 16, [](int, int) { return 0xFFFFFFFF; });
  DrawFrame([&](TDeviceDrawer& drawer) {
    drawer.DrawImage(*picture, {std::nan(""), 0, 0}, {}, {1, 0, 0}, {0, 1, 0}, {0, 0});
    drawer.DrawImage(*picture, {0, 0, 0}, {}, {INFINITY, 0, 0}, {0, 1, 0}, {0, 0});
  });
  EXPECT_EQ(Red(8, 8), 0u);
  TImageDrawParams grid;
  grid.columns = 17;
  EXPECT_EQ(fDrawer->TextureFor(*picture, grid), nullptr);
}

TEST_F(DrawerPictures, PictureTooLargeToTileIsRefusedUndecoded) {
  // A store that claims 40,000 x 40,000 pixels and counts decodes.
  class THugeStore : public TSysBitmapStore {
   public:
    int decodes = 0;
    THugeStore() : TSysBitmapStore(u"huge", 40000, 40000, FormatA8R8G8B8()) {}

   protected:
    std::unique_ptr<TBitmap> ReadNativeLevel(int level) override {
      ++decodes;
      return std::make_unique<TDirectBitmap>(40000 >> level, 40000 >> level, FormatA8R8G8B8());
    }
  };
  auto store = MakeRef<THugeStore>();
  TImage huge(store);
  testing_support::TLogCapture log;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, huge, 0, 0); });
  EXPECT_EQ(store->decodes, 0);
  EXPECT_EQ(log.Starting("T3DDrawer: picture refused").size(), 1u);
  EXPECT_EQ(Red(5, 5), 0u);
  // At a level where it fits it is drawn (40,000 / 2^4 = 2,500 pixels).
  TImageDrawParams params;
  params.level = 4;
  EXPECT_NE(fDrawer->TextureFor(huge, params), nullptr);
  EXPECT_EQ(store->decodes, 1);
}

TEST_F(DrawerPictures, ReadyMadeTextureIsDrawnAsItIs) {
  auto picture = MakePicture(8, 8, [](int, int) { return 0xFFFF0000; });
  // A texture attached to the picture stands for its pixels.
  picture->Attached().push_back(std::make_unique<TGeneratedTexture>(
      &fDrawer->Screen(), kTexKindPicture, 32, 32, [](int x, int) { return x < 16 ? 0xFF00FF00u : 0xFF0000FFu; }));
  TImageDrawParams params;
  params.smooth = 0;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *picture, 10, 10, params); });
  EXPECT_COLOR_NEAR(Pixel(15, 20), 0xFF00FF00, 0);
  EXPECT_COLOR_NEAR(Pixel(35, 20), 0xFF0000FF, 0);
  EXPECT_EQ(Pixel(43, 20) & 0xFFFFFF, 0u);
  // Its source rectangle picks a part, in place; opacity as for pictures.
  params.source = {16, 0, 32, 32};
  params.opacity = 50;
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *picture, 0, 0, params); });
  EXPECT_COLOR_NEAR(Pixel(17, 5), MakeColor(0, 0, 127), 1);
  EXPECT_EQ(Pixel(5, 5) & 0xFFFFFF, 0u);
  // No tiled texture was made for the picture.
  EXPECT_EQ(picture->Attached().size(), 1u);
}

TEST_F(DrawerPictures, TexturesAreCachedPerKeyAndReleased) {
  auto picture = MakePicture(64, 64, [](int, int) { return 0xFFFFFFFF; });
  TImageDrawParams params;
  fDrawer->PrepareImage(*picture, params);
  TMultiTexture6* first = fDrawer->TextureFor(*picture, params);
  EXPECT_EQ(fDrawer->TextureFor(*picture, params), first);
  params.level = 1;
  EXPECT_NE(fDrawer->TextureFor(*picture, params), first);
  ASSERT_EQ(picture->Attached().size(), 1u);
  EXPECT_EQ(dynamic_cast<TTextureStore2*>(picture->Attached()[0].get())->Count(), 2);
  fDrawer->ReleaseImage(*picture);
  EXPECT_TRUE(picture->Attached().empty());
  EXPECT_EQ(fDrawer->TextureManager()->MultiTextureCount(), 0);
}

TEST_F(DrawerPictures, DrawerMayGoBeforeItsPictures) {
  auto picture = MakePicture(64, 64, [](int, int) { return 0xFFFFFFFF; });
  DrawFrame([&](TDeviceDrawer& drawer) { DrawAt(drawer, *picture, 0, 0); });
  ASSERT_EQ(picture->Attached().size(), 1u);
  fDrawer.reset();
  auto* store = dynamic_cast<TTextureStore2*>(picture->Attached()[0].get());
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->Count(), 0);
  EXPECT_EQ(store->Registry(), nullptr);
}

TEST_F(DrawerPictures, BoxesByGradientAndOpacity) {
  TBoxDrawParams box;
  box.gradientType = 5;  // from the first colour at the top to the second
  box.color1 = 0xFFFF0000;
  box.color2 = 0xFF0000FF;
  box.width = 100;
  box.height = 100;
  DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawBox(box, {10, 10, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}); });
  EXPECT_COLOR_NEAR(Pixel(50, 10), 0xFFFF0000, 4);
  EXPECT_COLOR_NEAR(Pixel(50, 109), 0xFF0000FF, 4);
  EXPECT_COLOR_NEAR(Pixel(50, 60), MakeColor(127, 0, 127), 4);
  box.opacity = 0;
  DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawBox(box, {10, 10, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}); });
  EXPECT_EQ(Pixel(50, 50) & 0xFFFFFF, 0u);
  box.opacity = 50;
  box.gradientType = 8;
  DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawBox(box, {10, 10, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}); });
  EXPECT_COLOR_NEAR(Pixel(50, 50), MakeColor(128, 0, 0), 1);
  box.gradientType = 12;
  EXPECT_THROW(DrawFrame([&](TDeviceDrawer& drawer) {
                 drawer.DrawBox(box, {10, 10, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
               }),
               EAssertionFailed);
}

TEST_F(DrawerPictures, AntialiasedBoxKeepsItsCornerColours) {
  TBoxDrawParams box;
  box.gradientType = 0;
  box.color1 = 0xFFFF0000;
  box.color2 = 0xFF00FF00;
  box.width = 100;
  box.height = 100;
  for (uint8_t& edge : box.antialias) edge = 1;
  DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawBox(box, {20, 20, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}); });
  EXPECT_COLOR_NEAR(Pixel(21, 21), 0xFFFF0000, 8);
  EXPECT_COLOR_NEAR(Pixel(118, 118), 0xFF00FF00, 8);
  EXPECT_GT(Red(19, 60), 0u);
  EXPECT_LT(Red(19, 60), Red(21, 60));
}

TEST_F(DrawerPictures, FillRectAndScreenshot) {
  DrawFrame([&](TDeviceDrawer& drawer) { drawer.FillRect({10, 10}, {20, 30}, 0xFF00FF00); });
  EXPECT_COLOR_NEAR(Pixel(15, 29), 0xFF00FF00, 0);
  EXPECT_EQ(Pixel(15, 30) & 0xFFFFFF, 0u);
  std::unique_ptr<TBitmap> shot;
  fDrawer->SetFrameNotification([&](TDeviceDrawer& drawer, TDrawItem*, TFrameStage stage) {
    if (stage == TFrameStage::FrameEnd) shot = drawer.Screenshot();
  });
  testing_support::TLambdaItem item([](TDeviceDrawer& drawer) { drawer.Clear(0xFF0000FF, false); });
  fDrawer->Draw(item);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), Width());
  EXPECT_COLOR_NEAR(shot->PixelColor(5, 5), 0xFF0000FF, 0);
  // Frames that are not shown cannot be copied either.
  fDrawer->SetNoPresent(true);
  fDrawer->Draw(item);
  EXPECT_EQ(shot, nullptr);
}

TEST_F(DrawerPictures, FrameWithoutNotificationIsAProgrammingError) {
  fDrawer->SetFrameNotification(nullptr);
  testing_support::TLambdaItem item([](TDeviceDrawer&) {});
  EXPECT_THROW(fDrawer->Draw(item), EAssertionFailed);
}

class DrawerLetterbox : public GLDrawerTest {
 protected:
  int Width() const override { return 1024; }
  int Height() const override { return 768; }
};

TEST_F(DrawerLetterbox, ViewSizeLetterboxesAtTheNextFrame) {
  fDrawer->SetViewSize(800, 600);
  DrawFrame([](TDeviceDrawer&) {});
  EXPECT_EQ(fDrawer->ViewRect(), (TRect{112, 84, 912, 684}));
}

TEST_F(DrawerLetterbox, CanvasFillsItsRectangle) {
  // A 400 x 300 canvas on the middle 800 x 600 of the screen: canvas
  // pixels are two screen pixels.
  fDrawer->SetCanvas({112, 84, 912, 684}, {400, 300});
  DrawFrame([](TDeviceDrawer& drawer) {
    TBoxDrawParams box = SolidBox(0xFFFFFFFF, 400, 300);
    drawer.DrawBox(box, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
  });
  EXPECT_EQ(Red(113, 85), 255u);
  EXPECT_EQ(Red(910, 682), 255u);
  EXPECT_EQ(Red(110, 300), 0u);
  EXPECT_EQ(Red(500, 686), 0u);
}

}  // namespace
}  // namespace zel
