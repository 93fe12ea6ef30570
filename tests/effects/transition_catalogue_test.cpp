// The catalogue: which effect a class becomes, the parameters scaled to the
// view, the one log line per stand-in class, and the factory it installs
// for the slides' filters.
#include <gtest/gtest.h>

#include <vector>

#include "draw/null_drawer.h"
#include "effects/alpha_filter.h"
#include "effects/flat_filter.h"
#include "effects/transition_catalogue.h"
#include "log_capture.h"
#include "recording_items.h"
#include "show/zel_filter.h"

namespace zel {
namespace {

using testing_support::TLogCapture;
using testing_support::TRecordingSlide;

const TRect kView{0, 0, 1280, 720};

TEST(TransitionCatalogue, NoEffectForClassesThatAreNotPositive) {
  EXPECT_EQ(MakeTransition(kView, 0, 1, nullptr, {}, 1000), nullptr);
  EXPECT_EQ(MakeTransition(kView, -3, 1, nullptr, {}, 1000), nullptr);
}

TEST(TransitionCatalogue, ClassTwoIsTheCrossFade) {
  TLogCapture log;
  auto filter = MakeTransition(kView, 2, 3, nullptr, {}, 800);
  ASSERT_NE(filter, nullptr);
  EXPECT_NE(dynamic_cast<TAlphaFilter*>(filter.get()), nullptr);
  EXPECT_EQ(filter->EffectClass(), 2);
  EXPECT_EQ(filter->Variant(), 3);
  EXPECT_FLOAT_EQ(filter->Duration(), 800);
  EXPECT_EQ(filter->WorkingRect(), kView);
  EXPECT_FLOAT_EQ(filter->Time(), 0);
  // The cross-fade is itself, not a stand-in.
  EXPECT_EQ(log.Containing("drawn as a cross-fade"), 0);
}

// Class 4 and 11 are met nowhere else in this program, so the first line
// for each is still to be written when these run.
TEST(TransitionCatalogue, OtherClassesStandInAsCrossFadeLoggedOnce) {
  TLogCapture log;
  // The clock (3) and the broom (11) come with the 3D transitions.
  auto first = MakeTransition(kView, 3, 1, nullptr, {}, 1000);
  auto second = MakeTransition(kView, 3, 2, nullptr, {}, 1000);
  auto other = MakeTransition(kView, 11, 1, nullptr, {}, 1000);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(dynamic_cast<TAlphaFilter*>(first.get()), nullptr);
  EXPECT_NE(dynamic_cast<TAlphaFilter*>(second.get()), nullptr);
  // The filter keeps the class it stands in for.
  EXPECT_EQ(first->EffectClass(), 3);
  EXPECT_EQ(second->Variant(), 2);
  EXPECT_EQ(log.Count("transition class 3 drawn as a cross-fade"), 1);
  EXPECT_EQ(log.Count("transition class 11 drawn as a cross-fade"), 1);
}

TEST(TransitionCatalogue, FlatClassesGetTheirOwnFilters) {
  for (int effectClass : {1, 4, 5, 6, 7, 8, 9, 10, 12, 13}) {
    auto filter = MakeTransition(kView, effectClass, 2, nullptr, {}, 1000);
    ASSERT_NE(filter, nullptr) << effectClass;
    EXPECT_NE(dynamic_cast<TFlatFilter*>(filter.get()), nullptr) << effectClass;
  }
  // Variants a class lacks are cross-fades.
  EXPECT_NE(dynamic_cast<TAlphaFilter*>(MakeTransition(kView, 9, 5, nullptr, {}, 1000).get()), nullptr);
  EXPECT_NE(dynamic_cast<TAlphaFilter*>(MakeTransition(kView, 12, 5, nullptr, {}, 1000).get()), nullptr);
  // Reversed variants draw the outgoing slide through the effect; the
  // slide-in and push repeat the edges they uncover.
  EXPECT_TRUE(MakeTransition(kView, 5, 1, nullptr, {}, 1000)->Reverse());
  EXPECT_FALSE(MakeTransition(kView, 5, 2, nullptr, {}, 1000)->Reverse());
  EXPECT_TRUE(MakeTransition(kView, 13, 1, nullptr, {}, 1000)->EdgeRepeat());
}

TEST(TransitionCatalogue, ParametersAreScaledToTheView) {
  TEffectParams params;
  params.rollDiameter = 0.1f;
  params.broomOffset = 0.1f;
  params.smoothLine = 0.01f;
  params.seed = 9;
  params.swapDepth = 3;
  // Sizes, not corners, count: the view need not start at the origin.
  const TRect view = TRect::FromSize(100, 50, 1280, 720);
  auto filter = MakeTransition(view, 2, 1, nullptr, params, 1000);
  ASSERT_NE(filter, nullptr);
  EXPECT_NEAR(filter->Params().rollDiameter, 128, 1e-3);
  EXPECT_NEAR(filter->Params().broomOffset, 100, 1e-3);
  EXPECT_FLOAT_EQ(filter->SmoothWidth(), 13);  // 12.8 rounded
  // The rest is copied as it was.
  EXPECT_FLOAT_EQ(filter->Params().smoothLine, 0.01f);
  EXPECT_EQ(filter->Params().seed, 9);
  EXPECT_FLOAT_EQ(filter->Params().swapDepth, 3);
  EXPECT_EQ(filter->WorkingRect(), view);
}

TEST(TransitionCatalogue, SmoothWidthRoundsToWholePixels) {
  TEffectParams params;
  params.smoothLine = 0.002f;  // 2.56 px on 1280
  EXPECT_FLOAT_EQ(MakeTransition(kView, 2, 1, nullptr, params, 1000)->SmoothWidth(), 3);
  params.smoothLine = 0;
  EXPECT_FLOAT_EQ(MakeTransition(kView, 2, 1, nullptr, params, 1000)->SmoothWidth(), 0);
}

class InstalledTransitions : public ::testing::Test {
 protected:
  void SetUp() override { InstallTransitions(); }
  void TearDown() override { SetTransitionFactory(nullptr); }
};

TEST_F(InstalledTransitions, FiltersGetEffectsLaidOutInTheDrawersView) {
  TNullDrawer drawer;
  drawer.SetScreen(1600, 900);
  drawer.SetViewSize(1280, 720);
  drawer.SetCanvas({10, 20, 1590, 880}, {});
  std::vector<char> drawn;
  TRecordingSlide frame(drawn, 'f');
  drawer.Draw(frame);  // the view size takes effect at a frame
  ASSERT_EQ(drawer.ViewRect(), (TRect{160, 90, 1440, 810}));

  TSlideEffect choice;
  choice.effectClass = 2;
  choice.variant = 1;
  choice.duration = 500;
  choice.params.rollDiameter = 0.5f;
  TZelFilter filter(choice);
  filter.SetTime(250);
  filter.Prepare(drawer, nullptr);
  auto* effect = dynamic_cast<TAlphaFilter*>(filter.Effect());
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(effect->WorkingRect(), drawer.ViewRect());
  EXPECT_EQ(effect->TargetRect(), (TRect{10, 20, 1590, 880}));
  EXPECT_FLOAT_EQ(effect->Duration(), 500);
  EXPECT_NEAR(effect->Params().rollDiameter, 640, 1e-3);
  EXPECT_DOUBLE_EQ(effect->Progress(), 0.5);
}

TEST_F(InstalledTransitions, NoEffectForAFilterWithoutClass) {
  TNullDrawer drawer;
  std::vector<char> drawn;
  TRecordingSlide a(drawn, 'a'), b(drawn, 'b');
  TSlideEffect none;
  none.duration = 500;
  TZelFilter filter(none);
  filter.Prepare(drawer, &a);
  EXPECT_EQ(filter.Effect(), nullptr);
}

}  // namespace
}  // namespace zel
