// Single key points: anchors, defaults, value limits and change marks.
#include <gtest/gtest.h>

#include "show/key_point.h"

namespace zel {
namespace {

TEST(KeyPointAnchors, NamesMatchWithoutRegardToCase) {
  EXPECT_EQ(KeyPointAnchorFromName(u"SlideBegin"), TKeyPointAnchor::SlideBegin);
  EXPECT_EQ(KeyPointAnchorFromName(u"prevEFFECTend"), TKeyPointAnchor::PrevEffectEnd);
  EXPECT_EQ(KeyPointAnchorFromName(u"NEXTEFFECTBEGIN"), TKeyPointAnchor::NextEffectBegin);
  EXPECT_EQ(KeyPointAnchorFromName(u"slideend"), TKeyPointAnchor::SlideEnd);
  EXPECT_FALSE(KeyPointAnchorFromName(u"SlideMiddle").has_value());
  EXPECT_FALSE(KeyPointAnchorFromName(u"").has_value());
  for (int i = 0; i < kKeyPointAnchorCount; ++i) {
    const auto anchor = static_cast<TKeyPointAnchor>(i);
    EXPECT_EQ(KeyPointAnchorFromName(KeyPointAnchorName(anchor)), anchor);
  }
}

TEST(KeyPointAnchors, SlideTimesGiveTheFourAnchors) {
  // A slide from 5,000 to 9,000 ms entered by a 1,000 ms transition and
  // left by a 1,500 ms one.
  const TSlideAnchorTimes slide(5000, 9000, 1000, 1500);
  EXPECT_EQ(slide.AnchorTime(TKeyPointAnchor::SlideBegin), 5000);
  EXPECT_EQ(slide.AnchorTime(TKeyPointAnchor::PrevEffectEnd), 6000);
  EXPECT_EQ(slide.AnchorTime(TKeyPointAnchor::NextEffectBegin), 9000);
  EXPECT_EQ(slide.AnchorTime(TKeyPointAnchor::SlideEnd), 10500);
}

TEST(KeyPointValues, NewValuesAreOpaqueFullSizeAndWhite) {
  const TKeyPointValues values;
  EXPECT_EQ(values.Opacity(), 100);
  EXPECT_EQ(values.ScaleX(), 100);
  EXPECT_EQ(values.ScaleY(), 100);
  EXPECT_EQ(values.Color(), (TKeyPointColor{255, 255, 255}));
  for (TKeyValue v : {TKeyValue::Angle, TKeyValue::PositionX, TKeyValue::PositionY, TKeyValue::Depth,
                      TKeyValue::CenterX, TKeyValue::CenterY, TKeyValue::Extra1, TKeyValue::Extra4,
                      TKeyValue::AngleX, TKeyValue::AngleY, TKeyValue::Blur, TKeyValue::ColorDegree})
    EXPECT_EQ(values.Get(v), 0) << static_cast<int>(v);
}

TEST(KeyPointValues, ScalesStayAtLeastOneThousandth) {
  TKeyPointValues values;
  values.Set(TKeyValue::ScaleX, 0);
  values.Set(TKeyValue::ScaleY, -50);
  EXPECT_EQ(values.ScaleX(), kMinKeyPointScale);
  EXPECT_EQ(values.ScaleY(), kMinKeyPointScale);
  values.Set(TKeyValue::ScaleX, 0.5f);
  EXPECT_EQ(values.ScaleX(), 0.5f);
  // Other values may be negative.
  values.Set(TKeyValue::PositionX, -50);
  EXPECT_EQ(values.PositionX(), -50);
}

TEST(KeyPointChangeMarks, OnlyChangesAtTheFourthDecimalMark) {
  TKeyPoint point(TKeyPointAnchor::SlideBegin, 0, TKeyPointValues());
  EXPECT_FALSE(point.Changed());
  EXPECT_FALSE(point.SetValue(TKeyValue::Opacity, 100.00002f));
  EXPECT_FALSE(point.Changed());
  EXPECT_TRUE(point.SetValue(TKeyValue::Opacity, 99.999f));
  EXPECT_TRUE(point.Changed());
  EXPECT_FLOAT_EQ(point.Values().Opacity(), 99.999f);

  point.SetChanged(false);
  EXPECT_TRUE(point.SetValue(TKeyValue::PositionX, 0.0001f));
  point.SetChanged(false);
  // Writing the same value again is no change.
  EXPECT_FALSE(point.SetValue(TKeyValue::PositionX, 0.0001f));
  EXPECT_FALSE(point.Changed());
  // A clamped scale that stays at the limit is no change either.
  point.SetValue(TKeyValue::ScaleX, 0);
  point.SetChanged(false);
  EXPECT_FALSE(point.SetValue(TKeyValue::ScaleX, -3));
}

TEST(KeyPointChangeMarks, ColourChangesMark) {
  TKeyPoint point(TKeyPointAnchor::SlideEnd, -500, TKeyPointValues());
  EXPECT_FALSE(point.SetColor({255, 255, 255}));
  EXPECT_FALSE(point.Changed());
  EXPECT_TRUE(point.SetColor({255, 254, 255}));
  EXPECT_TRUE(point.Changed());
  EXPECT_EQ(point.Values().Color(), (TKeyPointColor{255, 254, 255}));
}

}  // namespace
}  // namespace zel
