// A slide's filter: what it takes from the show's choice, how it makes its
// drawn effect through the installed factory (once), and what it hands
// the effect and the drawer.
#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "draw/null_drawer.h"
#include "recording_items.h"
#include "show/zel_filter.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {
namespace {

using testing_support::TRecordingSlide;

static_assert(!std::is_copy_constructible_v<TZelFilter>, "a filter owns its effect");
static_assert(!std::is_copy_assignable_v<TZelFilter>, "a filter owns its effect");
static_assert(std::is_nothrow_move_constructible_v<TZelFilter>);
static_assert(std::is_nothrow_move_assignable_v<TZelFilter>);

TSlideEffect Effect(int32_t effectClass, double duration = 1000, int32_t variant = 0) {
  TSlideEffect effect;
  effect.effectClass = effectClass;
  effect.variant = variant;
  effect.duration = duration;
  return effect;
}

// Records what the filter hands it; draws nothing itself.
class TRecordingEffect : public TTransitionEffect {
 public:
  struct TLog {
    std::vector<double> times;
    int draws = 0;
    int afterDraws = 0;
    TDrawItem* drawnA = nullptr;
    TDrawItem* drawnB = nullptr;
  };
  explicit TRecordingEffect(TLog& log) : fLog(log) {}
  void SetTime(double time) override { fLog.times.push_back(time); }
  void Draw(TDeviceDrawer&, TDrawItem* slideA, TDrawItem* slideB) override {
    ++fLog.draws;
    fLog.drawnA = slideA;
    fLog.drawnB = slideB;
  }
  void AfterDraw(TDeviceDrawer&) override { ++fLog.afterDraws; }

 private:
  TLog& fLog;
};

TEST(ZelFilter, TakesTheShowsChoice) {
  TSlideEffect effect = Effect(3, 1200, 5);
  effect.params.seed = 7;
  effect.params.smoothLine = 0.02f;
  const TZelFilter filter(effect);
  EXPECT_EQ(filter.EffectClass(), 3);
  EXPECT_EQ(filter.Variant(), 5);
  EXPECT_DOUBLE_EQ(filter.Duration(), 1200);
  EXPECT_EQ(filter.Params(), effect.params);
  EXPECT_DOUBLE_EQ(filter.Time(), 0);
  EXPECT_EQ(filter.Effect(), nullptr);
}

TEST(ZelFilter, IsAnEffectForPositiveClassesOnly) {
  EXPECT_FALSE(TZelFilter().IsEffect());
  EXPECT_FALSE(TZelFilter(Effect(0)).IsEffect());
  EXPECT_FALSE(TZelFilter(Effect(-2)).IsEffect());
  EXPECT_TRUE(TZelFilter(Effect(1)).IsEffect());
  EXPECT_TRUE(TZelFilter(Effect(17)).IsEffect());
}

TEST(ZelFilter, SlideOwnsTheFilterItIsGiven) {
  TZelSlideHost host;
  TZelSlide slide(&host, 0);
  EXPECT_FALSE(slide.Filter().IsEffect());
  slide.SetFilter(TZelFilter(Effect(4, 800, 2)));
  slide.Filter().SetTime(120);
  const TZelSlide& constSlide = slide;
  EXPECT_EQ(constSlide.Filter().EffectClass(), 4);
  EXPECT_EQ(constSlide.Filter().Variant(), 2);
  EXPECT_DOUBLE_EQ(constSlide.Filter().Time(), 120);
}

// Every case leaves the process without a factory.
class ZelFilterFactory : public ::testing::Test {
 protected:
  void SetUp() override { SetTransitionFactory(nullptr); }
  void TearDown() override { SetTransitionFactory(nullptr); }

  // A factory that counts its calls and makes recording effects.
  void InstallRecordingFactory() {
    SetTransitionFactory([this](TDeviceDrawer& drawer, const TZelFilter& filter, TDrawItem* slideA) {
      ++factoryCalls;
      madeFor = &drawer;
      madeWithClass = filter.EffectClass();
      madeWithA = slideA;
      return std::make_unique<TRecordingEffect>(effectLog);
    });
  }

  TNullDrawer drawer;
  std::vector<char> drawn;
  TRecordingSlide a{drawn, 'a'};
  TRecordingSlide b{drawn, 'b'};
  int factoryCalls = 0;
  TDeviceDrawer* madeFor = nullptr;
  int32_t madeWithClass = 0;
  TDrawItem* madeWithA = nullptr;
  TRecordingEffect::TLog effectLog;
};

TEST_F(ZelFilterFactory, EffectIsMadeOnceAndFollowsTheTime) {
  InstallRecordingFactory();
  TZelFilter filter(Effect(6, 1000));
  for (double time : {0.0, 250.5, 600.0}) {
    filter.SetTime(time);
    drawer.DrawTransition(&a, &b, filter);
  }
  EXPECT_EQ(factoryCalls, 1);
  EXPECT_EQ(madeFor, &drawer);
  EXPECT_EQ(madeWithClass, 6);
  EXPECT_EQ(madeWithA, &a);
  EXPECT_EQ(effectLog.times, (std::vector<double>{0.0, 250.5, 600.0}));
  EXPECT_EQ(effectLog.draws, 3);
  EXPECT_EQ(effectLog.drawnA, &a);
  EXPECT_EQ(effectLog.drawnB, &b);
  // The effect drew the frame; neither slide was drawn past it.
  EXPECT_TRUE(drawn.empty());
  EXPECT_NE(filter.Effect(), nullptr);
}

TEST_F(ZelFilterFactory, TimeIsWrittenAsFloatMilliseconds) {
  InstallRecordingFactory();
  TZelFilter filter(Effect(2, 1000));
  filter.SetTime(100.25);
  filter.Prepare(drawer, &a);
  ASSERT_EQ(effectLog.times.size(), 1u);
  EXPECT_DOUBLE_EQ(effectLog.times[0], 100.25);
  filter.SetTime(1.0 / 3.0);
  EXPECT_DOUBLE_EQ(filter.Time(), static_cast<double>(static_cast<float>(1.0 / 3.0)));
}

TEST_F(ZelFilterFactory, WithoutAFactoryTheIncomingSlideIsDrawnAlone) {
  TZelFilter filter(Effect(2, 1000));
  filter.SetTime(400);
  drawer.DrawTransition(&a, &b, filter);
  EXPECT_EQ(drawn, std::vector<char>{'b'});
  EXPECT_EQ(filter.Effect(), nullptr);
  // A factory installed later is still asked.
  InstallRecordingFactory();
  drawn.clear();
  drawer.DrawTransition(&a, &b, filter);
  EXPECT_EQ(factoryCalls, 1);
  EXPECT_EQ(effectLog.draws, 1);
  EXPECT_TRUE(drawn.empty());
}

TEST_F(ZelFilterFactory, AFactoryThatMakesNothingIsNotAskedAgain) {
  SetTransitionFactory([this](TDeviceDrawer&, const TZelFilter&, TDrawItem*) {
    ++factoryCalls;
    return std::unique_ptr<TTransitionEffect>();
  });
  TZelFilter filter(Effect(9, 1000));
  filter.SetTime(100);
  drawer.DrawTransition(&a, &b, filter);
  drawer.DrawTransition(&a, &b, filter);
  EXPECT_EQ(factoryCalls, 1);
  EXPECT_EQ(drawn, (std::vector<char>{'b', 'b'}));
}

TEST_F(ZelFilterFactory, NoEffectClassNeverAsksTheFactory) {
  InstallRecordingFactory();
  TZelFilter filter(Effect(0, 1000));
  filter.SetTime(100);
  drawer.DrawTransition(&a, &b, filter);
  EXPECT_EQ(factoryCalls, 0);
  EXPECT_EQ(drawn, std::vector<char>{'a'});
}

TEST_F(ZelFilterFactory, AfterDrawReachesTheEffect) {
  InstallRecordingFactory();
  TZelFilter filter(Effect(2, 1000));
  filter.AfterDraw(drawer);  // no effect yet: nothing to tell
  filter.Prepare(drawer, &a);
  filter.AfterDraw(drawer);
  filter.AfterDraw(drawer);
  EXPECT_EQ(effectLog.afterDraws, 2);
}

TEST_F(ZelFilterFactory, AMovedFilterKeepsItsEffect) {
  InstallRecordingFactory();
  TZelFilter filter(Effect(5, 700, 3));
  filter.Prepare(drawer, &a);
  TTransitionEffect* effect = filter.Effect();
  ASSERT_NE(effect, nullptr);
  TZelFilter moved(std::move(filter));
  EXPECT_EQ(moved.Effect(), effect);
  EXPECT_EQ(moved.EffectClass(), 5);
  TZelFilter assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.Effect(), effect);
  // Made already: moving does not ask the factory again.
  assigned.Prepare(drawer, &a);
  EXPECT_EQ(factoryCalls, 1);
}

}  // namespace
}  // namespace zel
