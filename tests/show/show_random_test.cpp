// The show's random generator: bounds, uniformity and reproducible seeding.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "show/show_project_support.h"
#include "show/show_random.h"

namespace zel {
namespace {

using show_testing::TScopedRandomSeed;

std::vector<uint32_t> Draws(TShowRandom& random, uint32_t bound, int count) {
  std::vector<uint32_t> values;
  for (int i = 0; i < count; ++i) values.push_back(random.Next(bound));
  return values;
}

TEST(ShowRandomBounds, StaysBelowTheBoundAndReachesEveryValue) {
  TShowRandom random(12345);
  std::array<int, 7> seen{};
  for (int i = 0; i < 7000; ++i) {
    const uint32_t v = random.Next(7);
    ASSERT_LT(v, 7u);
    ++seen[v];
  }
  // Expected 1,000 each; a biased or stuck generator falls far outside.
  for (const int n : seen) {
    EXPECT_GT(n, 850);
    EXPECT_LT(n, 1150);
  }
}

TEST(ShowRandomBounds, TinyAndHugeBounds) {
  TShowRandom random(7);
  EXPECT_EQ(random.Next(0), 0u);
  EXPECT_EQ(random.Next(1), 0u);
  bool high = false;
  for (int i = 0; i < 100; ++i) high |= random.Next(0xFFFFFFFFu) > 0x80000000u;
  EXPECT_TRUE(high);
}

TEST(ShowRandomSeeding, FixedSeedRepeatsAndIgnoresReseeding) {
  TShowRandom a(99), b(99);
  const auto first = Draws(a, 1000, 20);
  b.Randomize();
  EXPECT_EQ(Draws(b, 1000, 20), first);
  TShowRandom c(100);
  EXPECT_NE(Draws(c, 1000, 20), first);
}

TEST(ShowRandomSeeding, EnvironmentSeedMakesRunsReproducible) {
  TScopedRandomSeed seed(std::string("4242"));
  ASSERT_EQ(FixedRandomSeed(), 4242u);
  TShowRandom a, b;
  EXPECT_TRUE(a.Fixed());
  a.Randomize();
  EXPECT_EQ(Draws(a, 1000000, 20), Draws(b, 1000000, 20));
  TShowRandom explicitSeed(4242);
  TShowRandom fromEnvironment;
  EXPECT_EQ(Draws(fromEnvironment, 50, 20), Draws(explicitSeed, 50, 20));
}

TEST(ShowRandomSeeding, MalformedEnvironmentSeedIsIgnored) {
  for (const char* text : {"", "12a", "-5", "99999999999999999999999"}) {
    TScopedRandomSeed seed{std::string(text)};
    EXPECT_FALSE(FixedRandomSeed().has_value()) << text;
    EXPECT_FALSE(TShowRandom().Fixed()) << text;
  }
}

TEST(ShowRandomSeeding, ClockSeedsDifferEvenWhenMadeTogether) {
  TScopedRandomSeed seed(std::nullopt);
  TShowRandom a, b;
  EXPECT_FALSE(a.Fixed());
  EXPECT_NE(Draws(a, 1000000, 8), Draws(b, 1000000, 8));
}

}  // namespace
}  // namespace zel
