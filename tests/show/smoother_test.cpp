// The eased profile: its three phases and the distance it covers.
#include <gtest/gtest.h>

#include "show/smoother.h"

namespace zel {
namespace {

TEST(Smoother, HalfAccelerationHalfDeceleration) {
  TSmoother s;
  s.Setup(0, 100, 500, 0, 500);
  EXPECT_FLOAT_EQ(s.HalfSpeed(), 0.1f);
  EXPECT_FLOAT_EQ(s.Value(250), 12.5f);
  EXPECT_FLOAT_EQ(s.Value(500), 50);
  EXPECT_FLOAT_EQ(s.Value(750), 87.5f);
  EXPECT_EQ(s.Value(-1), 0);
  EXPECT_EQ(s.Value(0), 0);
  EXPECT_EQ(s.Value(1000), 100);
  EXPECT_EQ(s.Value(5000), 100);
}

TEST(Smoother, ConstantPhaseMovesAtTwiceTheHalfSpeed) {
  // 200 ms accelerating, 600 ms constant, 200 ms decelerating from 10 to 90.
  TSmoother s;
  s.Setup(10, 90, 200, 600, 200);
  const float m = 80.0f / (600 + 1000);
  EXPECT_FLOAT_EQ(s.HalfSpeed(), m);
  EXPECT_FLOAT_EQ(s.Value(100), 10 + m * 200 * 0.25f);
  EXPECT_FLOAT_EQ(s.Value(200), 10 + m * 200);
  EXPECT_FLOAT_EQ(s.Value(500), 10 + m * 200 + 300 * 2 * m);
  EXPECT_FLOAT_EQ(s.Value(800), 10 + m * 200 + 600 * 2 * m);
  EXPECT_FLOAT_EQ(s.Value(900), 10 + m * (600 + 800) + m * 200 * 0.75f);
  // The speed is continuous where the phases meet.
  EXPECT_NEAR(s.Value(201) - s.Value(200), s.Value(200) - s.Value(199), 1e-3);
  EXPECT_NEAR(s.Value(801) - s.Value(800), s.Value(800) - s.Value(799), 1e-3);
}

TEST(Smoother, WithoutEasingTheMotionIsLinear) {
  TSmoother s;
  s.Setup(-40, 60, 0, 1000, 0);
  for (float x : {0.0f, 1.0f, 123.0f, 500.0f, 999.0f, 1000.0f}) EXPECT_NEAR(s.Value(x), -40 + x / 10, 1e-4) << x;
}

TEST(Smoother, MonotonicAndEndsExactly) {
  TSmoother s;
  s.Setup(100, -20, 300, 100, 600);
  float previous = s.Value(0);
  for (float x = 1; x <= 1000; x += 1) {
    const float v = s.Value(x);
    EXPECT_LE(v, previous + 1e-4f) << x;
    previous = v;
  }
  EXPECT_NEAR(s.Value(999.999f), -20, 1e-3);
  EXPECT_EQ(s.Value(1000), -20);
}

TEST(Smoother, EmptyIntervalJumpsToTheEnd) {
  TSmoother s;
  s.Setup(3, 7, 0, 0, 0);
  EXPECT_EQ(s.HalfSpeed(), 0);
  EXPECT_EQ(s.Value(0), 3);
  EXPECT_EQ(s.Value(0.5f), 7);
}

}  // namespace
}  // namespace zel
