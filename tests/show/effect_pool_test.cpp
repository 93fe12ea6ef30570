// The pool of global transitions: groups from their strings, the shuffled
// turns of the active groups, alternation and the custom effects.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "show/effect_pool.h"
#include "show/show_project_support.h"

namespace zel {
namespace {

using show_testing::ParseProject;

struct TPoolFixture {
  explicit TPoolFixture(const std::string& mainKeys, bool globalOn = true, uint64_t seed = 1)
      : doc(ParseProject("[main]\n" + mainKeys)), random(seed), pool(random) {
    on = pool.Read(*doc->FindSection(u"main"), globalOn);
  }
  std::unique_ptr<TIniFile> doc;
  TShowRandom random;
  TEffectPool pool;
  bool on = false;
};

TEST(EffectPoolGroups, StringGivesMaskAndCharacterCount) {
  TPoolFixture f("opt_fx_eff3=1A1\nopt_fx_eff5=8hH\n");
  const TEffGroup& g2 = f.pool.Groups()[2];
  EXPECT_EQ(g2.mask, 0x0101);
  EXPECT_EQ(g2.charCount, 3);
  EXPECT_EQ(g2.text, u"1A1");
  EXPECT_EQ(f.pool.Groups()[4].mask, 0x8080);  // variants 8 and 16
  EXPECT_EQ(f.pool.Groups()[0].mask, 0);
  std::vector<int32_t> active = f.pool.ActiveGroups();
  std::sort(active.begin(), active.end());
  EXPECT_EQ(active, (std::vector<int32_t>{2, 4}));
  EXPECT_TRUE(f.on);
}

TEST(EffectPoolGroups, NoActiveGroupTurnsGlobalTransitionsOff) {
  TPoolFixture f("opt_fx_eff1=\n");
  EXPECT_FALSE(f.on);
  EXPECT_EQ(f.pool.Choose(), (TEffectChoice{0, 0}));
  EXPECT_EQ(f.pool.ChoiceCount(), 0u);
}

TEST(EffectPoolGroups, OffFromTheStartEvenWithGroups) {
  TPoolFixture f("opt_fx_eff4=123\n", false);
  EXPECT_FALSE(f.on);
  EXPECT_EQ(f.pool.Groups()[3].charCount, 3);
  EXPECT_EQ(f.pool.Choose(), (TEffectChoice{0, 0}));
}

TEST(EffectPoolChoice, EveryRoundVisitsEachActiveGroupOnce) {
  TPoolFixture f("opt_fx_eff2=1\nopt_fx_eff4=2\nopt_fx_eff7=3\nopt_fx_eff11=4\nopt_fx_eff19=5\n");
  for (int round = 0; round < 5; ++round) {
    std::multiset<int32_t> classes;
    for (int i = 0; i < 5; ++i) classes.insert(f.pool.Choose().effectClass);
    EXPECT_EQ(classes, (std::multiset<int32_t>{1, 3, 6, 10, 18})) << "round " << round;
  }
}

TEST(EffectPoolChoice, RoundsAreShuffledAnew) {
  std::string keys;
  for (int g = 1; g <= 19; ++g) keys += "opt_fx_eff" + std::to_string(g) + "=1\n";
  TPoolFixture f(keys);
  std::set<std::vector<int32_t>> orders;
  for (int round = 0; round < 6; ++round) {
    std::vector<int32_t> order;
    for (int i = 0; i < 19; ++i) order.push_back(f.pool.Choose().effectClass);
    orders.insert(order);
  }
  EXPECT_GT(orders.size(), 1u);
}

TEST(EffectPoolChoice, ConsecutiveChoicesAlternateBetweenOddAndEvenPositions) {
  // Positions 0, 2, 4 hold variant 1 and positions 1, 3, 5 variant 9.
  TPoolFixture f("opt_fx_eff6=1A1A1A\n");
  for (int i = 0; i < 40; ++i) {
    const bool flagBefore = f.pool.Alternation();
    const TEffectChoice choice = f.pool.Choose();
    EXPECT_EQ(choice.effectClass, 5);
    EXPECT_EQ(choice.variant, flagBefore ? 1 : 9) << "choice " << i;
    EXPECT_NE(f.pool.Alternation(), flagBefore);
  }
}

TEST(EffectPoolChoice, OddPositionPastTheEndWrapsToTheFirst) {
  // With three characters an even draw moves on: 0 -> 1, 2 -> 0 (wrap).
  TPoolFixture f("opt_fx_eff3=1A2\n");
  std::set<int32_t> afterFalse;
  for (int i = 0; i < 200; ++i) {
    const bool flag = f.pool.Alternation();
    const int32_t variant = f.pool.Choose().variant;
    if (!flag) afterFalse.insert(variant);
    else EXPECT_NE(variant, 9);  // position 1 is never chosen on an even turn
  }
  EXPECT_EQ(afterFalse, (std::set<int32_t>{9, 1}));  // positions 1 and 0, never 2
}

TEST(EffectPoolChoice, GroupZeroMeansNoTransition) {
  TPoolFixture f("opt_fx_eff1=1\n");
  EXPECT_TRUE(f.on);
  EXPECT_EQ(f.pool.Choose().effectClass, 0);
}

TEST(EffectPoolChoice, SameSeedSameShuffleAndChoices) {
  std::string keys;
  for (int g = 1; g <= 19; ++g) keys += "opt_fx_eff" + std::to_string(g) + "=12345678ABCDEFGH\n";
  TPoolFixture a(keys, true, 77), b(keys, true, 77), c(keys, true, 78);
  EXPECT_EQ(a.pool.ActiveGroups(), b.pool.ActiveGroups());
  std::vector<TEffectChoice> sa, sb, sc;
  for (int i = 0; i < 60; ++i) {
    sa.push_back(a.pool.Choose());
    sb.push_back(b.pool.Choose());
    sc.push_back(c.pool.Choose());
  }
  EXPECT_EQ(sa, sb);
  EXPECT_NE(sa, sc);
}

TEST(EffectPoolCustomEffects, MarkedNumbersInAscendingOrder) {
  TPoolFixture f(
      "opt_fx_eff19=2, 0,7, x,2,-1\nopt_fx_custom_count=3\nopt_fx_custom0=alpha\nopt_fx_custom1=beta\n"
      "opt_fx_custom2=gamma\nopt_fx_custom7=never\nopt_fx_custom-1=negative\n");
  EXPECT_EQ(f.pool.CustomEffects(), u"alpha|gamma");
}

TEST(EffectPoolCustomEffects, EmptyDescriptionsKeepTheirPlace) {
  TPoolFixture f("opt_fx_eff19=0,1,2\nopt_fx_custom_count=3\nopt_fx_custom1=beta\n");
  EXPECT_EQ(f.pool.CustomEffects(), u"|beta|");
}

TEST(EffectPoolCustomEffects, NoneWithoutDescriptionsOrWhenOff) {
  TPoolFixture without("opt_fx_eff19=0\nopt_fx_custom0=alpha\n");
  EXPECT_TRUE(without.pool.CustomEffects().empty());
  TPoolFixture off("opt_fx_eff19=0\nopt_fx_custom_count=1\nopt_fx_custom0=alpha\n", false);
  EXPECT_TRUE(off.pool.CustomEffects().empty());
}

}  // namespace
}  // namespace zel
