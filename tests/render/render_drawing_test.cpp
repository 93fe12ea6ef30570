// Drawing on the offscreen GL device: texture kinds, blending, render
// targets and the projection, checked on the pixels that come back.
#include <gtest/gtest.h>

#include <stdexcept>

#include "gl_test_support.h"
#include "render/projection.h"

namespace zel {
namespace {

using testing_support::GLScreenTest;
using testing_support::Plain;

const ::testing::Environment* const kOffscreen =
    ::testing::AddGlobalTestEnvironment(new testing_support::TOffscreenEnvironment);

TColor Pattern(int x, int y) {
  return MakeColor(static_cast<uint32_t>(x * 7), static_cast<uint32_t>(y * 5), static_cast<uint32_t>((x + y) * 3),
                   static_cast<uint32_t>(255 - x));
}

using TextureKinds = GLScreenTest;

TEST_F(TextureKinds, PictureTexturesUploadAndReadBackWhatWasWritten) {
  // Content smaller than the device size, in each managed kind: the level
  // holds the content from its first row and column.
  for (uint8_t kind : {kTexKindPicture, kTexKindLuminance, kTexKindRgb565}) {
    TGeneratedTexture texture(&Screen(), kind, 30, 20, Pattern);
    T3DTexture* device = texture.GetTexture();
    ASSERT_NE(device, nullptr) << int(kind);
    EXPECT_EQ(device->Kind(), kind);
    T3DSurface* level = device->GetSurface(0);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetSize(), (T3DSize{32, 32}));
    auto bitmap = level->Lock({0, 0, 30, 20}, true);
    ASSERT_NE(bitmap, nullptr);
    TDirectBitmap expected(1, 1, bitmap->Format());
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 30; ++x) {
        WriteDevicePixel(expected, 0, 0, Pattern(x, y));
        ASSERT_EQ(ReadDevicePixel(*bitmap, x, y), ReadDevicePixel(expected, 0, 0))
            << "kind " << int(kind) << " at " << x << "," << y;
      }
    }
    EXPECT_TRUE(level->Unlock(std::move(bitmap)));
    EXPECT_EQ(texture.FillCount(), 1);
  }
}

TEST_F(TextureKinds, EachSurfaceReportsItsPixelFormat) {
  const std::pair<uint8_t, TCommonPixelFormat*> kinds[] = {{kTexKindPicture, FormatA8R8G8B8()},
                                                           {kTexKindTargetNoAlpha, FormatA8R8G8B8()},
                                                           {kTexKindTarget, FormatA8R8G8B8()},
                                                           {kTexKindLuminance, FormatY8()},
                                                           {kTexKindRgb565, FormatB5G6R5()}};
  for (auto [kind, format] : kinds) {
    auto device = Renderer().CreateTexture(kind, 32, 32, false);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetSurface(0)->GetPixelFormat(), format) << int(kind);
    EXPECT_EQ(device->GetSurface(0)->IsDeviceSurface(), IsRenderTargetKind(kind));
    EXPECT_EQ(device->GetSurface(1), nullptr);
  }
}

TEST_F(TextureKinds, MipLevelsAreBoxReductionsOfTheLevelAbove) {
  TGeneratedTexture texture(&Screen(), kTexKindPicture, 64, 64, Pattern);
  texture.SetMipFlags(kMipChain);
  T3DTexture* device = texture.GetTexture();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->LevelCount(), 7);  // 64 down to 1
  auto level1 = device->GetSurface(1)->Lock({0, 0, 32, 32}, true);
  ASSERT_NE(level1, nullptr);
  for (int y = 0; y < 32; y += 7) {
    for (int x = 0; x < 32; x += 5) {
      uint32_t sums[4] = {};
      for (int k = 0; k < 4; ++k) {
        const TColor c = Pattern(2 * x + k % 2, 2 * y + k / 2);
        sums[0] += AlphaOf(c);
        sums[1] += RedOf(c);
        sums[2] += GreenOf(c);
        sums[3] += BlueOf(c);
      }
      EXPECT_EQ(level1->PixelColor(x, y), MakeColor(sums[1] >> 2, sums[2] >> 2, sums[3] >> 2, sums[0] >> 2));
    }
  }
  device->GetSurface(1)->Unlock(std::move(level1));
  auto last = device->GetSurface(6)->Lock({0, 0, 1, 1}, true);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->Width(), 1);
}

TEST_F(TextureKinds, RenderTargetsReadBackWhatWasDrawnIntoThem) {
  for (uint8_t kind : {kTexKindTargetNoAlpha, kTexKindTarget}) {
    auto device = Renderer().CreateTexture(kind, 64, 32, false);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(Screen().PushRenderTarget(*device, 0, 0));
    ASSERT_TRUE(Screen().Clear(MakeColor(10, 200, 30, 255), false));
    Quad({}, {8, 4, 24, 12}, MakeColor(250, 5, 100));
    ASSERT_TRUE(Screen().PopRenderTarget());
    auto pixels = ReadSurface(*device->GetSurface(0));
    EXPECT_COLOR_NEAR(pixels->PixelColor(2, 2), MakeColor(10, 200, 30), 1) << int(kind);
    EXPECT_COLOR_NEAR(pixels->PixelColor(8, 4), MakeColor(250, 5, 100), 1) << int(kind);
    EXPECT_COLOR_NEAR(pixels->PixelColor(23, 11), MakeColor(250, 5, 100), 1) << int(kind);
    EXPECT_COLOR_NEAR(pixels->PixelColor(24, 12), MakeColor(10, 200, 30), 1) << int(kind);
  }
}

TEST_F(TextureKinds, WritableLocksOfARenderTargetReachIt) {
  auto device = Renderer().CreateTexture(kTexKindTarget, 32, 32, false);
  ASSERT_NE(device, nullptr);
  T3DSurface* surface = device->GetSurface(0);
  auto bitmap = surface->Lock({4, 4, 8, 8}, false);
  ASSERT_NE(bitmap, nullptr);
  bitmap->Fill(bitmap->BoundsRect(), MakeColor(1, 2, 3, 4));
  ASSERT_TRUE(surface->Unlock(std::move(bitmap)));
  auto read = surface->Lock({0, 0, 32, 32}, true);
  EXPECT_EQ(read->PixelColor(4, 4), MakeColor(1, 2, 3, 4));
  EXPECT_EQ(read->PixelColor(7, 7), MakeColor(1, 2, 3, 4));
  EXPECT_NE(read->PixelColor(8, 8), MakeColor(1, 2, 3, 4));
  // The back buffer cannot be written through a lock; a foreign bitmap
  // does not unlock anything.
  EXPECT_EQ(Renderer().GetBackBuffer()->Lock({0, 0, 4, 4}, false), nullptr);
  EXPECT_FALSE(surface->Unlock(std::make_unique<TDirectBitmap>(1, 1, FormatA8R8G8B8())));
  EXPECT_EQ(surface->Lock({40, 40, 50, 50}, true), nullptr);
}

// A level's pixels, each as ReadDevicePixel gives it.
std::vector<TColor> LevelPixels(T3DSurface& level) {
  const T3DSize size = level.GetSize();
  auto bitmap = level.Lock({0, 0, size.Width, size.Height}, true);
  std::vector<TColor> pixels;
  if (!bitmap) return pixels;
  for (int y = 0; y < size.Height; ++y) {
    for (int x = 0; x < size.Width; ++x) pixels.push_back(ReadDevicePixel(*bitmap, x, y));
  }
  level.Unlock(std::move(bitmap));
  return pixels;
}

TEST_F(TextureKinds, APartialWritableLockShowsAndKeepsTheRestOfTheLevel) {
  const TColor white = MakeColor(255, 255, 255);
  for (uint8_t kind : {kTexKindPicture, kTexKindLuminance, kTexKindRgb565}) {
    TGeneratedTexture texture(&Screen(), kind, 32, 32, Pattern);
    texture.SetMipFlags(kMipChain);
    T3DTexture* device = texture.GetTexture();
    ASSERT_NE(device, nullptr) << int(kind);
    // Level 0, and a small level further down the chain.
    for (int levelIndex : {0, 3}) {
      if (levelIndex >= device->LevelCount()) continue;
      T3DSurface* level = device->GetSurface(levelIndex);
      const T3DSize size = level->GetSize();
      const std::vector<TColor> before = LevelPixels(*level);
      ASSERT_EQ(before.size(), static_cast<size_t>(size.Width * size.Height));
      auto at = [&](const std::vector<TColor>& pixels, int x, int y) { return pixels[static_cast<size_t>(y * size.Width + x)]; };
      const TRect part = levelIndex == 0 ? TRect{5, 7, 13, 11} : TRect{1, 2, 3, 3};
      auto locked = level->Lock(part, false);
      ASSERT_NE(locked, nullptr) << int(kind);
      ASSERT_EQ(locked->Width(), part.Width());
      ASSERT_EQ(locked->Height(), part.Height());
      for (int y = 0; y < part.Height(); ++y) {
        for (int x = 0; x < part.Width(); ++x) {
          // The lock shows what the level holds there.
          ASSERT_EQ(ReadDevicePixel(*locked, x, y), at(before, part.Left + x, part.Top + y))
              << "kind " << int(kind) << " level " << levelIndex << " at " << x << "," << y;
          WriteDevicePixel(*locked, x, y, white);
        }
      }
      ASSERT_TRUE(level->Unlock(std::move(locked)));
      const std::vector<TColor> after = LevelPixels(*level);
      ASSERT_EQ(after.size(), before.size());
      TDirectBitmap whiteDevice(1, 1, level->GetPixelFormat());
      WriteDevicePixel(whiteDevice, 0, 0, white);
      for (int y = 0; y < size.Height; ++y) {
        for (int x = 0; x < size.Width; ++x) {
          const bool inside = x >= part.Left && x < part.Right && y >= part.Top && y < part.Bottom;
          ASSERT_EQ(at(after, x, y), inside ? ReadDevicePixel(whiteDevice, 0, 0) : at(before, x, y))
              << "kind " << int(kind) << " level " << levelIndex << " at " << x << "," << y;
        }
      }
    }
  }
}

// A texture whose content ends half-way through while it is written.
class TBrokenTexture : public TCustomTexture {
 public:
  explicit TBrokenTexture(T3DScreen* screen) : TCustomTexture(screen) { SetSize(32, 32); }
  void FillLevel(TBitmap& level) override {
    ++Fills;
    for (int y = 0; y < level.Height(); ++y) {
      if (Broken && y == level.Height() / 2) throw std::runtime_error("the content ended");
      for (int x = 0; x < level.Width(); ++x) WriteDevicePixel(level, x, y, Broken ? MakeColor(255, 0, 0) : Color);
    }
  }
  bool Broken = true;
  int Fills = 0;
  TColor Color = MakeColor(0, 0, 255);
};

TEST_F(TextureKinds, ATextureWhoseFillThrowsIsNotKeptHalfWritten) {
  TBrokenTexture texture(&Screen());
  EXPECT_THROW(texture.GetTexture(), std::runtime_error);
  EXPECT_EQ(texture.DeviceTexture(), nullptr);
  texture.Broken = false;
  T3DTexture* device = texture.GetTexture();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(texture.Fills, 2);  // made and written anew
  const std::vector<TColor> pixels = LevelPixels(*device->GetSurface(0));
  ASSERT_EQ(pixels.size(), 32u * 32u);
  for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], texture.Color) << i;
}

using Drawing = GLScreenTest;

TEST_F(Drawing, LuminanceIsGreyAnd565KeepsItsColours) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  auto grey = Plain(Screen(), MakeColor(90, 90, 90), 16, kTexKindLuminance);
  auto bars = Plain(Screen(), MakeColor(255, 128, 0), 16, kTexKindRgb565);
  Quad({grey.get()}, {0, 0, 32, 32}, MakeColor(255, 255, 255));
  Quad({bars.get()}, {40, 0, 72, 32}, MakeColor(255, 255, 255));
  auto pixels = ReadBack();
  EXPECT_COLOR_NEAR(pixels->PixelColor(10, 10), MakeColor(90, 90, 90), 1);
  EXPECT_COLOR_NEAR(pixels->PixelColor(50, 10), MakeColor(255, 130, 0), 4);
}

TEST_F(Drawing, AQuadLandsWhereItsScreenPixelsSay) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  Quad({}, {10, 20, 30, 25}, MakeColor(255, 0, 0));
  auto pixels = ReadBack();
  EXPECT_EQ(RedOf(pixels->PixelColor(10, 20)), 255u);
  EXPECT_EQ(RedOf(pixels->PixelColor(29, 24)), 255u);
  EXPECT_EQ(RedOf(pixels->PixelColor(9, 20)), 0u);
  EXPECT_EQ(RedOf(pixels->PixelColor(30, 24)), 0u);
  EXPECT_EQ(RedOf(pixels->PixelColor(10, 19)), 0u);
  EXPECT_EQ(RedOf(pixels->PixelColor(10, 25)), 0u);
}

TEST_F(Drawing, ATextureIsDrawnTheRightWayUp) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  TGeneratedTexture halves(&Screen(), kTexKindPicture, 16, 16,
                           [](int, int y) { return y < 8 ? MakeColor(255, 0, 0) : MakeColor(0, 0, 255); });
  halves.SetNearest(true);
  Quad({&halves}, {0, 0, 32, 32}, MakeColor(255, 255, 255));
  auto pixels = ReadBack();
  EXPECT_COLOR_NEAR(pixels->PixelColor(16, 4), MakeColor(255, 0, 0), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(16, 28), MakeColor(0, 0, 255), 0);
}

TEST_F(Drawing, BlendModeMaximumKeepsTheLargerChannel) {
  Screen().Clear(MakeColor(200, 50, 100), false);
  Screen().Batcher().Flush();
  Renderer().SetBlendMode(kBlendMaximum);
  Quad({}, {0, 0, 64, 64}, MakeColor(100, 150, 100));
  Renderer().SetBlendMode(kBlendNormal);
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(200, 150, 100), 0);
  EXPECT_COLOR_NEAR(Pixel(100, 80), MakeColor(200, 50, 100), 0);
}

TEST_F(Drawing, BlendModeNormalMixesByTheSourceAlpha) {
  Screen().Clear(MakeColor(0, 0, 200), false);
  Quad({}, {0, 0, 64, 64}, MakeColor(255, 0, 0, 128));
  // 255 * 128/255 and 200 * (1 - 128/255).
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(128, 0, 100), 1);
}

TEST_F(Drawing, APremultipliedTextureIsAddedAtFullStrength) {
  Screen().Clear(MakeColor(0, 0, 200), false);
  auto texture = Plain(Screen(), MakeColor(100, 0, 0, 128));
  texture->SetPremultiplied(true);
  Quad({texture.get()}, {0, 0, 64, 64}, MakeColor(255, 255, 255));
  EXPECT_EQ(Screen().Batcher().LastFlags(), kDrawTextured | kDrawModulateColor | kDrawModulateAlpha);
  // Source factor one: 100 + 0, and 200 * (1 - 128/255).
  EXPECT_COLOR_NEAR(Pixel(20, 20), MakeColor(100, 0, 100), 1);
}

TEST_F(Drawing, APremultipliedTargetAccumulatesCoverageInItsAlpha) {
  TRenderTargetTexture target(&Screen());
  target.SetSize(32, 32);
  target.SetPremultiplied(true);
  T3DTexture* device = target.GetTexture();
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(Screen().PushRenderTarget(*device, 0, 0));
  Screen().Clear(MakeColor(0, 0, 0, 0), false);
  Quad({}, {0, 0, 32, 32}, MakeColor(255, 255, 255, 128));
  Quad({}, {0, 0, 32, 32}, MakeColor(255, 255, 255, 128));
  Screen().PopRenderTarget();
  auto pixels = ReadSurface(*device->GetSurface(0));
  // Alpha: 128, then 128 + 128 * (1 - 0.5) = 192; colour premultiplied to match.
  const TColor c = pixels->PixelColor(5, 5);
  EXPECT_NEAR(static_cast<int>(AlphaOf(c)), 192, 2);
  EXPECT_NEAR(static_cast<int>(RedOf(c)), 192, 2);
}

TEST_F(Drawing, ATargetWithoutAlphaDrawsOpaque) {
  Screen().Clear(MakeColor(0, 0, 255), false);
  auto device = Renderer().CreateTexture(kTexKindTargetNoAlpha, 32, 32, false);
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(Screen().PushRenderTarget(*device, 0, 0));
  Screen().Clear(MakeColor(255, 0, 0, 0), false);
  Screen().PopRenderTarget();
  // Drawn with the vertex alpha alone, which is opaque.
  TVertexBuffer& batcher = Screen().Batcher();
  auto list = Renderer().CreateVertexList(6, true, 1);
  ASSERT_NE(list, nullptr);
  T3DVertex v[6];
  const float corners[6][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
  for (int i = 0; i < 6; ++i) {
    v[i].X = corners[i][0];
    v[i].Y = corners[i][1];
    v[i].Color = MakeColor(255, 255, 255, 255);
    v[i].Tex[0][0] = (corners[i][0] + 1) / 2;
    v[i].Tex[0][1] = (1 - corners[i][1]) / 2;
  }
  batcher.Flush();
  ASSERT_TRUE(list->Fill(v, 0, 6));
  list->SetPrimitive(0, 2, kPrimTriangleList);
  T3DTexture* textures[1] = {device.get()};
  ASSERT_TRUE(Renderer().DrawPrimitives(textures, kDrawTextured | kDrawModulateAlpha, *list));
  EXPECT_COLOR_NEAR(Pixel(64, 48), MakeColor(255, 0, 0), 0);
}

using RenderTargets = GLScreenTest;

TEST_F(RenderTargets, APushedTargetReceivesTheDrawingAndTheBackBufferDoesNot) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  TRenderTargetTexture target(&Screen());
  target.SetSize(32, 32);
  ASSERT_NE(target.GetTexture(), nullptr);
  ASSERT_TRUE(Screen().PushRenderTarget(*target.GetTexture(), 40, 20));
  EXPECT_EQ(Screen().RenderTargetDepth(), 2);
  EXPECT_EQ(Screen().GetTargetRect(), (TRect{40, 20, 72, 52}));
  Screen().Clear(MakeColor(0, 0, 0, 0), false);
  // Screen pixels 50..60 x 30..40 are target pixels 10..20.
  Quad({}, {50, 30, 60, 40}, MakeColor(0, 255, 0));
  ASSERT_TRUE(Screen().PopRenderTarget());
  EXPECT_EQ(Screen().RenderTargetDepth(), 1);

  auto back = ReadBack();
  EXPECT_COLOR_NEAR(back->PixelColor(55, 35), MakeColor(0, 0, 0), 0);
  auto pixels = ReadSurface(*target.GetTexture()->GetSurface(0));
  EXPECT_COLOR_NEAR(pixels->PixelColor(10, 10), MakeColor(0, 255, 0), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(19, 19), MakeColor(0, 255, 0), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(9, 10), MakeColor(0, 0, 0), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(20, 19), MakeColor(0, 0, 0), 0);

  // Drawn back, the target shows its content where it covers the screen.
  Quad({&target}, {40, 20, 72, 52}, MakeColor(255, 255, 255));
  EXPECT_COLOR_NEAR(Pixel(55, 35), MakeColor(0, 255, 0), 0);
  EXPECT_COLOR_NEAR(Pixel(45, 25), MakeColor(0, 0, 0), 0);
}

TEST_F(RenderTargets, PoppingTheBackBufferKeepsItCurrent) {
  EXPECT_EQ(Screen().RenderTargetDepth(), 1);
  EXPECT_FALSE(Screen().PopRenderTarget());
  EXPECT_EQ(Screen().RenderTargetDepth(), 1);
  EXPECT_EQ(Screen().GetTargetRect(), (TRect{0, 0, kWidth, kHeight}));
  EXPECT_EQ(Renderer().GetRenderTarget(), Renderer().GetBackBuffer());
  Screen().Clear(MakeColor(9, 99, 199), false);
  EXPECT_COLOR_NEAR(Pixel(kWidth - 1, kHeight - 1), MakeColor(9, 99, 199), 0);
}

TEST_F(RenderTargets, NestedTargetsRestoreEachOtherInTurn) {
  auto outer = Renderer().CreateTexture(kTexKindTarget, 64, 64, false);
  auto inner = Renderer().CreateTexture(kTexKindTarget, 32, 32, false);
  ASSERT_TRUE(Screen().PushRenderTarget(*outer, 0, 0));
  Screen().Clear(MakeColor(255, 0, 0), false);
  ASSERT_TRUE(Screen().PushRenderTarget(*inner, 16, 16));
  Screen().Clear(MakeColor(0, 0, 255), false);
  ASSERT_TRUE(Screen().PopRenderTarget());
  EXPECT_EQ(Screen().GetTargetRect(), (TRect{0, 0, 64, 64}));
  Quad({}, {0, 0, 8, 8}, MakeColor(0, 255, 0));
  ASSERT_TRUE(Screen().PopRenderTarget());
  auto outerPixels = ReadSurface(*outer->GetSurface(0));
  EXPECT_COLOR_NEAR(outerPixels->PixelColor(4, 4), MakeColor(0, 255, 0), 0);
  EXPECT_COLOR_NEAR(outerPixels->PixelColor(20, 20), MakeColor(255, 0, 0), 0);
  auto innerPixels = ReadSurface(*inner->GetSurface(0));
  EXPECT_COLOR_NEAR(innerPixels->PixelColor(4, 4), MakeColor(0, 0, 255), 0);
}

TEST_F(RenderTargets, StretchRectsCopiesBetweenATargetAndTheBackBufferTheRightWayUp) {
  auto device = Renderer().CreateTexture(kTexKindTarget, 32, 32, false);
  ASSERT_TRUE(Screen().PushRenderTarget(*device, 0, 0));
  Screen().Clear(MakeColor(0, 0, 255), false);
  Quad({}, {0, 0, 32, 8}, MakeColor(255, 0, 0));  // the top rows red
  Screen().PopRenderTarget();
  Screen().Clear(MakeColor(0, 0, 0), false);
  const TRect from[1] = {{0, 0, 32, 32}};
  const TRect to[1] = {{50, 40, 82, 72}};
  ASSERT_TRUE(Renderer().StretchRects(*device->GetSurface(0), *Renderer().GetBackBuffer(), from, to));
  auto pixels = ReadBack();
  EXPECT_COLOR_NEAR(pixels->PixelColor(60, 42), MakeColor(255, 0, 0), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(60, 60), MakeColor(0, 0, 255), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(45, 42), MakeColor(0, 0, 0), 0);
}

TEST_F(RenderTargets, ClearRectTakesScreenPixelsInAnyTarget) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  ASSERT_TRUE(Screen().ClearRect({4, 4, 8, 8}, MakeColor(255, 255, 0)));
  EXPECT_COLOR_NEAR(Pixel(5, 5), MakeColor(255, 255, 0), 0);
  EXPECT_COLOR_NEAR(Pixel(8, 8), MakeColor(0, 0, 0), 0);
  auto device = Renderer().CreateTexture(kTexKindTarget, 32, 32, false);
  ASSERT_TRUE(Screen().PushRenderTarget(*device, 20, 20));
  Screen().Clear(MakeColor(0, 0, 0), false);
  ASSERT_TRUE(Screen().ClearRect({24, 24, 28, 28}, MakeColor(0, 255, 255)));
  Screen().PopRenderTarget();
  auto pixels = ReadSurface(*device->GetSurface(0));
  EXPECT_COLOR_NEAR(pixels->PixelColor(5, 5), MakeColor(0, 255, 255), 0);
  EXPECT_COLOR_NEAR(pixels->PixelColor(9, 9), MakeColor(0, 0, 0), 0);
}

using Perspective = GLScreenTest;

TEST_F(Perspective, APointAtDepthHIsDrawnHalfwayToTheCentre) {
  Screen().Clear(MakeColor(0, 0, 0), false);
  // A square around (16, 16) pushed back by the height lands around the
  // point halfway to the centre (64, 48), at half its size.
  Quad({}, {8, 8, 24, 24}, MakeColor(255, 255, 255), static_cast<float>(kHeight));
  auto pixels = ReadBack();
  EXPECT_EQ(RedOf(pixels->PixelColor(40, 32)), 255u);
  EXPECT_EQ(RedOf(pixels->PixelColor(37, 29)), 255u);
  EXPECT_EQ(RedOf(pixels->PixelColor(35, 27)), 0u);
  EXPECT_EQ(RedOf(pixels->PixelColor(16, 16)), 0u);
  EXPECT_EQ(RedOf(pixels->PixelColor(45, 37)), 0u);
}

}  // namespace
}  // namespace zel
