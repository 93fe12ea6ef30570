// The parts of the render device that are arithmetic: the projection, the
// presentation pacing, the shader level rule, device sizes, mip reduction,
// and the batcher's and pool's rules that hold without a device.
#include <gtest/gtest.h>

#include <cstring>

#include "assertion_capture.h"
#include "gl_test_support.h"
#include "render/level_reduction.h"
#include "render/present_pacing.h"
#include "render/projection.h"

namespace zel {
namespace {

using testing_support::TAssertionCapture;

TProjectionSetup MakeSetup(float w, float h, float ox = 0, float oy = 0, float tw = 0, float th = 0) {
  TProjectionSetup s;
  s.BoundsWidth = w;
  s.BoundsHeight = h;
  s.OffsetX = ox;
  s.OffsetY = oy;
  s.TargetWidth = tw ? tw : w;
  s.TargetHeight = th ? th : h;
  return s;
}

TEST(Projection, APointAtDepthHLiesHalfwayToTheCentre) {
  const TProjectionSetup s = MakeSetup(800, 600);
  float x = 0;
  float y = 0;
  ASSERT_TRUE(ProjectToTarget(s, 100, 500, 600, x, y));
  EXPECT_NEAR(x, (100 + 400) / 2.0f, 0.01f);
  EXPECT_NEAR(y, (500 + 300) / 2.0f, 0.01f);
  // The screen plane is shown as it is.
  ASSERT_TRUE(ProjectToTarget(s, 100, 500, 0, x, y));
  EXPECT_NEAR(x, 100, 0.01f);
  EXPECT_NEAR(y, 500, 0.01f);
}

TEST(Projection, ARenderTargetShowsItsRectangleOfTheScreenWithTheSamePerspective) {
  // A 256 x 128 target covering screen pixels from (300, 200).
  const TProjectionSetup screen = MakeSetup(800, 600);
  const TProjectionSetup target = MakeSetup(800, 600, 300, 200, 256, 128);
  for (float z : {0.0f, 150.0f, 600.0f}) {
    float sx = 0;
    float sy = 0;
    float tx = 0;
    float ty = 0;
    ASSERT_TRUE(ProjectToTarget(screen, 350, 260, z, sx, sy));
    ASSERT_TRUE(ProjectToTarget(target, 350, 260, z, tx, ty));
    EXPECT_NEAR(tx, sx - 300, 0.02f) << "z " << z;
    EXPECT_NEAR(ty, sy - 200, 0.02f) << "z " << z;
  }
}

TEST(Projection, PixelCentreOffsetShiftsByThatMuchAtEveryDepth) {
  TProjectionSetup s = MakeSetup(640, 480);
  s.PixelCenter = {0.5f, 0.5f};
  for (float z : {0.0f, 480.0f}) {
    float plainX = 0;
    float plainY = 0;
    float x = 0;
    float y = 0;
    ProjectToTarget(MakeSetup(640, 480), 100, 100, z, plainX, plainY);
    ProjectToTarget(s, 100, 100, z, x, y);
    EXPECT_NEAR(x, plainX - 0.5f, 0.01f);
    EXPECT_NEAR(y, plainY - 0.5f, 0.01f);
  }
}

TEST(Projection, DepthRunsFromTheNearToTheFarPlane) {
  const TProjectionMatrices m = MakeProjection(MakeSetup(800, 600));
  const T3DMatrix all = m.World * m.View * m.Projection;
  float clip[4];
  // z' = -0.99 puts w at the near plane: depth 0.
  all.Transform(0, 0, -0.99f, clip);
  EXPECT_NEAR(clip[2] / clip[3], 0.0f, 1e-4f);
  all.Transform(0, 0, 1000000.0f - 1.0f, clip);
  EXPECT_NEAR(clip[2] / clip[3], 1.0f, 1e-4f);
}

TEST(PresentPacing, SleepsWhatIsLeftOfThePeriodLessThreeButAtLeastOne) {
  EXPECT_EQ(RefreshPeriodMs(60), 16);
  EXPECT_EQ(PresentSleepMs(16, 5), 8);
  EXPECT_EQ(PresentSleepMs(16, 20), 1);
  EXPECT_EQ(PresentSleepMs(16, 0), 13);
  EXPECT_EQ(PresentSleepMs(16, 14), 1);
  // A display that tells no rate must not reach the division.
  EXPECT_EQ(RefreshPeriodMs(0), 1000 / kFallbackRefreshRate);
}

TEST(ShaderLevel, FollowsVendorAndPixelShaderVersion) {
  EXPECT_EQ(ShaderLevelFor(kVendorIntel, PixelShaderVersion(2, 0)), 1);
  EXPECT_EQ(ShaderLevelFor(kVendorIntel, PixelShaderVersion(3, 0)), 2);
  EXPECT_EQ(ShaderLevelFor(kVendorIntel, PixelShaderVersion(1, 4)), 0);
  EXPECT_EQ(ShaderLevelFor(0x10DE, PixelShaderVersion(1, 4)), 0);
  EXPECT_EQ(ShaderLevelFor(0x10DE, PixelShaderVersion(2, 0)), 2);
  EXPECT_EQ(ShaderLevelFor(0, PixelShaderVersion(3, 0)), 2);
}

TEST(PrimitiveVertexCount, CountsEachTypeAndRejectsAnUnknownOne) {
  EXPECT_EQ(PrimitiveVertexCount(kPrimPointList, 5), 5);
  EXPECT_EQ(PrimitiveVertexCount(kPrimLineList, 5), 10);
  EXPECT_EQ(PrimitiveVertexCount(kPrimLineStrip, 5), 6);
  EXPECT_EQ(PrimitiveVertexCount(kPrimTriangleList, 5), 15);
  EXPECT_EQ(PrimitiveVertexCount(kPrimTriangleStrip, 5), 7);
  EXPECT_EQ(PrimitiveVertexCount(kPrimTriangleFan, 5), 7);
  TAssertionCapture capture;
  EXPECT_THROW(PrimitiveVertexCount(6, 1), EAssertionFailed);
}

// A texture on a screen without a device: sizes and rules only.
class TFlatTexture : public TCustomTexture {
 public:
  explicit TFlatTexture(T3DScreen* screen, uint8_t kind = kTexKindPicture) : TCustomTexture(screen, kind) {}
  void FillLevel(TBitmap&) override {}
};

TEST(DeviceSize, PowersOfTwoOfAtLeast32AndNoneForEmptyContent) {
  T3DScreen screen;
  TFlatTexture texture(&screen);
  texture.SetSize(300, 20);
  EXPECT_EQ(texture.DeviceSize(), (T3DSize{512, 32}));
  EXPECT_DOUBLE_EQ(texture.ScaleX(), 1.0 / 512);
  EXPECT_DOUBLE_EQ(texture.ScaleY(), 1.0 / 32);
  texture.SetSize(1, 1);
  EXPECT_EQ(texture.DeviceSize(), (T3DSize{32, 32}));
  texture.SetSize(0, 10);
  EXPECT_TRUE(texture.DeviceSize().IsEmpty());
  EXPECT_EQ(texture.GetTexture(), nullptr);
  EXPECT_EQ(DeviceSizeFor(32, 33), (T3DSize{32, 64}));
  EXPECT_EQ(DeviceSizeFor(1024, 1024), (T3DSize{1024, 1024}));
}

TEST(DeviceSize, NoDeviceTextureWithoutAReadyScreen) {
  T3DScreen screen;
  TFlatTexture texture(&screen);
  texture.SetSize(64, 64);
  EXPECT_EQ(texture.GetTexture(), nullptr);
  EXPECT_EQ(screen.Resources().size(), 2u);  // the screen's batcher and the texture
}

TEST(ScreenResources, NeedAScreen) {
  TAssertionCapture capture;
  EXPECT_THROW(TFlatTexture(nullptr), EAssertionFailed);
  EXPECT_THROW(TVertexBuffer(nullptr), EAssertionFailed);
  T3DScreen screen;
  EXPECT_THROW(screen.AssignDevice(nullptr), EAssertionFailed);
  EXPECT_NE(capture.Last().find("DrawDevice=nil"), std::string::npos);
}

TEST(ScreenResources, OutliveTheirScreenAsShells) {
  auto screen = std::make_unique<T3DScreen>();
  TFlatTexture texture(screen.get());
  EXPECT_EQ(texture.Screen(), screen.get());
  screen.reset();
  EXPECT_EQ(texture.Screen(), nullptr);
  texture.SetSize(64, 64);
  EXPECT_EQ(texture.GetTexture(), nullptr);
}

// --- Mip reduction.

TEST(ReduceLevel, AveragesEach2x2BlockPerChannelWithAlpha) {
  TDirectBitmap upper(4, 2, FormatA8R8G8B8());
  TDirectBitmap lower(2, 1, FormatA8R8G8B8());
  const TColor block[4] = {MakeColor(10, 20, 30, 40), MakeColor(20, 30, 40, 50), MakeColor(30, 40, 50, 60),
                           MakeColor(41, 51, 61, 255)};
  upper.Fill({0, 0, 4, 2}, MakeColor(200, 100, 0, 8));
  upper.Fill({0, 0, 1, 1}, block[0]);
  upper.Fill({1, 0, 2, 1}, block[1]);
  upper.Fill({0, 1, 1, 2}, block[2]);
  upper.Fill({1, 1, 2, 2}, block[3]);
  ReduceLevel(upper, lower);
  // Sums shifted right by 2: (10+20+30+41)>>2 = 25, and so on.
  EXPECT_EQ(lower.PixelColor(0, 0), MakeColor(25, 35, 45, (40 + 50 + 60 + 255) >> 2));
  EXPECT_EQ(lower.PixelColor(1, 0), MakeColor(200, 100, 0, 8));
}

TEST(ReduceLevel, ResamplesWhenTheUpperLevelIsNotExactlyTwiceTheSize) {
  // 3 x 1 to 1 x 1: the mean of the three pixels.
  TDirectBitmap upper(3, 1, FormatA8R8G8B8());
  TDirectBitmap lower(1, 1, FormatA8R8G8B8());
  upper.Fill({0, 0, 1, 1}, MakeColor(0, 0, 0, 0));
  upper.Fill({1, 0, 2, 1}, MakeColor(90, 30, 60, 90));
  upper.Fill({2, 0, 3, 1}, MakeColor(180, 60, 120, 180));
  ReduceLevel(upper, lower);
  EXPECT_EQ(lower.PixelColor(0, 0), MakeColor(90, 30, 60, 90));
}

TEST(ReduceLevel, AveragesLuminanceAnd565Pixels) {
  TDirectBitmap greyUp(2, 2, FormatY8());
  TDirectBitmap greyDown(1, 1, FormatY8());
  const uint8_t values[4] = {0, 100, 200, 100};
  for (int i = 0; i < 4; ++i) greyUp.ScanLine(i / 2)[i % 2] = values[i];
  ReduceLevel(greyUp, greyDown);
  EXPECT_EQ(greyDown.ScanLine(0)[0], 100);

  TDirectBitmap upper(2, 2, FormatB5G6R5());
  TDirectBitmap lower(1, 1, FormatB5G6R5());
  WriteDevicePixel(upper, 0, 0, MakeColor(248, 0, 0));
  WriteDevicePixel(upper, 1, 0, MakeColor(248, 0, 0));
  WriteDevicePixel(upper, 0, 1, MakeColor(0, 252, 0));
  WriteDevicePixel(upper, 1, 1, MakeColor(0, 252, 0));
  ReduceLevel(upper, lower);
  // Red 31 + 31 + 0 + 0 over four is 15; green 63 * 2 / 4 is 31.
  EXPECT_EQ(ReadDevicePixel(lower, 0, 0), MakeColor(15 << 3, 31 << 2, 0));
}

TEST(DevicePixels, RoundTripThroughEachTextureFormat) {
  TDirectBitmap argb(1, 1, FormatA8R8G8B8());
  WriteDevicePixel(argb, 0, 0, MakeColor(1, 2, 3, 4));
  EXPECT_EQ(ReadDevicePixel(argb, 0, 0), MakeColor(1, 2, 3, 4));
  TDirectBitmap grey(1, 1, FormatY8());
  WriteDevicePixel(grey, 0, 0, MakeColor(30, 60, 90));
  EXPECT_EQ(ReadDevicePixel(grey, 0, 0), MakeColor(60, 60, 60));
  TDirectBitmap bits(1, 1, FormatB5G6R5());
  WriteDevicePixel(bits, 0, 0, MakeColor(255, 0, 0));
  uint16_t raw;
  std::memcpy(&raw, bits.ScanLine(0), 2);
  EXPECT_EQ(raw, 0xF800);  // red in the high bits
}

// --- The batcher's limits hold before any device exists.

TEST(Batcher, RefusesMoreTexturesThanGivenOrAllowed) {
  T3DScreen screen;
  TFlatTexture a(&screen);
  TCustomTexture* one[1] = {&a};
  TVertexBuffer batcher(&screen);
  TAssertionCapture capture;
  EXPECT_THROW(batcher.Begin(one, 2), EAssertionFailed);
  std::vector<TCustomTexture*> eight(8, &a);
  EXPECT_THROW(batcher.Begin(eight), EAssertionFailed);
}

TEST(Batcher, RefusesMixedPremultipliedTexturesAndUnboundCoordinates) {
  T3DScreen screen;
  TFlatTexture a(&screen);
  TFlatTexture b(&screen);
  b.SetPremultiplied(true);
  TVertexBuffer batcher(&screen);
  const TTriangleCoords coords[2] = {};
  const TColor white[3] = {~0u, ~0u, ~0u};
  TAssertionCapture capture;
  TCustomTexture* pair[2] = {&a, &b};
  batcher.Begin(pair);
  EXPECT_THROW(batcher.AddTriangle({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, white, coords), EAssertionFailed);
  TCustomTexture* single[1] = {&a};
  batcher.Begin(single);
  EXPECT_THROW(batcher.AddTriangle({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, white, coords), EAssertionFailed);
  EXPECT_NO_THROW(batcher.AddTriangle({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, white, std::span(coords, 1)));
}

TEST(Batcher, OneTextureBelowFullOpacitySetsModulateAlpha) {
  T3DScreen screen;
  TFlatTexture a(&screen);
  a.SetOpacity(128);
  TVertexBuffer batcher(&screen);
  batcher.ModulateAlpha = false;
  TCustomTexture* list[1] = {&a};
  batcher.Begin(list);
  EXPECT_TRUE(batcher.ModulateAlpha);
  // Without a ready screen there is no device list; the capacity is the default.
  EXPECT_FALSE(batcher.HasDeviceList());
  EXPECT_EQ(batcher.Capacity(), TVertexBuffer::kDefaultCapacity);
}

// --- The render-target pool.

TEST(RenderTargetPool, RoundsItsSizeAndReusesReturnedTextures) {
  T3DScreen screen;
  TRenderTargetManager pool;
  pool.SetSize(300, 20);
  EXPECT_EQ(pool.PoolSize(), (T3DSize{512, 32}));
  TRenderTargetTexture* first = nullptr;
  {
    TPooledRenderTarget texture = pool.Acquire(&screen, true);
    first = texture.get();
    EXPECT_EQ(texture->Manager(), &pool);
    EXPECT_TRUE(texture->Premultiplied());
    EXPECT_EQ(texture->Size(), (T3DSize{512, 32}));
    EXPECT_EQ(pool.FreeCount(), 0);
  }
  // Disposing a pooled texture returned it.
  EXPECT_EQ(pool.FreeCount(), 1);
  TPooledRenderTarget again = pool.Acquire(&screen, false);
  EXPECT_EQ(again.get(), first);
  EXPECT_FALSE(again->Premultiplied());
  again.reset();
  // Another size frees what is free.
  pool.SetSize(100, 100);
  EXPECT_EQ(pool.FreeCount(), 0);
  EXPECT_EQ(pool.PoolSize(), (T3DSize{128, 128}));
}

TEST(RenderTargetPool, RefusesATextureOfAnotherSize) {
  T3DScreen screen;
  TRenderTargetManager pool;
  pool.SetSize(64, 64);
  TRenderTargetTexture stranger(&screen);
  stranger.SetSize(32, 32);
  TAssertionCapture capture;
  EXPECT_THROW(pool.Return(&stranger), EAssertionFailed);
  // A texture out while the pool changed its size is freed, not returned.
  TPooledRenderTarget out = pool.Acquire(&screen, false);
  pool.SetSize(256, 256);
  EXPECT_NO_THROW(out.reset());
  EXPECT_EQ(pool.FreeCount(), 0);
}

TEST(RenderTargetPool, TexturesOutliveTheirPool) {
  T3DScreen screen;
  auto pool = std::make_unique<TRenderTargetManager>();
  pool->SetSize(64, 64);
  TPooledRenderTarget texture = pool->Acquire(&screen, false);
  pool.reset();
  EXPECT_EQ(texture->Manager(), nullptr);
  texture.reset();  // freed, nothing to return to
}

}  // namespace
}  // namespace zel
