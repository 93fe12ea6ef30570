// The drawn effects' common state: the clamped time, the reciprocal of the
// duration and the progress, the cross-fade's alpha, and what a drawer
// without work targets gets.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "draw/null_drawer.h"
#include "effects/alpha_filter.h"
#include "recording_items.h"

namespace zel {
namespace {

using testing_support::TRecordingSlide;

TEST(DrawFilterTime, InitStoresTheLayoutAndStartsAtZero) {
  TAlphaFilter filter;
  filter.SetTime(300);
  filter.Init({10, 20, 650, 500}, 7, 1000);
  EXPECT_EQ(filter.WorkingRect(), (TRect{10, 20, 650, 500}));
  EXPECT_FLOAT_EQ(filter.SmoothWidth(), 7);
  EXPECT_FLOAT_EQ(filter.Duration(), 1000);
  EXPECT_DOUBLE_EQ(filter.DurationReciprocal(), 0.001);
  // Init starts the effect again.
  EXPECT_FLOAT_EQ(filter.Time(), 0);
  EXPECT_FALSE(filter.Reverse());
  EXPECT_FALSE(filter.EdgeRepeat());
}

TEST(DrawFilterTime, TimeIsKeptWithinTheDuration) {
  TAlphaFilter filter;
  filter.Init({0, 0, 100, 100}, 0, 1000);
  filter.SetTime(250);
  EXPECT_FLOAT_EQ(filter.Time(), 250);
  filter.SetTime(1500);
  EXPECT_FLOAT_EQ(filter.Time(), 1000);
  filter.SetTime(-5);
  EXPECT_FLOAT_EQ(filter.Time(), 0);
  filter.SetTime(400);
  filter.SetTime(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FLOAT_EQ(filter.Time(), 0);
  filter.SetTime(std::numeric_limits<double>::infinity());
  EXPECT_FLOAT_EQ(filter.Time(), 1000);
}

TEST(DrawFilterTime, ProgressRunsFromZeroToOne) {
  TAlphaFilter filter;
  filter.Init({0, 0, 100, 100}, 0, 400);
  EXPECT_DOUBLE_EQ(filter.DurationReciprocal(), 1.0 / 400);
  EXPECT_DOUBLE_EQ(filter.Progress(), 0);
  filter.SetTime(100);
  EXPECT_DOUBLE_EQ(filter.Progress(), 0.25);
  filter.SetTime(300);
  EXPECT_DOUBLE_EQ(filter.Progress(), 0.75);
  filter.SetTime(900);
  EXPECT_DOUBLE_EQ(filter.Progress(), 1);
}

TEST(DrawFilterTime, AnEffectOfNoLengthStaysAtItsStart) {
  TAlphaFilter filter;
  filter.Init({0, 0, 100, 100}, 0, 0);
  EXPECT_EQ(filter.DurationReciprocal(), 0);
  filter.SetTime(50);
  EXPECT_FLOAT_EQ(filter.Time(), 0);
  EXPECT_EQ(filter.Progress(), 0);
  EXPECT_FALSE(std::isnan(filter.Progress()));
}

TEST(CrossFadeAlpha, ProgressBecomesRoundedAlpha) {
  EXPECT_EQ(CrossFadeAlpha(0), 0);
  EXPECT_EQ(CrossFadeAlpha(1), 255);
  EXPECT_EQ(CrossFadeAlpha(0.5), 128);   // 127.5
  EXPECT_EQ(CrossFadeAlpha(0.25), 64);   // 63.75
  EXPECT_EQ(CrossFadeAlpha(0.1), 26);    // 25.5
  EXPECT_EQ(CrossFadeAlpha(0.001), 0);   // 0.255
}

TEST(CrossFadeAlpha, OutOfRangeProgressIsLimited) {
  EXPECT_EQ(CrossFadeAlpha(-0.2), 0);
  EXPECT_EQ(CrossFadeAlpha(1.7), 255);
  EXPECT_EQ(CrossFadeAlpha(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(DrawFilterWithoutWorkTargets, BothSlidesAreDrawnIncomingLast) {
  TNullDrawer drawer;
  std::vector<char> drawn;
  TRecordingSlide a(drawn, 'a'), b(drawn, 'b');
  TAlphaFilter filter;
  filter.Init({0, 0, 100, 100}, 0, 1000);
  filter.SetTime(500);
  filter.Draw(drawer, &a, &b);
  EXPECT_EQ(drawn, (std::vector<char>{'a', 'b'}));
  drawn.clear();
  filter.Draw(drawer, nullptr, &b);
  EXPECT_EQ(drawn, std::vector<char>{'b'});
  drawn.clear();
  filter.Draw(drawer, &a, nullptr);
  EXPECT_EQ(drawn, std::vector<char>{'a'});
}

}  // namespace
}  // namespace zel
