// The drawer's passes through render targets: blur, sharpening, masks and
// the transition work targets.
#include <cmath>

#include "drawer_test_support.h"
#include "render/blur_plan.h"

namespace zel {
namespace {

using testing_support::GLDrawerTest;
using testing_support::MakePicture;
using testing_support::SolidBox;
using testing_support::TLogCapture;

TEST(BlurPlan, PassesAndWeightsFollowTheRadius) {
  // r = 10 at half resolution is t = 5: no doubling, one pair of weight 4/6.
  TBlurPlan plan = PlanBlur(10);
  EXPECT_EQ(plan.Method, TBlurMethod::Passes);
  EXPECT_EQ(plan.DoublePasses, 0);
  EXPECT_DOUBLE_EQ(plan.FinalWeight, 4.0 / 6.0);
  // t = 28: u = 2 exactly, so two doubling pairs (steps 1 and 2) and a
  // full final pair with step 4.
  plan = PlanBlur(56);
  EXPECT_EQ(plan.DoublePasses, 2);
  EXPECT_DOUBLE_EQ(plan.FinalWeight, 1.0);
  // t = 7 x 2^2.3: the ceiling of u and its fraction.
  plan = PlanBlur(2 * 7 * std::exp2(2.3));
  EXPECT_EQ(plan.DoublePasses, 3);
  EXPECT_NEAR(plan.FinalWeight, 0.3, 1e-9);
  plan = PlanBlur(2 * 7 * std::exp2(2.7));
  EXPECT_EQ(plan.DoublePasses, 3);
  EXPECT_NEAR(plan.FinalWeight, 0.7, 1e-9);
  // Below one pixel at half resolution the blurred copy is mixed in.
  plan = PlanBlur(1);
  EXPECT_EQ(plan.Method, TBlurMethod::Mix);
  EXPECT_NEAR(plan.MixAlpha, (0.5 - 0.00001) / 0.99999, 1e-12);
  plan = PlanBlur(2);
  EXPECT_EQ(plan.Method, TBlurMethod::Passes);
  EXPECT_DOUBLE_EQ(plan.FinalWeight, 0);
}

TEST(BlurPlan, WeightsSumToOneAtAnyWeight) {
  for (double x : {0.0, 0.25, 1.0}) {
    const auto w = BlurWeights(x);
    EXPECT_NEAR(2 * (w[0] + w[1] + w[2]) + w[3], 1.0, 1e-6);
  }
  EXPECT_FLOAT_EQ(BlurWeights(0)[3], 1.0f);
  EXPECT_FLOAT_EQ(BlurWeights(1)[0], 0.065722f);
}

class WideDrawer : public GLDrawerTest {
 protected:
  int Width() const override { return 1000; }
  int Height() const override { return 200; }
  void DrawSquare(float blur) {
    DrawFrame(
        [](TDeviceDrawer& drawer) {
          TBoxDrawParams box = SolidBox(0xFFFFFFFF, 200, 100);
          drawer.DrawBox(box, {400, 50, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
        },
        0xFF000000, blur);
  }
};

TEST_F(WideDrawer, TinyBlurDrawsDirectly) {
  DrawSquare(0.000005f);
  EXPECT_EQ(Red(399, 100), 0u);
  EXPECT_EQ(Red(400, 100), 255u);
}

TEST_F(WideDrawer, BlurOfTenSpreadsTheEdgeOverAboutTenPixels) {
  // Blur 10 on a 1,000-pixel canvas: radius 10.
  DrawSquare(10);
  EXPECT_GT(Red(500, 100), 250u);
  EXPECT_LT(Red(370, 100), 3u);
  const uint32_t outside = Red(396, 100), edge = Red(400, 100), inside = Red(404, 100);
  EXPECT_GT(outside, 10u);
  EXPECT_LT(outside, edge);
  EXPECT_LT(edge, inside);
  EXPECT_LT(inside, 250u);
  // Symmetric about the edge.
  EXPECT_NEAR(static_cast<int>(Red(396, 100)) + static_cast<int>(Red(403, 100)), 255, 20);
  // The blurred picture stays where it was drawn.
  EXPECT_LT(Red(500, 30), 3u);
}

TEST_F(WideDrawer, ABlurredItemKeepsItsBlurInsideTheSharpenedFrame) {
  testing_support::TLambdaItem square(
      [](TDeviceDrawer& drawer) {
        TBoxDrawParams box = SolidBox(0xFFFFFFFF, 200, 100);
        drawer.DrawBox(box, {400, 50, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
      },
      10);
  // A nested sharpened item must not end the frame's pass early either.
  testing_support::TLambdaItem nestedSharpened([](TDeviceDrawer&) {}, -50);
  TLogCapture log;
  // Sharpening by nothing: the frame as drawn, through the pass.
  DrawFrame([&](TDeviceDrawer& drawer) {
    drawer.BeginSharpen();
    drawer.Draw(square);
    drawer.Draw(nestedSharpened);
    drawer.EndSharpen(0, 0);
  });
  EXPECT_EQ(log.Count("apply unsharp, amount= 0"), 1);
  const uint32_t outside = Red(396, 100), inside = Red(404, 100);
  EXPECT_GT(outside, 10u);
  EXPECT_LT(inside, 250u);
  EXPECT_GT(Red(500, 100), 250u);
}

TEST_F(WideDrawer, LargeBlurReachesFurtherThanASmallOne) {
  // Blur 10: radius 10, no doubling; blur 56: radius 56, two doubling pairs
  // and a final one.
  DrawSquare(10);
  const uint32_t small = Red(385, 100), smallInside = Red(410, 100);
  DrawSquare(56);
  EXPECT_EQ(small, 0u);
  EXPECT_GT(Red(385, 100), 10u);
  EXPECT_GT(Red(370, 100), 0u);
  EXPECT_LT(Red(370, 100), Red(385, 100));
  EXPECT_LT(Red(410, 100), smallInside);
  // The top edge is blurred as much as the side ones.
  EXPECT_GT(Red(500, 40), 10u);
}

class SharpenDrawer : public GLDrawerTest {
 protected:
  // A grey square on a darker ground, both part of the sharpened item.
  static void DrawSquare(TDeviceDrawer& drawer) {
    TBoxDrawParams box = SolidBox(MakeColor(64, 64, 64), 256, 192);
    drawer.DrawBox(box, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
    box.color1 = MakeColor(128, 128, 128);
    box.width = 100;
    box.height = 100;
    drawer.DrawBox(box, {100, 50, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
  }
  void DrawStep(float blur) { DrawFrame(DrawSquare, 0xFF000000, blur); }
};

TEST_F(SharpenDrawer, NegativeBlurSharpensEdges) {
  TLogCapture log;
  // Amount -(-50 / 100) x 256 = 128.
  DrawStep(-50);
  EXPECT_GT(Red(100, 100), 140u);
  EXPECT_LT(Red(99, 100), 54u);
  EXPECT_EQ(Red(150, 100), 128u);
  EXPECT_EQ(Red(20, 100), 64u);
  EXPECT_EQ(log.Count("apply unsharp, amount= 128"), 1);
}

TEST_F(SharpenDrawer, ShaderLevelOneDrawsUnsharpened) {
  fDrawer->SetShaderLevel(1);
  TLogCapture log;
  DrawStep(-50);
  EXPECT_EQ(Red(100, 100), 128u);
  EXPECT_EQ(Red(99, 100), 64u);
  EXPECT_TRUE(log.Starting("apply unsharp").empty());
}

TEST_F(SharpenDrawer, ThresholdKeepsSmallDifferences) {
  auto drawWith = [&](float threshold) {
    DrawFrame([threshold](TDeviceDrawer& drawer) {
      drawer.BeginSharpen();
      DrawSquare(drawer);
      drawer.EndSharpen(threshold, 100);
    });
  };
  // The edge differs from its blur by 3/16 of 64 levels: 12 of 256.
  drawWith(0);
  EXPECT_GT(Red(100, 100), 135u);
  drawWith(128);
  EXPECT_EQ(Red(100, 100), 128u);
  EXPECT_EQ(Red(99, 100), 64u);
}

class MaskDrawer : public GLDrawerTest {
 protected:
  void DrawRedThrough(std::span<const TMaskLayer> layers) {
    testing_support::TLambdaItem content([this](TDeviceDrawer& drawer) {
      TBoxDrawParams box = SolidBox(0xFFFF0000, static_cast<float>(Width()), static_cast<float>(Height()));
      drawer.DrawBox(box, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
    });
    DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawMask(layers, content, nullptr); });
  }
  static TMaskLayer Layer(TImage& picture, float x = 0) {
    TMaskLayer layer;
    layer.picture = &picture;
    layer.plane = {{x, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}};
    return layer;
  }
};

TEST_F(MaskDrawer, TwoLayersMaskTogetherByTheirMaximum) {
  auto left = MakePicture(Width(), Height(), [this](int x, int) { return x < Width() / 2 ? 0xFFFFFFFF : 0x00FFFFFF; });
  auto bottom = MakePicture(Width(), Height(), [this](int, int y) { return y >= Height() / 2 ? 0xFFFFFFFF : 0x00FFFFFF; });
  const TMaskLayer layers[2] = {Layer(*left), Layer(*bottom)};
  DrawRedThrough(layers);
  EXPECT_COLOR_NEAR(Pixel(10, 10), 0xFFFF0000, 1);    // left
  EXPECT_COLOR_NEAR(Pixel(200, 150), 0xFFFF0000, 1);  // bottom
  EXPECT_COLOR_NEAR(Pixel(200, 10), 0xFF000000, 1);   // neither
}

TEST_F(MaskDrawer, OneFlatScreenSizedLayerMasksDirectly) {
  // Straight alpha: opaque on the left, half on the right.
  auto ramp = MakePicture(Width(), Height(), [](int x, int) { return x < 128 ? 0xFFFFFFFFu : 0x80FFFFFFu; });
  const TMaskLayer layers[1] = {Layer(*ramp)};
  DrawRedThrough(layers);
  EXPECT_COLOR_NEAR(Pixel(10, 10), 0xFFFF0000, 1);
  EXPECT_COLOR_NEAR(Pixel(200, 10), MakeColor(128, 0, 0), 2);
  // Moved by half a pixel the layer no longer covers the screen exactly
  // and takes the way through a second target: the same frame.
  const TMaskLayer moved[1] = {Layer(*ramp, 0.5f)};
  DrawRedThrough(moved);
  EXPECT_COLOR_NEAR(Pixel(10, 10), 0xFFFF0000, 1);
  EXPECT_COLOR_NEAR(Pixel(200, 10), MakeColor(128, 0, 0), 2);
}

TEST_F(MaskDrawer, EffecterRepeatsTheLastColumnAndRow) {
  TCustomD3DEffecter& effecter = fDrawer->Effecter();
  std::unique_ptr<TDirectBitmap> target;
  DrawFrame([&](TDeviceDrawer& drawer) {
    effecter.SetBounds({0, 0, 200, 150});
    effecter.RenderSlide(true, [&] {
      TBoxDrawParams box = SolidBox(0xFF00FF00, 200, 150);
      drawer.DrawBox(box, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
    });
    TRenderTargetTexture* work = effecter.WorkTarget(1);
    ASSERT_NE(work, nullptr);
    target = std::make_unique<TDirectBitmap>(work->Size().Width, work->Size().Height, FormatA8R8G8B8());
    ASSERT_TRUE(work->GetTexture()->GetSurface(0)->CopyToBitmap(*target));
    effecter.ReleaseTargets();
  });
  EXPECT_EQ(target->PixelColor(199, 50), 0xFF00FF00u);
  EXPECT_EQ(target->PixelColor(200, 50), 0xFF00FF00u);
  EXPECT_EQ(target->PixelColor(50, 150), 0xFF00FF00u);
  EXPECT_EQ(target->PixelColor(200, 150), 0xFF00FF00u);
  EXPECT_EQ(effecter.StripCopies(), 2);
}

}  // namespace
}  // namespace zel
