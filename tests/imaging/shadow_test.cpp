#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "assertion_capture.h"
#include "core/streams.h"
#include "imaging/contour_curves.h"
#include "imaging/drop_shadow.h"
#include "imaging/resample.h"
#include "imaging/shadow_generator.h"

namespace zel {
namespace {

using AssertionCapture = testing_support::TAssertionCapture;

// ---------------------------------------------------------------------------
// Helpers.

std::unique_ptr<TBitmap> Grey(int width, int height, uint8_t value) {
  auto bitmap = CreateBitmap(width, height, FormatA8());
  for (int y = 0; y < height; ++y) std::memset(bitmap->ScanLine(y), value, static_cast<size_t>(width));
  return bitmap;
}

// A transparent picture with an opaque white square at (left, top).
std::unique_ptr<TBitmap> SquarePicture(int width, int height, int left, int top, int side) {
  auto bitmap = CreateBitmap(width, height, FormatA8R8G8B8());
  bitmap->Fill(bitmap->BoundsRect(), MakeColor(0, 0, 0, 0));
  bitmap->Fill(TRect::FromSize(left, top, side, side), MakeColor(255, 255, 255, 255));
  return bitmap;
}

std::unique_ptr<TImage> ImageOf(TString name, std::unique_ptr<TBitmap> bitmap) {
  return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(std::move(name), std::move(bitmap)));
}

uint8_t At(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x]; }
uint8_t AlphaAt(TImage& image, int x, int y) { return static_cast<uint8_t>(AlphaOf(image.GetMipLevel(0)->PixelColor(x, y))); }

// Serves pictures by name and counts the requests.
struct TPictureSource {
  std::map<TString, std::function<std::unique_ptr<TBitmap>()>> Pictures;
  std::vector<TString> Requests;

  TPictureRequest Request() {
    return [this](TStringView name) -> std::unique_ptr<TImage> {
      Requests.emplace_back(name);
      auto found = Pictures.find(TString(name));
      return found == Pictures.end() ? nullptr : ImageOf(TString(name), found->second());
    };
  }
};

TShadowParams SquareShadow(float blur) {
  TShadowParams p;
  p.PictureName = u"square";
  p.Right = 40, p.Bottom = 40;
  p.MarginX = 10, p.MarginY = 10;
  p.BaseAlpha = 0;
  p.Blur = blur;
  p.Red = 255;
  return p;
}

// ---------------------------------------------------------------------------
// Contour curves.

TEST(ContourCurves, StartsAsIdentity) {
  TCurvesData curve;
  for (int i = 0; i < 256; ++i) ASSERT_EQ(curve.Lookup(i), i);
  EXPECT_EQ(curve.Points(), (std::vector<TCurvePoint>{{0, 0}, {255, 255}}));
  EXPECT_EQ(curve.PresetNumber(), -1);
  EXPECT_TRUE(curve.IsIdentity());
}

TEST(ContourCurves, PresetsPassThroughTheirPoints) {
  TCurvesData curve;
  for (int number = 0; number < TCurvesData::kPresetCount; ++number) {
    curve.SelectPreset(number);
    EXPECT_EQ(curve.PresetNumber(), number);
    EXPECT_EQ(curve.PresetName(), TCurvesData::BuiltInPresetName(number));
    const auto points = TCurvesData::BuiltInPresetPoints(number);
    EXPECT_EQ(curve.Points(), points);
    for (const TCurvePoint& p : points) EXPECT_EQ(curve.Lookup(p.Input), p.Output) << number << " at " << p.Input;
    // No holes: neighbouring entries never jump far on these smooth curves.
    for (int i = 1; i < 256; ++i) EXPECT_LE(std::abs(curve.Lookup(i) - curve.Lookup(i - 1)), 16) << number << " at " << i;
  }
  EXPECT_EQ(TCurvesData::BuiltInPresetName(2), u"Cone - Inverted");
  EXPECT_EQ(TCurvesData::BuiltInPresetName(9), u"Tooth");
}

TEST(ContourCurves, EndsExtendBeyondTheFirstAndLastPoints) {
  TCurvesData curve;
  curve.SelectPreset(3);  // "Cove - Deep": (1, 63) ... (192, 255)
  EXPECT_EQ(curve.Lookup(0), 63);
  for (int i = 193; i < 256; ++i) EXPECT_EQ(curve.Lookup(i), 255);
  curve.SelectPreset(4);  // "Cove - Shallow" ends at (128, 255)
  EXPECT_EQ(curve.Lookup(200), 255);
}

TEST(ContourCurves, SegmentsAreSmoothNotStraight) {
  TCurvesData curve;
  curve.SelectPreset(1);  // "Cone": (0, 0), (128, 255), (255, 0)
  // The cubic bulges above the straight chords on both sides of the peak.
  EXPECT_GT(curve.Lookup(64), 128);
  EXPECT_GT(curve.Lookup(192), 128);
  EXPECT_EQ(curve.Lookup(255), 0);
}

TEST(ContourCurves, UnknownPresetKeepsTheCurve) {
  TCurvesData curve;
  curve.SelectPreset(7);
  const auto table = curve.Table();
  curve.SelectPreset(10);
  EXPECT_EQ(curve.PresetNumber(), -1);
  EXPECT_EQ(curve.Table(), table);
  curve.SelectPreset(-1);
  EXPECT_EQ(curve.Table(), table);
  curve.Reset();
  EXPECT_TRUE(curve.IsIdentity());
}

TEST(ContourCurves, StreamLoadsPointsAndRejectsBadData) {
  TCurvesData curve;
  const std::vector<TCurvePoint> points{{0, 30}, {100, 200}, {255, 90}};
  curve.LoadFromBytes(TCurvesData::EncodeCurveStream(points));
  EXPECT_EQ(curve.Points(), points);
  EXPECT_EQ(curve.Lookup(100), 200);
  EXPECT_EQ(curve.PresetNumber(), -1);

  auto expectIdentityAfter = [&](const std::vector<uint8_t>& bytes, const char* what) {
    curve.SetPoints(points);
    curve.LoadFromBytes(bytes);
    EXPECT_TRUE(curve.IsIdentity()) << what;
    EXPECT_EQ(curve.Points().size(), 2u) << what;
  };
  expectIdentityAfter({0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, "count 1");
  expectIdentityAfter({0x01, 0x00}, "count 256");
  expectIdentityAfter(TCurvesData::EncodeCurveStream(std::vector<TCurvePoint>{{0, 0}, {300, 10}, {255, 255}}),
                      "input 300");
  expectIdentityAfter(TCurvesData::EncodeCurveStream(std::vector<TCurvePoint>{{0, 0}, {10, 300}, {255, 255}}),
                      "output 300");
  auto cut = TCurvesData::EncodeCurveStream(points);
  cut.pop_back();
  expectIdentityAfter(cut, "cut short");
  expectIdentityAfter({}, "empty");
}

TEST(ContourCurves, RepeatedInnerPointIsDropped) {
  TCurvesData once, twice;
  once.SetPoints(std::vector<TCurvePoint>{{0, 0}, {90, 200}, {255, 255}});
  twice.SetPoints(std::vector<TCurvePoint>{{0, 0}, {90, 200}, {90, 200}, {255, 255}});
  EXPECT_EQ(twice.Table(), once.Table());
}

TEST(ContourCurves, StreamReadsOnlyItsCurve) {
  TMemoryStream stream;
  const auto bytes = TCurvesData::EncodeCurveStream(TCurvesData::BuiltInPresetPoints(5));
  stream.Write(bytes);
  stream.WriteByte(0xAB);
  stream.SetPosition(0);
  TCurvesData curve;
  curve.LoadFromStream(stream);
  EXPECT_EQ(curve.Points(), TCurvesData::BuiltInPresetPoints(5));
  EXPECT_EQ(stream.ReadByte(), 0xAB);
}

TEST(ContourCurves, PresetRecordGivesNameAndCurve) {
  TMemoryStream stream;
  const std::string name = "My Contour";
  stream.WriteUInt32(static_cast<uint32_t>(name.size()));
  stream.WriteAnsiString(name);
  stream.Write(TCurvesData::EncodeCurveStream(TCurvesData::BuiltInPresetPoints(8)));
  stream.SetPosition(0);
  TCurvesData curve;
  ASSERT_TRUE(curve.LoadPresetRecord(stream));
  EXPECT_EQ(curve.PresetName(), u"My Contour");
  EXPECT_EQ(curve.Points(), TCurvesData::BuiltInPresetPoints(8));

  TMemoryStream tooLong;
  tooLong.WriteUInt32(1'000'000);
  tooLong.SetPosition(0);
  EXPECT_FALSE(curve.LoadPresetRecord(tooLong));
  EXPECT_TRUE(curve.IsIdentity());
}

// ---------------------------------------------------------------------------
// Drop shadow.

TEST(DropShadow, AddsTheBlurMarginAroundTheSource) {
  TDropShadow shadow;
  EXPECT_EQ(shadow.Factor(), 3.0);
  auto source = Grey(10, 6, 255);
  TBitmap* result = shadow.Make(*source);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(shadow.Margin(), 8);  // ceil(2.5 x 3)
  EXPECT_EQ(result->Width(), 26);
  EXPECT_EQ(result->Height(), 22);
  EXPECT_EQ(result->Format(), FormatA8());
  EXPECT_EQ(shadow.Reduced()->Width(), 10);  // round(26 / 3) + 1

  shadow.SetFactor(4);
  EXPECT_EQ(shadow.Factor(), 5.0);
  ASSERT_NE(shadow.Make(*source), nullptr);
  EXPECT_EQ(shadow.Margin(), 13);
  shadow.SetFactor(-3);  // f = -2: treated as 1
  ASSERT_NE(shadow.Make(*source), nullptr);
  EXPECT_EQ(shadow.Margin(), 3);
}

TEST(DropShadow, ThirtyTwoBitSourcesGiveTheirAlpha) {
  auto grey = Grey(12, 12, 0);
  auto colour = CreateBitmap(12, 12, FormatA8R8G8B8());
  colour->Fill(colour->BoundsRect(), MakeColor(200, 10, 30, 0));
  for (int y = 3; y < 9; ++y)
    for (int x = 2; x < 10; ++x) {
      grey->ScanLine(y)[x] = 180;
      colour->ScanLine(y)[4 * x + 3] = 180;
    }
  TDropShadow a, b;
  TBitmap* fromGrey = a.Make(*grey);
  TBitmap* fromColour = b.Make(*colour);
  ASSERT_TRUE(fromGrey && fromColour);
  for (int y = 0; y < fromGrey->Height(); ++y)
    ASSERT_EQ(std::memcmp(fromGrey->ScanLine(y), fromColour->ScanLine(y), static_cast<size_t>(fromGrey->Width())), 0);
}

TEST(DropShadow, OtherFormatsAreProgrammingErrors) {
  AssertionCapture capture;
  TDropShadow shadow;
  auto rgb = CreateBitmap(4, 4, FormatR8G8B8());
  EXPECT_THROW(shadow.Make(*rgb), EAssertionFailed);
  EXPECT_EQ(capture.reports.size(), 1u);
}

TEST(DropShadow, LinearContourLeavesTheBlurredAlphaUnchanged) {
  auto source = Grey(30, 20, 0);
  for (int y = 5; y < 15; ++y) std::memset(source->ScanLine(y) + 5, 255, 20);
  TDropShadow shadow;
  shadow.Curve().SelectPreset(0);
  TBitmap* result = shadow.Make(*source);
  ASSERT_NE(result, nullptr);
  // The same two B-spline passes without any table.
  const int m = shadow.Margin();
  auto padded = Grey(30 + 2 * m, 20 + 2 * m, 0);
  for (int y = 0; y < 20; ++y) std::memcpy(padded->ScanLine(y + m) + m, source->ScanLine(y), 30);
  auto reduced = Grey(shadow.Reduced()->Width(), shadow.Reduced()->Height(), 0);
  auto expected = Grey(padded->Width(), padded->Height(), 0);
  ASSERT_TRUE(Resample(*padded, *reduced, TResampleFilter::BSpline, 2, nullptr, {}));
  ASSERT_TRUE(Resample(*reduced, *expected, TResampleFilter::BSpline, 2, nullptr, {}));
  for (int y = 0; y < expected->Height(); ++y)
    ASSERT_EQ(std::memcmp(result->ScanLine(y), expected->ScanLine(y), static_cast<size_t>(expected->Width())), 0);
  // The block's middle stays nearly opaque, the corners empty, the edge soft.
  EXPECT_GT(At(*result, m + 15, m + 10), 235);
  EXPECT_EQ(At(*result, 0, 0), 0);
  EXPECT_GT(At(*result, m + 5, m + 10), 60);
  EXPECT_LT(At(*result, m + 5, m + 10), 200);
}

// The x in the middle row where the plain shadow is closest to half.
int HalfWay(const TBitmap& plain, int y) {
  int best = 0;
  for (int x = 0; x < plain.Width() / 2; ++x)
    if (std::abs(At(plain, x, y) - 128) < std::abs(At(plain, best, y) - 128)) best = x;
  return best;
}

TEST(DropShadow, ConeContoursMakeHollowShadows) {
  auto source = Grey(40, 40, 255);
  TDropShadow plain, cone, inverted;
  plain.SetFactor(4), cone.SetFactor(4), inverted.SetFactor(4);
  cone.Curve().SelectPreset(1);
  inverted.Curve().SelectPreset(2);
  TBitmap* p = plain.Make(source->Clone().operator*());
  TBitmap* c = cone.Make(*source);
  TBitmap* i = inverted.Make(*source);
  ASSERT_TRUE(p && c && i);
  const int middle = p->Height() / 2, edge = HalfWay(*p, middle);
  ASSERT_GT(edge, 0);
  // "Cone": a bright ring along the edge, empty inside and outside.
  EXPECT_GT(At(*c, edge, middle), 230);
  EXPECT_LT(At(*c, middle, middle), 25);
  EXPECT_LT(At(*c, 0, 0), 25);
  // "Cone - Inverted": the ring is the hole.
  EXPECT_LT(At(*i, edge, middle), 25);
  EXPECT_GT(At(*i, middle, middle), 230);
  EXPECT_GT(At(*i, 0, 0), 230);
}

TEST(DropShadow, ProgressCanStopIt) {
  auto source = Grey(50, 50, 255);
  TDropShadow shadow;
  int calls = 0;
  shadow.SetProgress([&](float) { return ++calls < 10; });
  EXPECT_EQ(shadow.Make(*source), nullptr);
  EXPECT_EQ(calls, 10);
  float last = 0;
  shadow.SetProgress([&](float f) {
    EXPECT_GE(f, last);
    last = f;
    return true;
  });
  EXPECT_NE(shadow.Make(*source), nullptr);
  EXPECT_FLOAT_EQ(last, 1.0f);
}

// ---------------------------------------------------------------------------
// Coloured shadow.

TEST(ShadowProducer, ColoursTheShadowWithItsAlpha) {
  TShadowProducer producer;
  producer.Blur = 3;
  producer.Blue = 10, producer.Green = 20, producer.Red = 30;
  producer.ShadowAlpha = 128;
  auto picture = ImageOf(u"p", SquarePicture(30, 30, 5, 5, 20));
  auto shadow = producer.Make(*picture, u"the shadow");
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->Name(), u"the shadow");
  const TBitmap* alpha = producer.DropShadow().Result();
  ASSERT_EQ(shadow->Width(), alpha->Width());
  ASSERT_EQ(shadow->Format(), FormatA8R8G8B8());
  bool sawFull = false, sawPartial = false;
  for (int y = 0; y < alpha->Height(); ++y)
    for (int x = 0; x < alpha->Width(); ++x) {
      const unsigned v = At(*alpha, x, y);
      const TColor c = shadow->GetMipLevel(0)->PixelColor(x, y);
      ASSERT_EQ(NoAlpha(c), MakeColor(30, 20, 10, 0));
      ASSERT_EQ(AlphaOf(c), v == 255 ? 128u : v * 128 / 255);
      sawFull |= v == 255;
      sawPartial |= v > 0 && v < 255;
    }
  EXPECT_TRUE(sawFull && sawPartial);
  EXPECT_EQ(producer.DropShadow().Margin(), 10);  // f = 4
}

TEST(ShadowProducer, UnknownPresetMeansNoContour) {
  auto picture = ImageOf(u"p", SquarePicture(20, 20, 4, 4, 12));
  TShadowProducer reused, fresh;
  reused.ContourPreset = 1;
  ASSERT_NE(reused.Make(*picture, u"a"), nullptr);
  reused.ContourPreset = 42;
  auto a = reused.Make(*picture, u"a");
  auto b = fresh.Make(*picture, u"b");
  ASSERT_TRUE(a && b);
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) ASSERT_EQ(AlphaAt(*a, x, y), AlphaAt(*b, x, y));
}

TEST(ShadowProducer, NeedsAThirtyTwoBitPicture) {
  AssertionCapture capture;
  TShadowProducer producer;
  auto rgb = ImageOf(u"rgb", CreateBitmap(8, 8, FormatR8G8B8()));
  EXPECT_THROW(producer.Make(*rgb, u"x"), EAssertionFailed);
}

// ---------------------------------------------------------------------------
// Names.

TEST(ShadowName, FixedFieldOrder) {
  TShadowParams p;
  p.Right = 100, p.Bottom = 50, p.MarginX = 10, p.MarginY = 12, p.Blur = 2.5f, p.Density = 59;
  p.Blue = 1, p.Green = 2, p.Red = 3, p.ContourPreset = 4, p.GradientType = 5, p.GradientStartAlpha = 6;
  p.GradientEndAlpha = 7, p.PictureLevel = 1, p.BaseAlpha = 0, p.Left = -1, p.Top = 9;
  EXPECT_EQ(BuildShadowName(p), u"Shadow: -1:9:100:50:10:12:0:2.5:4:5:6:7:1:2:3:59.00:1:N\\A");
}

TEST(ShadowName, RoundTrips) {
  TShadowParams p;
  p.PictureName = u"C:\\pictures\\tree: one.png";  // colons in the name survive
  p.Left = 3, p.Top = 4, p.Right = 1003, p.Bottom = 604, p.MarginX = 40, p.MarginY = 41, p.BaseAlpha = 17;
  p.Blur = 12.345f, p.Blue = 200, p.Green = 100, p.Red = 50, p.Density = 37.25f, p.ContourPreset = 9;
  p.GradientStartAlpha = 11, p.GradientEndAlpha = 222, p.GradientType = 3, p.PictureLevel = 2;
  EXPECT_EQ(ParseShadowName(BuildShadowName(p)), p);
  EXPECT_EQ(ParseShadowName(BuildShadowName(TShadowParams{})), TShadowParams{});
}

TEST(ShadowName, FieldsThatDoNotConvert) {
  const TShadowParams p = ParseShadowName(u"Shadow:  5:x:7:8:9:10:abc:1.5:2:zz:300:4:5:6:7:50.00: 1:pic");
  EXPECT_EQ(p.Left, 0);  // blanks are not skipped
  EXPECT_EQ(p.Top, 0);
  EXPECT_EQ(p.Right, 7);
  EXPECT_EQ(p.BaseAlpha, 255);
  EXPECT_EQ(p.Blur, 1.5f);
  EXPECT_EQ(p.GradientType, 8);
  EXPECT_EQ(p.GradientStartAlpha, 0);  // out of the byte's range
  EXPECT_EQ(p.GradientEndAlpha, 4);
  EXPECT_EQ(p.Density, 50.0f);
  EXPECT_EQ(p.PictureLevel, 0);
  EXPECT_EQ(p.PictureName, u"pic");

  const TShadowParams shortName = ParseShadowName(u"Shadow: 1:2:3");
  EXPECT_EQ(shortName.Right, 3);
  EXPECT_EQ(shortName.BaseAlpha, 255);
  EXPECT_EQ(shortName.GradientType, 8);
  EXPECT_EQ(shortName.Density, 0.0f);
  EXPECT_EQ(shortName.PictureName, u"");
  EXPECT_EQ(ParseShadowName(u"").GradientType, 8);
}

// ---------------------------------------------------------------------------
// Generator.

// The alpha-weighted centre of a row or column run through the picture.
double AlphaCentroidX(TImage& image, int y) {
  double sum = 0, weighted = 0;
  for (int x = 0; x < image.Width(); ++x) sum += AlphaAt(image, x, y), weighted += x * AlphaAt(image, x, y);
  return weighted / sum;
}

// Pixels between 10 % and 90 % of full alpha along a row.
int RampWidth(TImage& image, int y) {
  int count = 0;
  for (int x = 0; x < image.Width() / 2; ++x) {
    const int a = AlphaAt(image, x, y);
    count += a > 25 && a < 230;
  }
  return count;
}

TEST(ShadowGenerator, SquareShadowIsCentredAndSoft) {
  TPictureSource pictures;
  pictures.Pictures[u"square"] = [] { return SquarePicture(40, 40, 0, 0, 40); };
  TShadowGenerator generator;
  auto soft = generator.Make(SquareShadow(8), pictures.Request());
  auto sharp = generator.Make(SquareShadow(1), pictures.Request());
  ASSERT_TRUE(soft && sharp);
  EXPECT_EQ(soft->Name(), BuildShadowName(SquareShadow(8)));
  const auto* geometry = soft->Store().FindAttached<TShadowGeometry>();
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->Halvings, 0);
  EXPECT_EQ(geometry->WorkingWidth, 60);
  EXPECT_EQ(geometry->BlurMargin, 23);  // ceil(2.5 x 9)
  EXPECT_EQ(soft->Width(), 60 + 2 * 23);
  const TRect square = geometry->SourceRect();
  EXPECT_EQ(square, (TRect{33, 33, 73, 73}));
  // No offset: the shadow is centred on the square in both directions.
  const int middle = (square.Top + square.Bottom) / 2;
  EXPECT_NEAR(AlphaCentroidX(*soft, middle), (square.Left + square.Right - 1) / 2.0, 0.5);
  for (int x = 0; x < soft->Width(); ++x) ASSERT_EQ(AlphaAt(*soft, x, middle), AlphaAt(*soft, middle, x));
  // Opaque inside, about half at the square's edge, nothing far out.
  EXPECT_GE(AlphaAt(*soft, middle, middle), 250);
  EXPECT_NEAR(AlphaAt(*soft, square.Left, middle), 128, 40);
  EXPECT_EQ(AlphaAt(*soft, 0, middle), 0);
  EXPECT_EQ(NoAlpha(soft->GetMipLevel(0)->PixelColor(middle, middle)), MakeColor(255, 0, 0, 0));
  // The bigger blur spreads the edge further.
  EXPECT_GT(RampWidth(*soft, middle), RampWidth(*sharp, (sharp->Height()) / 2) + 4);
}

TEST(ShadowGenerator, DensityAndSourceRectangle) {
  TPictureSource pictures;
  // The square sits at (20, 10) in a larger picture; only it is asked for.
  pictures.Pictures[u"square"] = [] { return SquarePicture(100, 80, 20, 10, 40); };
  TShadowParams p = SquareShadow(2);
  p.Left = 20, p.Top = 10, p.Right = 60, p.Bottom = 50, p.Density = 50;
  TShadowGenerator generator;
  auto shadow = generator.Make(p, pictures.Request());
  ASSERT_NE(shadow, nullptr);
  const auto* geometry = shadow->Store().FindAttached<TShadowGeometry>();
  const TRect square = geometry->SourceRect();
  const int middle = (square.Top + square.Bottom) / 2;
  EXPECT_EQ(AlphaAt(*shadow, middle, middle), 128);  // round(50 x 255 / 100)
  EXPECT_NEAR(AlphaCentroidX(*shadow, middle), (square.Left + square.Right - 1) / 2.0, 0.5);
}

TEST(ShadowGenerator, MissingPictureOrStopGivesNothing) {
  TPictureSource pictures;
  TShadowGenerator generator;
  EXPECT_EQ(generator.Make(SquareShadow(2), pictures.Request()), nullptr);
  EXPECT_EQ(pictures.Requests, std::vector<TString>{u"square"});
  pictures.Pictures[u"square"] = [] { return SquarePicture(40, 40, 0, 0, 40); };
  generator.Progress = [](float) { return false; };
  EXPECT_EQ(generator.Make(SquareShadow(2), pictures.Request()), nullptr);
}

TEST(ShadowGenerator, BigSourcesAreHalved) {
  TPictureSource pictures;
  pictures.Pictures[u"big"] = [] { return SquarePicture(2000, 1000, 500, 250, 500); };
  TShadowParams p;
  p.PictureName = u"big", p.Right = 2000, p.Bottom = 1000, p.BaseAlpha = 0, p.Blur = 8;
  TShadowGenerator generator;
  auto shadow = generator.Make(p, pictures.Request());
  ASSERT_NE(shadow, nullptr);
  const auto* geometry = shadow->Store().FindAttached<TShadowGeometry>();
  EXPECT_EQ(geometry->Halvings, 1);
  EXPECT_EQ(geometry->WorkingWidth, 1000);
  EXPECT_EQ(geometry->BlurMargin, 13);  // the blur halved too: f = 5
  EXPECT_EQ(shadow->Width(), 1026);
  EXPECT_EQ(AlphaAt(*shadow, 13 + 375, 13 + 250), 255);  // the square's middle, halved
  EXPECT_EQ(AlphaAt(*shadow, 13 + 100, 13 + 250), 0);

  // A long thin box is halved until neither side is above 10,000.
  TShadowParams box;
  box.Right = 30'000, box.Bottom = 10, box.BaseAlpha = 0;
  auto thin = generator.Make(box, {});
  ASSERT_NE(thin, nullptr);
  EXPECT_EQ(thin->Store().FindAttached<TShadowGeometry>()->Halvings, 2);
  EXPECT_EQ(thin->Store().FindAttached<TShadowGeometry>()->WorkingWidth, 7500);
}

// A 60 x 60 box, no blur to speak of, alpha from 0 to 240 by type.
std::unique_ptr<TImage> GradientBox(uint8_t type, uint8_t start = 0, uint8_t end = 240) {
  TShadowParams p;
  p.Right = 60, p.Bottom = 60, p.GradientType = type, p.GradientStartAlpha = start, p.GradientEndAlpha = end;
  TShadowGenerator generator;
  return generator.Make(p, {});
}

TEST(ShadowGenerator, BoxGradientsRunInTheirDirections) {
  // Samples well inside, away from the soft border: (x, y) in box pixels.
  auto alpha = [](TImage& image, int x, int y) {
    const int m = image.Store().FindAttached<TShadowGeometry>()->BlurMargin;
    return static_cast<int>(AlphaAt(image, m + x, m + y));
  };
  struct TCase {
    uint8_t Type;
    int LowX, LowY, HighX, HighY;
  };
  const TCase cases[] = {{0, 8, 8, 51, 51}, {1, 51, 8, 8, 51}, {2, 8, 51, 51, 8}, {3, 51, 51, 8, 8},
                         {4, 30, 51, 30, 8}, {5, 30, 8, 30, 51}, {6, 8, 30, 51, 30}, {7, 51, 30, 8, 30}};
  for (const TCase& c : cases) {
    auto box = GradientBox(c.Type);
    ASSERT_NE(box, nullptr);
    const int low = alpha(*box, c.LowX, c.LowY), high = alpha(*box, c.HighX, c.HighY);
    EXPECT_LT(low, 60) << int{c.Type};
    EXPECT_GT(high, 180) << int{c.Type};
    EXPECT_NEAR(alpha(*box, 30, 30), 120, 12) << int{c.Type};  // half way in every direction
  }
  auto uniform = GradientBox(8, 100, 240);
  EXPECT_EQ(alpha(*uniform, 8, 8), 100);
  EXPECT_EQ(alpha(*uniform, 51, 51), 100);
}

TEST(ShadowGenerator, OpaqueBoxLeavesTheMarginsAtBaseAlpha) {
  TShadowParams p;
  p.Right = 40, p.Bottom = 30, p.MarginX = 20, p.MarginY = 20, p.BaseAlpha = 0;
  TShadowGenerator generator;
  auto shadow = generator.Make(p, {});
  ASSERT_NE(shadow, nullptr);
  const TRect box = shadow->Store().FindAttached<TShadowGeometry>()->SourceRect();
  EXPECT_EQ(box.Width(), 40);
  EXPECT_EQ(AlphaAt(*shadow, (box.Left + box.Right) / 2, (box.Top + box.Bottom) / 2), 255);
  EXPECT_EQ(AlphaAt(*shadow, box.Left - 15, box.Top - 15), 0);
  p.BaseAlpha = 255;  // the margins are part of the shadow then
  auto filled = generator.Make(p, {});
  EXPECT_EQ(AlphaAt(*filled, box.Left - 15, box.Top - 15), 255);
}

// ---------------------------------------------------------------------------
// Normalised shadows.

int64_t WorkingArea(const TShadowParams& p) {
  return int64_t{p.Right + 2 * p.MarginX} * (p.Bottom + 2 * p.MarginY);
}

TEST(ShadowNormalising, ScalesToAboutFortyThousandPixels) {
  TShadowParams p;
  p.Right = 400, p.Bottom = 300, p.Blur = 16;
  TShadowParams n = NormalizeShadowParams(p);
  EXPECT_EQ(n.Right, 231);  // 400 x sqrt(1/3)
  EXPECT_EQ(n.Bottom, 173);
  EXPECT_EQ(n.Blur, 16.0f);
  EXPECT_NEAR(WorkingArea(n), 40'000, 400);

  p.MarginX = 50, p.MarginY = 50;
  n = NormalizeShadowParams(p);
  EXPECT_EQ(n.MarginX, 22);  // s = sqrt(40000 / 200000)
  EXPECT_NEAR(WorkingArea(n), 40'000, 800);

  p = {};
  p.Right = 50, p.Bottom = 50;  // small ones grow
  EXPECT_EQ(NormalizeShadowParams(p).Right, 200);
  p.Right = 0;
  EXPECT_EQ(NormalizeShadowParams(p), p);

  AssertionCapture capture;
  p.Right = 50, p.Left = 5;
  EXPECT_THROW(NormalizeShadowParams(p), EAssertionFailed);
}

// Serves "Shadow: " names through a generator, as the slide host does.
struct TShadowHost {
  TPictureSource Pictures;
  TShadowGenerator Generator;
  std::vector<TString> Requests;

  TPictureRequest Request() {
    return [this](TStringView name) {
      Requests.emplace_back(name);
      return Generator.MakeFromName(name, Pictures.Request());
    };
  }
};

TEST(Shadow, RemadeOnlyWhenParametersChange) {
  TShadowHost host;
  host.Pictures.Pictures[u"square"] = [] { return SquarePicture(40, 40, 0, 0, 40); };
  TShadow shadow(false);
  EXPECT_EQ(shadow.Level(), -1);
  EXPECT_TRUE(shadow.Update(SquareShadow(3), host.Request()));
  ASSERT_NE(shadow.Picture(), nullptr);
  EXPECT_EQ(shadow.Params(), SquareShadow(3));  // pictures keep their size unless normalised
  EXPECT_EQ(shadow.Level(), 0);
  EXPECT_NE(shadow.Geometry(), nullptr);
  TImage* first = shadow.Picture();
  EXPECT_FALSE(shadow.Update(SquareShadow(3), host.Request()));
  EXPECT_EQ(shadow.Picture(), first);
  EXPECT_EQ(host.Requests.size(), 1u);
  EXPECT_TRUE(shadow.Update(SquareShadow(4), host.Request()));
  EXPECT_EQ(host.Requests.size(), 2u);
  EXPECT_EQ(host.Requests.back(), BuildShadowName(SquareShadow(4)));
}

TEST(Shadow, BoxesAndNormalisedShadowsAskForTheNormalisedName) {
  TShadowHost host;
  host.Pictures.Pictures[u"square"] = [] { return SquarePicture(400, 400, 0, 0, 400); };
  TShadowParams box;
  box.Right = 400, box.Bottom = 100;
  TShadow boxShadow(false);
  EXPECT_TRUE(boxShadow.Update(box, host.Request()));
  EXPECT_EQ(boxShadow.Params(), NormalizeShadowParams(box));
  EXPECT_EQ(host.Requests.back(), BuildShadowName(NormalizeShadowParams(box)));
  // A change that vanishes in the rounding asks for nothing.
  box.Right = 401;
  EXPECT_FALSE(boxShadow.Update(box, host.Request()));
  EXPECT_EQ(host.Requests.size(), 1u);

  TShadowParams picture = SquareShadow(3);
  picture.Right = 400, picture.Bottom = 400;
  TShadow normalised(true);
  EXPECT_TRUE(normalised.Update(picture, host.Request()));
  EXPECT_TRUE(normalised.Normalized());
  EXPECT_EQ(normalised.Params().Right, NormalizeShadowParams(picture).Right);
  EXPECT_LT(normalised.Picture()->Width(), 300);  // computed small, stretched when drawn
}

TEST(Shadow, FailedRequestKeepsAskingAndLevelIsRequired) {
  TShadowHost host;
  TShadow shadow(false);
  EXPECT_FALSE(shadow.Update(SquareShadow(3), host.Request()));
  EXPECT_EQ(shadow.Picture(), nullptr);
  host.Pictures.Pictures[u"square"] = [] { return SquarePicture(40, 40, 0, 0, 40); };
  EXPECT_TRUE(shadow.Update(SquareShadow(3), host.Request()));
  EXPECT_EQ(host.Requests.size(), 2u);

  AssertionCapture capture;
  TShadowParams noLevel = SquareShadow(3);
  noLevel.PictureLevel = -1;
  EXPECT_THROW(shadow.Update(noLevel, host.Request()), EAssertionFailed);
}

}  // namespace
}  // namespace zel
