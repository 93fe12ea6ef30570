// Properties of random key-point lists: at a key point's time the list gives
// exactly that key point's values, and between two key points every
// linearly moving value stays within the range of its two neighbours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "show/key_points.h"

namespace zel {
namespace {

constexpr TKeyValue kInterpolated[] = {
    TKeyValue::Opacity, TKeyValue::Angle,   TKeyValue::ScaleX,  TKeyValue::ScaleY, TKeyValue::PositionX,
    TKeyValue::PositionY, TKeyValue::Depth, TKeyValue::CenterX, TKeyValue::CenterY, TKeyValue::AngleX,
    TKeyValue::AngleY,  TKeyValue::Blur,    TKeyValue::ColorDegree};

struct TRandomList {
  TSlideAnchorTimes slide;
  std::unique_ptr<TKeyPoints> list;
};

// A list on a random slide with 1 to 12 key points at distinct times,
// spread over the four anchors, in random order of adding.
TRandomList MakeRandomList(std::mt19937& random, bool perspective) {
  std::uniform_real_distribution<double> start(-5000, 50000);
  std::uniform_real_distribution<double> length(0, 20000);
  std::uniform_real_distribution<double> effect(0, 3000);
  std::uniform_real_distribution<double> offset(-4000, 4000);
  std::uniform_real_distribution<float> value(-1000, 1000);
  std::uniform_real_distribution<float> scale(0.001f, 500);
  std::uniform_int_distribution<int> count(1, 12);
  std::uniform_int_distribution<int> anchor(0, kKeyPointAnchorCount - 1);
  std::uniform_int_distribution<int> channel(0, 255);

  TRandomList result;
  const double s = start(random);
  result.slide.Set(s, s + length(random), effect(random), effect(random));
  result.list = std::make_unique<TKeyPoints>(&result.slide);
  result.list->SetPerspectiveCorrection(perspective);
  std::set<double> used;
  const int n = count(random);
  while (result.list->Count() < n) {
    const auto a = static_cast<TKeyPointAnchor>(anchor(random));
    // Whole or half milliseconds keep the times exactly distinct.
    const double o = std::round(offset(random) * 2) / 2;
    const double time = result.slide.AnchorTime(a) + o;
    if (!used.insert(time).second) continue;
    for (TKeyValue v : kInterpolated)
      result.list->SetCurrentValue(v, v == TKeyValue::ScaleX || v == TKeyValue::ScaleY ? scale(random) : value(random));
    result.list->SetCurrentColor({static_cast<uint8_t>(channel(random)), static_cast<uint8_t>(channel(random)),
                                  static_cast<uint8_t>(channel(random))});
    result.list->AddKeyPoint(a, o);
  }
  return result;
}

void CheckKeyPointTimes(TKeyPointList& list) {
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) {
      ASSERT_LT(list.KeyPointTime(i - 1), list.KeyPointTime(i));
    }
    list.SetTime(list.KeyPointTime(i));
    EXPECT_EQ(list.Current(), list.KeyPoint(i).Values()) << "key point " << i << " of " << list.Count();
  }
}

bool Within(float v, float a, float b) {
  // One unit in the last place of slack for the float arithmetic.
  const float low = std::min(a, b), high = std::max(a, b);
  const float slack = std::max(std::abs(low), std::abs(high)) * 1e-6f;
  return v >= low - slack && v <= high + slack;
}

void CheckBetweenKeyPoints(TKeyPointList& list, std::mt19937& random) {
  std::uniform_real_distribution<double> fraction(0, 1);
  for (int i = 0; i + 1 < list.Count(); ++i) {
    const TKeyPointValues& p = list.KeyPoint(i).Values();
    const TKeyPointValues& q = list.KeyPoint(i + 1).Values();
    const double t0 = list.KeyPointTime(i), t1 = list.KeyPointTime(i + 1);
    for (int k = 0; k < 8; ++k) {
      const double t = t0 + (t1 - t0) * fraction(random);
      list.SetTime(t);
      for (TKeyValue v : kInterpolated)
        EXPECT_TRUE(Within(list.Current().Get(v), p.Get(v), q.Get(v)))
            << "value " << static_cast<int>(v) << " at " << t << ": " << list.Current().Get(v) << " not within "
            << p.Get(v) << ", " << q.Get(v);
      const TKeyPointColor& c = list.Current().Color();
      EXPECT_TRUE(Within(c.red, p.Color().red, q.Color().red));
      EXPECT_TRUE(Within(c.green, p.Color().green, q.Color().green));
      EXPECT_TRUE(Within(c.blue, p.Color().blue, q.Color().blue));
    }
  }
}

TEST(KeyPointProperties, KeyPointTimesGiveExactlyTheKeyPointValues) {
  std::mt19937 random(2024);
  for (int round = 0; round < 500; ++round) {
    TRandomList r = MakeRandomList(random, round % 2 == 1);
    CheckKeyPointTimes(*r.list);
  }
}

TEST(KeyPointProperties, LinearValuesStayBetweenTheirNeighbours) {
  std::mt19937 random(77);
  for (int round = 0; round < 500; ++round) {
    TRandomList r = MakeRandomList(random, round % 2 == 1);
    CheckBetweenKeyPoints(*r.list, random);
  }
}

TEST(KeyPointProperties, DefaultSpeedStoragesChangeNothing) {
  // Asking for the storages (as reading an object without speed texts
  // does) must keep every group linear.
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    TRandomList r = MakeRandomList(random, round % 2 == 1);
    TKeyPoints& list = *r.list;
    std::vector<TKeyPointValues> before;
    std::vector<double> times;
    for (int i = 0; i + 1 < list.Count(); ++i)
      times.push_back((list.KeyPointTime(i) * 3 + list.KeyPointTime(i + 1)) / 4);
    for (double t : times) {
      list.SetTime(t);
      before.push_back(list.Current());
    }
    for (int g = 0; g < kSpeedGroupCount; ++g) list.SpeedStorage(static_cast<TSpeedGroup>(g));
    for (size_t k = 0; k < times.size(); ++k) {
      list.SetTime(times[k]);
      EXPECT_EQ(list.Current(), before[k]) << times[k];
    }
    CheckKeyPointTimes(list);
  }
}

TEST(KeyPointProperties, EasedGroupsStayBetweenTheIntervalEnds) {
  std::mt19937 random(31);
  std::uniform_real_distribution<double> ease(0, 1);
  for (int round = 0; round < 300; ++round) {
    TRandomList r = MakeRandomList(random, round % 2 == 1);
    TKeyPoints& list = *r.list;
    if (list.Count() < 2) continue;
    const long double a = ease(random), b = a + (1 - a) * ease(random);
    for (int g = 0; g < kSpeedGroupCount; ++g) {
      TSpeedStorage& storage = list.SpeedStorage(static_cast<TSpeedGroup>(g));
      storage.ClearIntervals();
      TInterval& interval = storage.AddInterval(0, list.Count() - 1);
      interval.a = a;
      interval.b = b;
    }
    const TKeyPointValues& first = list.KeyPoint(0).Values();
    const TKeyPointValues& last = list.KeyPoint(list.Count() - 1).Values();
    const double t0 = list.KeyPointTime(0), t1 = list.KeyPointTime(list.Count() - 1);
    for (int k = 0; k <= 20; ++k) {
      list.SetTime(t0 + (t1 - t0) * k / 20);
      for (TKeyValue v : {TKeyValue::PositionX, TKeyValue::Depth, TKeyValue::ScaleY, TKeyValue::Angle,
                          TKeyValue::AngleY}) {
        const float value = list.Current().Get(v);
        const float slack = 1e-3f * std::max(1.0f, std::abs(last.Get(v) - first.Get(v)));
        EXPECT_GE(value, std::min(first.Get(v), last.Get(v)) - slack) << static_cast<int>(v);
        EXPECT_LE(value, std::max(first.Get(v), last.Get(v)) + slack) << static_cast<int>(v);
      }
    }
    list.SetTime(t1);
    EXPECT_EQ(list.Current(), last);
  }
}

}  // namespace
}  // namespace zel
