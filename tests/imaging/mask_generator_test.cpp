// The generated soft masks: their names, the ellipse and the rounded
// rectangle, the soft band and stopping through the progress.
#include "imaging/mask_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "imaging/pixel_format.h"

namespace zel {
namespace {

std::unique_ptr<TImage> MakeMask(const TMaskParams& params) {
  TMaskGenerator generator;
  return generator.Make(params, BuildMaskName(params));
}

uint8_t At(TImage& mask, int x, int y) { return mask.GetMipLevel(0)->ScanLine(y)[x]; }

// The value the soft band gives at `inset` pixels inside the edge, worked
// out here from the ease's two parabolas.
int Ramp(double inset, double band) {
  if (inset > band) return 255;
  if (inset < 0) return 0;
  const double x = (band - inset) / band;
  const double eased = x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x);
  return 255 - static_cast<int>(std::lround(255 * eased));
}

TEST(MaskName, ParsesFieldsSkippingBlanksAndDefaultsWhatDoesNotConvert) {
  const TMaskParams parsed = ParseMaskName(u"PresetedMask: 100:\t50 : 1 :12.5: 7");
  EXPECT_EQ(parsed.Width, 100);
  EXPECT_EQ(parsed.Height, 50);
  EXPECT_EQ(parsed.Kind, 1);
  EXPECT_FLOAT_EQ(parsed.Softness, 12.5f);
  EXPECT_FLOAT_EQ(parsed.CornerRadius, 7);

  const TMaskParams garbage = ParseMaskName(u"PresetedMask:abc::5:soft:-");
  EXPECT_EQ(garbage.Width, 512);
  EXPECT_EQ(garbage.Height, 512);
  EXPECT_EQ(garbage.Kind, 0);  // only 1 selects the ellipse
  EXPECT_EQ(garbage.Softness, 0);
  EXPECT_EQ(garbage.CornerRadius, 0);

  for (const char16_t* name : {u"PresetedMask:", u"Preset", u""}) {
    const TMaskParams empty = ParseMaskName(name);
    EXPECT_EQ(empty.Width, 512);
    EXPECT_EQ(empty.Height, 512);
    EXPECT_EQ(empty.Kind, 0);
  }
}

TEST(MaskName, BuildsTheFormatAndRoundTrips) {
  TMaskParams params;
  params.Width = 320;
  params.Height = 200;
  params.Kind = 1;
  params.Softness = 33.3f;
  params.CornerRadius = 0;
  EXPECT_EQ(BuildMaskName(params), u"PresetedMask:320:200:1:33.3:0");
  const TMaskParams back = ParseMaskName(BuildMaskName(params));
  EXPECT_EQ(back.Width, 320);
  EXPECT_EQ(back.Height, 200);
  EXPECT_EQ(back.Kind, 1);
  EXPECT_EQ(back.Softness, 33.3f);
  EXPECT_EQ(back.CornerRadius, 0);
}

TEST(MaskGenerator, TheNamedHardEllipseFillsItsPicture) {
  const TString name = u"PresetedMask:100:50:1:0:0";
  TMaskGenerator generator;
  auto mask = generator.Make(ParseMaskName(name), name);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->Name(), name);
  EXPECT_EQ(mask->Width(), 100);
  EXPECT_EQ(mask->Height(), 50);
  EXPECT_EQ(mask->Format(), FormatA8());
  // Hard edged: only black and white, white exactly inside the ellipse
  // through the middle of the first and last columns.
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      const double dx = x - 49.5, dy = (y - 24.5) * 2;
      const int expected = dx * dx + dy * dy < 49.5 * 49.5 ? 255 : 0;
      ASSERT_EQ(At(*mask, x, y), expected) << x << "," << y;
    }
  // It touches all four sides and leaves the corners out.
  EXPECT_EQ(At(*mask, 49, 0), 255);
  EXPECT_EQ(At(*mask, 50, 49), 255);
  EXPECT_EQ(At(*mask, 1, 24), 255);
  EXPECT_EQ(At(*mask, 98, 25), 255);
  EXPECT_EQ(At(*mask, 0, 0), 0);
  EXPECT_EQ(At(*mask, 99, 49), 0);
}

TEST(MaskGenerator, AnyKindButOneIsTheRoundedRectangle) {
  TMaskParams params;
  params.Width = 40;
  params.Height = 30;
  params.CornerRadius = 30;
  params.Softness = 50;
  params.Kind = 5;
  auto five = MakeMask(params);
  params.Kind = 0;
  auto zero = MakeMask(params);
  params.Kind = 1;
  auto ellipse = MakeMask(params);
  int differences = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(At(*five, x, y), At(*zero, x, y)) << x << "," << y;
      differences += At(*five, x, y) != At(*ellipse, x, y);
    }
  EXPECT_GT(differences, 0);
  EXPECT_EQ(ParseMaskName(u"PresetedMask:40:30:5:50:30").Kind, 0);
}

TEST(MaskGenerator, RoundedCornersFollowTheCornerCircle) {
  TMaskParams params;
  params.Width = 100;
  params.Height = 100;
  params.CornerRadius = 20;  // R = 20 pixels, a one-pixel band
  auto mask = MakeMask(params);
  EXPECT_EQ(At(*mask, 50, 50), 255);
  EXPECT_EQ(At(*mask, 0, 0), 0);
  EXPECT_EQ(At(*mask, 99, 99), 0);
  // Along the diagonal into the top-left corner: outside the circle black,
  // the band pixel on the circle partly shown, then white.
  for (int i = 0; i < 12; ++i) {
    const double inset = 20 - std::hypot(i + 0.5 - 20, i + 0.5 - 20);
    EXPECT_EQ(At(*mask, i, i), Ramp(inset, 1)) << i;
  }
  EXPECT_EQ(At(*mask, 5, 5), 0);
  EXPECT_GT(At(*mask, 6, 6), 0);
  EXPECT_LT(At(*mask, 6, 6), 255);
  EXPECT_EQ(At(*mask, 7, 7), 255);
  // The same in the other three corners.
  EXPECT_EQ(At(*mask, 93, 6), At(*mask, 6, 6));
  EXPECT_EQ(At(*mask, 6, 93), At(*mask, 6, 6));
  EXPECT_EQ(At(*mask, 93, 93), At(*mask, 6, 6));
  // The straight edges run along the border: its pixels get half the band.
  EXPECT_EQ(At(*mask, 50, 0), Ramp(0.5, 1));
  EXPECT_EQ(At(*mask, 0, 50), Ramp(0.5, 1));
  EXPECT_EQ(At(*mask, 50, 1), 255);
}

TEST(MaskGenerator, SoftnessGivesAFallingRamp) {
  TMaskParams params;
  params.Width = 101;
  params.Height = 101;
  params.Kind = 1;
  params.Softness = 20;  // a band of 20.2 pixels inside the radius of 50
  auto ellipse = MakeMask(params);
  std::set<int> values;
  for (int x = 50; x < 101; ++x) {
    const int value = At(*ellipse, x, 50);
    EXPECT_EQ(value, Ramp(50.0 - (x - 50), 20.2)) << x;
    if (x > 50) {
      EXPECT_LE(value, At(*ellipse, x - 1, 50));
    }
    values.insert(value);
  }
  EXPECT_EQ(At(*ellipse, 79, 50), 255);  // d = 29, inside R - s
  EXPECT_EQ(At(*ellipse, 100, 50), 0);   // d = R
  EXPECT_GT(values.size(), 15u);

  params.Kind = 0;
  params.CornerRadius = 20;
  params.Softness = 50;  // band = 20 * 50 / 100 + 1 = 11 pixels
  auto rounded = MakeMask(params);
  for (int x = 0; x < 13; ++x) EXPECT_EQ(At(*rounded, x, 50), Ramp(x + 0.5, 11)) << x;
  EXPECT_EQ(At(*rounded, 5, 50), 127);  // the middle of the band
}

TEST(MaskGenerator, RefusesSizesThePictureLimitsRefuse) {
  TMaskGenerator generator;
  for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {70000, 2}, {2, 70000}}) {
    TMaskParams params;
    params.Width = w;
    params.Height = h;
    EXPECT_EQ(generator.Make(params, u"m"), nullptr) << w << "x" << h;
  }
  TMaskParams tiny;
  tiny.Width = 1;
  tiny.Height = 1;
  tiny.Kind = 1;
  auto one = generator.Make(tiny, u"one");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->Width(), 1);
}

TEST(MaskGenerator, TheProgressIsAskedEachRowAndCanStop) {
  TMaskGenerator generator;
  std::vector<float> asked;
  generator.Progress = [&asked](float fraction) {
    asked.push_back(fraction);
    return asked.size() < 3;
  };
  TMaskParams params;
  params.Width = 20;
  params.Height = 10;
  params.CornerRadius = 0;
  auto stopped = generator.Make(params, u"stopped");
  ASSERT_NE(stopped, nullptr);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_FLOAT_EQ(asked[0], 0.1f);
  EXPECT_FLOAT_EQ(asked[2], 0.3f);
  EXPECT_EQ(At(*stopped, 10, 2), 255);  // made before the stop
  EXPECT_EQ(At(*stopped, 10, 3), 0);    // never made

  asked.clear();
  generator.Progress = [&asked](float fraction) {
    asked.push_back(fraction);
    return true;
  };
  auto whole = generator.Make(params, u"whole");
  ASSERT_EQ(asked.size(), 10u);
  EXPECT_FLOAT_EQ(asked.back(), 1.0f);
  EXPECT_EQ(At(*whole, 10, 5), 255);
}

}  // namespace
}  // namespace zel
