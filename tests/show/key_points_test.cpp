// Key-point lists: ordering, anchors, interpolation of every group, eased
// intervals, perspective correction and the speed texts of an object.
#include <gtest/gtest.h>

#include <cmath>

#include "ini/ini_document.h"
#include "ini/ini_parser.h"
#include "show/key_points.h"

namespace zel {
namespace {

// Adds a key point at `offset` after the slide's begin with the given
// value of one parameter (others from the current values).
TKeyPoint& AddAt(TKeyPointList& list, double offset, TKeyValue which, float value,
                 TKeyPointAnchor anchor = TKeyPointAnchor::SlideBegin) {
  list.SetCurrentValue(which, value);
  return list.AddKeyPoint(anchor, offset);
}

void MakeEased(TKeyPointList& list, TSpeedGroup group, long double a, long double b) {
  TSpeedStorage& storage = list.SpeedStorage(group);
  storage.ClearIntervals();
  TInterval& interval = storage.AddInterval(0, list.Count() - 1);
  interval.a = a;
  interval.b = b;
}

TEST(KeyPointInterpolation, NoKeyPointsLeaveTheCurrentValues) {
  TKeyPointList list;
  list.SetCurrentValue(TKeyValue::Opacity, 42);
  list.SetTime(1234);
  EXPECT_EQ(list.Time(), 1234);
  EXPECT_EQ(list.Current().Opacity(), 42);
}

TEST(KeyPointInterpolation, OneKeyPointHoldsAtEveryTime) {
  TKeyPointList list;
  list.SetCurrentValue(TKeyValue::PositionX, 12);
  list.SetCurrentColor({1, 2, 3});
  AddAt(list, 700, TKeyValue::Opacity, 55);
  const TKeyPointValues expected = list.KeyPoint(0).Values();
  for (double t : {-1e9, -1.0, 0.0, 699.9, 700.0, 700.1, 5000.0, 1e12}) {
    list.SetCurrentValue(TKeyValue::Opacity, -1);
    list.SetTime(t);
    EXPECT_EQ(list.Current(), expected) << t;
  }
}

TEST(KeyPointInterpolation, OpacityBetweenTwoKeyPoints) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::Opacity, 0);
  AddAt(list, 1000, TKeyValue::Opacity, 100);
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().Opacity(), 25);
  list.SetTime(-5);
  EXPECT_EQ(list.Current().Opacity(), 0);
  list.SetTime(2000);
  EXPECT_EQ(list.Current().Opacity(), 100);
  list.SetTime(1000);
  EXPECT_EQ(list.Current().Opacity(), 100);
  list.SetTime(999);
  EXPECT_FLOAT_EQ(list.Current().Opacity(), 99.9f);
}

TEST(KeyPointInterpolation, EveryGroupIsLinearWithoutSpeedStorages) {
  TKeyPointList list;
  TKeyPointValues a, b;
  const TKeyValue linear[] = {TKeyValue::Opacity, TKeyValue::Angle,   TKeyValue::ScaleX,  TKeyValue::ScaleY,
                              TKeyValue::PositionX, TKeyValue::PositionY, TKeyValue::Depth, TKeyValue::CenterX,
                              TKeyValue::CenterY, TKeyValue::AngleX,  TKeyValue::AngleY,  TKeyValue::Blur,
                              TKeyValue::ColorDegree};
  float v = 1;
  for (TKeyValue which : linear) {
    a.Set(which, v);
    b.Set(which, v * 3 + 10);
    v += 1;
  }
  list.SetCurrentValues(a);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  list.SetCurrentValues(b);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 400);
  list.SetTime(100);
  for (TKeyValue which : linear)
    EXPECT_FLOAT_EQ(list.Current().Get(which), a.Get(which) + (b.Get(which) - a.Get(which)) * 0.25f)
        << static_cast<int>(which);
}

TEST(KeyPointInterpolation, ColourChannelsRoundToTheNearest) {
  TKeyPointList list;
  list.SetCurrentColor({0, 255, 10});
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  list.SetCurrentColor({255, 0, 13});
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 1000);
  list.SetTime(500);
  EXPECT_EQ(list.Current().Color(), (TKeyPointColor{128, 128, 12}));
  list.SetTime(100);
  // 25.5 -> 26, 229.5 -> 230, 10.3 -> 10
  EXPECT_EQ(list.Current().Color(), (TKeyPointColor{26, 230, 10}));
}

TEST(KeyPointInterpolation, CarriedValuesAreNotInterpolated) {
  TKeyPointList list;
  list.SetCurrentValue(TKeyValue::Extra1, 5);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  list.SetCurrentValue(TKeyValue::Extra1, 9);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 1000);
  list.SetTime(-1);
  EXPECT_EQ(list.Current().Get(TKeyValue::Extra1), 5);
  list.SetTime(500);
  EXPECT_EQ(list.Current().Get(TKeyValue::Extra1), 5);
  list.SetTime(1500);
  EXPECT_EQ(list.Current().Get(TKeyValue::Extra1), 9);
}

TEST(KeyPointOrder, SortedByTimeWhateverTheOrderOfAdding) {
  TSlideAnchorTimes slide(1000, 5000, 500, 1000);
  TKeyPoints list(&slide);
  AddAt(list, -500, TKeyValue::Opacity, 4, TKeyPointAnchor::SlideEnd);       // 5,500
  AddAt(list, 0, TKeyValue::Opacity, 1, TKeyPointAnchor::SlideBegin);        // 1,000
  AddAt(list, 100, TKeyValue::Opacity, 3, TKeyPointAnchor::NextEffectBegin); // 5,100
  AddAt(list, 0, TKeyValue::Opacity, 2, TKeyPointAnchor::PrevEffectEnd);     // 1,500
  ASSERT_EQ(list.Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.KeyPoint(i).Values().Opacity(), i + 1) << i;
  EXPECT_EQ(list.KeyPointTime(0), 1000);
  EXPECT_EQ(list.KeyPointTime(1), 1500);
  EXPECT_EQ(list.KeyPointTime(2), 5100);
  EXPECT_EQ(list.KeyPointTime(3), 5500);
}

TEST(KeyPointOrder, EqualTimesKeepTheirOrderAndTheLaterWins) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::Opacity, 0);
  AddAt(list, 500, TKeyValue::Opacity, 10);
  AddAt(list, 500, TKeyValue::Opacity, 20);
  AddAt(list, 1000, TKeyValue::Opacity, 30);
  AddAt(list, 500, TKeyValue::Opacity, 15);
  EXPECT_EQ(list.KeyPoint(1).Values().Opacity(), 10);
  EXPECT_EQ(list.KeyPoint(2).Values().Opacity(), 20);
  EXPECT_EQ(list.KeyPoint(3).Values().Opacity(), 15);
  list.Sort();
  EXPECT_EQ(list.KeyPoint(2).Values().Opacity(), 20);
  // Just before 500 ms the first segment ends at the first of them; from
  // 500 ms on the motion continues from the last of them.
  list.SetTime(499.99);
  EXPECT_NEAR(list.Current().Opacity(), 10, 1e-3);
  list.SetTime(500);
  EXPECT_EQ(list.Current().Opacity(), 15);
  list.SetTime(750);
  EXPECT_FLOAT_EQ(list.Current().Opacity(), 22.5f);
}

TEST(KeyPointOrder, SortFollowsMovedSlideTimes) {
  TSlideAnchorTimes slide(0, 4000, 0, 0);
  TKeyPoints list(&slide);
  AddAt(list, 0, TKeyValue::Opacity, 1, TKeyPointAnchor::NextEffectBegin);  // 4,000
  AddAt(list, 3000, TKeyValue::Opacity, 2, TKeyPointAnchor::SlideBegin);    // 3,000
  EXPECT_EQ(list.KeyPoint(0).Values().Opacity(), 2);
  slide.Set(0, 2000, 0, 0);
  list.Sort();
  EXPECT_EQ(list.KeyPoint(0).Values().Opacity(), 1);
  EXPECT_EQ(list.KeyPointTime(1), 3000);
}

TEST(KeyPointAnchorsInLists, SlideEndAnchorLiesBeforeTheEndOfTheLeavingTransition) {
  // The slide runs 2,000-6,000 ms and its transition out lasts 1,000 ms.
  TSlideAnchorTimes slide(2000, 6000, 800, 1000);
  TKeyPoints list(&slide);
  AddAt(list, 0, TKeyValue::PositionX, 0, TKeyPointAnchor::SlideBegin);
  AddAt(list, -500, TKeyValue::PositionX, 100, TKeyPointAnchor::SlideEnd);
  EXPECT_EQ(list.KeyPointTime(1), 6500);
  list.SetTime(6500);
  EXPECT_EQ(list.Current().PositionX(), 100);
  list.SetTime(4250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 50);
}

TEST(KeyPointAnchorsInLists, ActiveBetweenSlideBeginAndSlideEnd) {
  TSlideAnchorTimes slide(1000, 3000, 200, 500);
  TKeyPoints list(&slide);
  list.SetTime(999);
  EXPECT_FALSE(list.Active());
  list.SetTime(1000);
  EXPECT_TRUE(list.Active());
  list.SetTime(3500);
  EXPECT_TRUE(list.Active());
  list.SetTime(3500.5);
  EXPECT_FALSE(list.Active());
  // An ownerless list has all anchors at 0.
  TKeyPoints free;
  free.SetTime(0);
  EXPECT_TRUE(free.Active());
  free.SetTime(1);
  EXPECT_FALSE(free.Active());
}

TEST(KeyPointCreation, NewKeyPointsTakeTheCurrentValues) {
  TKeyPointList list;
  list.SetCurrentValue(TKeyValue::Blur, 3);
  list.SetCurrentColor({9, 8, 7});
  TKeyPoint& point = list.AddKeyPoint(TKeyPointAnchor::PrevEffectEnd, 250);
  EXPECT_EQ(point.Anchor(), TKeyPointAnchor::PrevEffectEnd);
  EXPECT_EQ(point.Offset(), 250);
  EXPECT_EQ(point.Values(), list.Current());
  EXPECT_FALSE(point.Changed());
}

TEST(KeyPointCreation, ChangeMarksOfTheList) {
  TKeyPointList list;
  EXPECT_FALSE(list.KeyPointsChanged());
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 100);
  EXPECT_TRUE(list.KeyPointsChanged());
  list.ResetChangeMarks();
  EXPECT_FALSE(list.KeyPointsChanged());
  list.KeyPoint(1).SetValue(TKeyValue::Opacity, 100.00001f);
  EXPECT_FALSE(list.KeyPointsChanged());
  list.KeyPoint(1).SetValue(TKeyValue::Opacity, 50);
  EXPECT_TRUE(list.KeyPointsChanged());
  list.ResetChangeMarks();
  EXPECT_FALSE(list.KeyPoint(1).Changed());
  list.DeleteKeyPoint(0);
  EXPECT_TRUE(list.KeyPointsChanged());
  EXPECT_THROW(list.KeyPoint(1), EAssertionFailed);
  EXPECT_THROW(list.DeleteKeyPoint(-1), EAssertionFailed);
}

TEST(EasedIntervals, HalfAccelerationHalfDecelerationPan) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  MakeEased(list, TSpeedGroup::Pan, 0.5L, 0.5L);
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 12.5f);
  list.SetTime(500);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 50);
  list.SetTime(750);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 87.5f);
  // Only the pan group is eased.
  list.SetCurrentValue(TKeyValue::Opacity, 0);
  list.KeyPoint(0).SetValue(TKeyValue::Opacity, 0);
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().Opacity(), 25);
}

TEST(EasedIntervals, EachGroupFollowsItsOwnStorage) {
  TKeyPointList list;
  TKeyPointValues a, b;
  for (TKeyValue v : {TKeyValue::PositionY, TKeyValue::Depth, TKeyValue::ScaleX, TKeyValue::ScaleY, TKeyValue::Angle,
                      TKeyValue::AngleX, TKeyValue::AngleY}) {
    a.Set(v, 100);
    b.Set(v, 200);
  }
  list.SetCurrentValues(a);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  list.SetCurrentValues(b);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 1000);
  MakeEased(list, TSpeedGroup::Zoom, 0.5L, 0.5L);
  MakeEased(list, TSpeedGroup::Rotation, 0.5L, 0.5L);
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().ScaleX(), 112.5f);
  EXPECT_FLOAT_EQ(list.Current().ScaleY(), 112.5f);
  EXPECT_FLOAT_EQ(list.Current().Angle(), 112.5f);
  EXPECT_FLOAT_EQ(list.Current().AngleX(), 112.5f);
  EXPECT_FLOAT_EQ(list.Current().AngleY(), 112.5f);
  EXPECT_FLOAT_EQ(list.Current().PositionY(), 125);
  EXPECT_FLOAT_EQ(list.Current().Depth(), 125);
}

TEST(EasedIntervals, IntervalSpansKeyPointsInside) {
  // Three key points 0, 500 (value 90), 1000; an eased interval over all
  // of them ignores the middle one.
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 500, TKeyValue::PositionX, 90);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  MakeEased(list, TSpeedGroup::Pan, 0.5L, 0.5L);
  list.SetTime(500);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 50);
  list.SetTime(750);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 87.5f);
}

TEST(EasedIntervals, LinearIntervalsAndTinyEasesAreNotEased) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  // 0.4 % of ease rounds to nothing.
  MakeEased(list, TSpeedGroup::Pan, 0.004L, 0.996L);
  list.SetTime(2);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 0.2f);
  // 0.6 % of ease-in does ease: the value is below the linear one.
  MakeEased(list, TSpeedGroup::Pan, 0.006L, 1);
  list.SetTime(2);
  EXPECT_LT(list.Current().PositionX(), 0.1f);
  // An ease-out alone counts too.
  MakeEased(list, TSpeedGroup::Pan, 0, 0.9L);
  list.SetTime(999);
  EXPECT_GT(list.Current().PositionX(), 99.95f);
}

TEST(EasedIntervals, WalkStopsAtTheFirstIntervalStartingLater) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  AddAt(list, 2000, TKeyValue::PositionX, 200);
  TSpeedStorage& storage = list.SpeedStorage(TSpeedGroup::Pan);
  storage.ClearIntervals();
  storage.AddInterval({1, 2, 0.5L, 0.5L});
  storage.AddInterval({0, 1, 0.5L, 0.5L});
  list.SetTime(250);  // the interval [0,1] is never reached
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 25);
  list.SetTime(1250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 112.5f);
}

TEST(EasedIntervals, IntervalsNamingMissingKeyPointsAreIgnored) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  TSpeedStorage& storage = list.SpeedStorage(TSpeedGroup::Pan);
  ASSERT_TRUE(storage.ReadText(u"2;0;1000;3;-1;1;0.5;0.5;0;7;0.5;0.5;1;0;0.5;0.5;"));
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 25);
}

TEST(EasedIntervals, EaseValuesOutOfOrderStayBetweenTheEnds) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  MakeEased(list, TSpeedGroup::Pan, 0.9L, 0.1L);  // behaves as A = B = 0.9
  for (double t = 0; t <= 1000; t += 10) {
    list.SetTime(t);
    EXPECT_GE(list.Current().PositionX(), 0) << t;
    EXPECT_LE(list.Current().PositionX(), 100) << t;
  }
  MakeEased(list, TSpeedGroup::Pan, -3, 7);  // behaves as A = 0, B = 1: linear
  list.SetTime(300);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 30);
}

TEST(EasedIntervals, IntervalTimesAreRoundedToWholeMilliseconds) {
  TKeyPointList list;
  AddAt(list, 0.4, TKeyValue::PositionX, 0);
  AddAt(list, 1000.4, TKeyValue::PositionX, 100);
  MakeEased(list, TSpeedGroup::Pan, 0.5L, 0.5L);
  // x = 250.4 - 0 (the first time rounded down).
  list.SetTime(250.4);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 0.1f * 500 * (250.4f / 500) * (250.4f / 500));
}

TEST(PerspectiveCorrection, LinearZoomAndPanAtHalfTime) {
  TKeyPointList list;
  list.SetPerspectiveCorrection(true);
  list.SetCurrentValue(TKeyValue::ScaleX, 100);
  AddAt(list, 0, TKeyValue::PositionX, 0);
  list.SetCurrentValue(TKeyValue::ScaleX, 200);
  AddAt(list, 1000, TKeyValue::PositionX, 300);
  list.SetTime(500);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 100);
  EXPECT_FLOAT_EQ(list.Current().ScaleX(), 100 + 100.0f / 3);
  // Rotation and plain values are not corrected.
  list.KeyPoint(1).SetValue(TKeyValue::Angle, 2);
  list.KeyPoint(1).SetValue(TKeyValue::Opacity, 0);
  list.SetTime(500);
  EXPECT_FLOAT_EQ(list.Current().Angle(), 1);
  EXPECT_FLOAT_EQ(list.Current().Opacity(), 50);
  // Without the flag the motion is linear.
  list.SetPerspectiveCorrection(false);
  list.SetTime(500);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 150);
}

TEST(PerspectiveCorrection, EqualScalesChangeNothing) {
  TKeyPointList list;
  list.SetPerspectiveCorrection(true);
  list.SetCurrentValue(TKeyValue::ScaleX, 80);
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  for (double t : {100.0, 333.0, 500.0, 900.0}) {
    list.SetTime(t);
    EXPECT_NEAR(list.Current().PositionX(), t / 10, 1e-4) << t;
  }
}

TEST(PerspectiveCorrection, EasedPanRunsOnCorrectedTime) {
  TKeyPointList list;
  list.SetPerspectiveCorrection(true);
  list.SetCurrentValue(TKeyValue::ScaleX, 100);
  AddAt(list, 0, TKeyValue::PositionX, 0);
  list.SetCurrentValue(TKeyValue::ScaleX, 200);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  MakeEased(list, TSpeedGroup::Pan, 0.5L, 0.5L);
  MakeEased(list, TSpeedGroup::Rotation, 0.5L, 0.5L);
  list.KeyPoint(1).SetValue(TKeyValue::Angle, 100);
  list.SetTime(500);
  // Corrected time 1000/3 ms into the acceleration phase.
  const float x = 1000.0f / 3;
  EXPECT_NEAR(list.Current().PositionX(), 0.1f * 500 * (x / 500) * (x / 500), 1e-3);
  // The rotation is eased on the plain time.
  EXPECT_FLOAT_EQ(list.Current().Angle(), 50);
}

TEST(SpeedStoragesOfALists, MadeOnDemandFromTheKeyPoints) {
  TSlideAnchorTimes slide(10000, 20000, 0, 0);
  TKeyPoints list(&slide);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0.6);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 500);
  list.AddKeyPoint(TKeyPointAnchor::NextEffectBegin, 0);
  EXPECT_EQ(list.FindSpeedStorage(TSpeedGroup::Zoom), nullptr);
  EXPECT_EQ(list.SpeedText(TSpeedGroup::Zoom), u"3;10001;10500;20000;1;0;2;0;1;0;1;");
  EXPECT_NE(list.FindSpeedStorage(TSpeedGroup::Zoom), nullptr);
  EXPECT_EQ(list.FindSpeedStorage(TSpeedGroup::Pan), nullptr);
}

TEST(SpeedStoragesOfALists, FollowAddedAndRemovedKeyPoints) {
  TKeyPointList list;
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 100);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 200);
  TSpeedStorage& storage = list.SpeedStorage(TSpeedGroup::Rotation);
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 300);  // at the end
  EXPECT_EQ(storage.Text(), u"3;100;200;300;1;0;2;0;1;0;1;");
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);  // at the front
  EXPECT_EQ(storage.Text(), u"4;0;100;200;300;1;1;3;0;1;0;1;");
  list.AddKeyPoint(TKeyPointAnchor::SlideBegin, 150);  // inside
  EXPECT_EQ(storage.Text(), u"5;0;100;150;200;300;1;1;4;0;1;0;1;");
  list.DeleteKeyPoint(4);
  EXPECT_EQ(storage.Text(), u"4;0;100;150;200;1;1;3;0;1;0;1;");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindSpeedStorage(TSpeedGroup::Rotation), nullptr);
}

TEST(SpeedStoragesOfALists, UnreadableTextMakesTheGroupLinear) {
  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  ASSERT_TRUE(list.ReadSpeedText(TSpeedGroup::Pan, u"2;0;1000;1;0;1;0.5;0.5;"));
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 12.5f);
  EXPECT_FALSE(list.ReadSpeedText(TSpeedGroup::Pan, u"x;"));
  list.SetTime(250);
  EXPECT_FLOAT_EQ(list.Current().PositionX(), 25);
  EXPECT_EQ(list.SpeedText(TSpeedGroup::Pan), u"1;0;0;0;1;");
}

TEST(SpeedStoragesOfALists, ReadAndWrittenUnderTheObjectKeys) {
  TIniStorage document;
  TIniSection* section = document.FindOrCreateSection(u"Slide1");
  section->FindOrCreateKey(u"panspeed")->SetValue(u"2;0;1000;1;0;1;0.5;0.5;");
  section->FindOrCreateKey(u"RotateSpeed")->SetValue(u"garbage");

  TKeyPointList list;
  AddAt(list, 0, TKeyValue::PositionX, 0);
  AddAt(list, 1000, TKeyValue::PositionX, 100);
  list.ReadSpeedTexts(*section);
  EXPECT_EQ(list.SpeedText(TSpeedGroup::Pan), u"2;0;1000;1;0;1;0.5;0.5;0;1;");
  // A missing key keeps the storage the key points give.
  EXPECT_EQ(list.SpeedText(TSpeedGroup::Zoom), u"2;0;1000;1;0;1;0;1;0;1;");
  EXPECT_EQ(list.SpeedText(TSpeedGroup::Rotation), u"1;0;0;0;1;");

  TIniStorage out;
  TIniSection* target = out.FindOrCreateSection(u"Slide1");
  list.WriteSpeedTexts(*target);
  EXPECT_EQ(target->ReadString(u"PanSpeed", u""), u"2;0;1000;1;0;1;0.5;0.5;0;1;");
  EXPECT_EQ(target->ReadString(u"ZoomSpeed", u""), u"2;0;1000;1;0;1;0;1;0;1;");
  EXPECT_EQ(target->ReadString(u"RotateSpeed", u""), u"1;0;0;0;1;");

  TKeyPointList copy;
  copy.AddKeyPoint(TKeyPointAnchor::SlideBegin, 0);
  copy.AddKeyPoint(TKeyPointAnchor::SlideBegin, 1000);
  copy.ReadSpeedTexts(*target);
  for (int g = 0; g < kSpeedGroupCount; ++g)
    EXPECT_EQ(copy.SpeedText(static_cast<TSpeedGroup>(g)), list.SpeedText(static_cast<TSpeedGroup>(g)));
}

}  // namespace
}  // namespace zel
