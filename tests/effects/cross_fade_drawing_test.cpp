// The cross-fade drawn by a real GL drawer on the offscreen driver: the
// outgoing slide red, the incoming one blue, mixed by the effect's time.
#include <vector>

#include "drawer_test_support.h"
#include "effects/alpha_filter.h"
#include "effects/transition_catalogue.h"
#include "show/zel_filter.h"

namespace zel {
namespace {

using testing_support::GLDrawerTest;
using testing_support::SolidBox;
using testing_support::TLambdaItem;

const ::testing::Environment* const kOffscreen =
    ::testing::AddGlobalTestEnvironment(new testing_support::TOffscreenEnvironment);

constexpr TColor kRed = 0xFFFF0000;
constexpr TColor kBlue = 0xFF0000FF;
constexpr TColor kBlack = 0xFF000000;
constexpr int kLevels = 3;

// A slide that is one box of a colour over the whole drawing space.
TLambdaItem FullBox(TColor color, float width, float height) {
  return TLambdaItem([=](TDeviceDrawer& drawer) {
    drawer.DrawBox(SolidBox(color, width, height), {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0});
  });
}

TSlideEffect CrossFade(double duration) {
  TSlideEffect effect;
  effect.effectClass = 2;
  effect.duration = duration;
  return effect;
}

class CrossFadeDrawing : public GLDrawerTest {
 protected:
  void SetUp() override {
    GLDrawerTest::SetUp();
    InstallTransitions();
  }
  void TearDown() override {
    SetTransitionFactory(nullptr);
    GLDrawerTest::TearDown();
  }

  // One frame of the transition at the time.
  void DrawAt(TZelFilter& filter, double time, TDrawItem& slideA, TDrawItem& slideB) {
    filter.SetTime(time);
    DrawFrame([&](TDeviceDrawer& drawer) { drawer.DrawTransition(&slideA, &slideB, filter); });
  }
};

TEST_F(CrossFadeDrawing, HalfWayMixesBothSlides) {
  TLambdaItem red = FullBox(kRed, Width(), Height());
  TLambdaItem blue = FullBox(kBlue, Width(), Height());
  TZelFilter filter(CrossFade(1000));
  DrawAt(filter, 500, red, blue);
  ASSERT_NE(dynamic_cast<TAlphaFilter*>(filter.Effect()), nullptr);
  // Alpha 128 of 255 for the incoming slide.
  const TColor half = MakeColor(127, 0, 128);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), half, kLevels);
  EXPECT_COLOR_NEAR(Pixel(0, 0), half, kLevels);
  EXPECT_COLOR_NEAR(Pixel(Width() - 1, Height() - 1), half, kLevels);
}

TEST_F(CrossFadeDrawing, TheMixFollowsTheTimeFrameByFrame) {
  TLambdaItem red = FullBox(kRed, Width(), Height());
  TLambdaItem blue = FullBox(kBlue, Width(), Height());
  TZelFilter filter(CrossFade(1000));
  DrawAt(filter, 0, red, blue);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), kRed, kLevels);
  DrawAt(filter, 250, red, blue);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), MakeColor(191, 0, 64), kLevels);
  DrawAt(filter, 999.9f, red, blue);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), kBlue, kLevels);
  // From the end on the incoming slide is drawn alone.
  DrawAt(filter, 1000, red, blue);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), kBlue, 0);
  DrawAt(filter, 4000, red, blue);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2, Height() / 2), kBlue, 0);
  // The work targets went back to the pool every frame.
  EXPECT_EQ(fDrawer->Effecter().WorkTarget(1), nullptr);
}

TEST_F(CrossFadeDrawing, TheFadeCoversOnlyTheCanvas) {
  // A canvas of 96 x 72 pixels on a screen rectangle twice that size.
  const TRect canvas{32, 24, 224, 168};
  fDrawer->SetCanvas(canvas, {96, 72});
  TLambdaItem red = FullBox(kRed, 96, 72);
  TLambdaItem blue = FullBox(kBlue, 96, 72);
  TZelFilter filter(CrossFade(1000));
  DrawAt(filter, 500, red, blue);
  const TColor half = MakeColor(127, 0, 128);
  EXPECT_COLOR_NEAR(Pixel(128, 96), half, kLevels);
  EXPECT_COLOR_NEAR(Pixel(canvas.Left + 1, canvas.Top + 1), half, kLevels);
  EXPECT_COLOR_NEAR(Pixel(canvas.Right - 2, canvas.Bottom - 2), half, kLevels);
  // Outside the canvas the frame keeps its background.
  EXPECT_COLOR_NEAR(Pixel(5, 5), kBlack, 0);
  EXPECT_COLOR_NEAR(Pixel(canvas.Right + 5, canvas.Bottom + 5), kBlack, 0);
}

}  // namespace
}  // namespace zel
