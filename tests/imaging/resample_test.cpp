#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "assertion_capture.h"
#include "imaging/resample.h"

namespace zel {
namespace {

using AssertionCapture = testing_support::TAssertionCapture;

constexpr TResampleFilter kAllFilters[] = {TResampleFilter::Box,     TResampleFilter::Triangle, TResampleFilter::Hermite,
                                           TResampleFilter::Bell,    TResampleFilter::BSpline,  TResampleFilter::Mitchell,
                                           TResampleFilter::Lanczos3};

std::unique_ptr<TBitmap> Grey(int width, int height, uint8_t value) {
  auto bitmap = CreateBitmap(width, height, FormatA8());
  for (int y = 0; y < height; ++y) std::memset(bitmap->ScanLine(y), value, static_cast<size_t>(width));
  return bitmap;
}

uint8_t At(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x]; }

TEST(ResampleFilters, WeightsAtKnownDistances) {
  EXPECT_EQ(FilterWeight(TResampleFilter::Box, 0.5), 1.0);
  EXPECT_EQ(FilterWeight(TResampleFilter::Box, -0.5), 0.0);  // half-open: each position counts once
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::Triangle, 0.25), 0.75);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::Hermite, 0.5), 0.5);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::Bell, 0.0), 0.75);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::Bell, 1.0), 0.125);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::BSpline, 0.0), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::BSpline, 1.0), 1.0 / 6.0);
  EXPECT_NEAR(FilterWeight(TResampleFilter::Mitchell, 0.0), 16.0 / 18.0, 1e-12);
  EXPECT_NEAR(FilterWeight(TResampleFilter::Mitchell, 1.0), 1.0 / 18.0, 1e-12);
  EXPECT_DOUBLE_EQ(FilterWeight(TResampleFilter::Lanczos3, 0.0), 1.0);
  EXPECT_NEAR(FilterWeight(TResampleFilter::Lanczos3, 2.0), 0.0, 1e-12);
  const double sinc15 = std::sin(1.5 * std::numbers::pi) / (1.5 * std::numbers::pi);
  const double sinc05 = std::sin(0.5 * std::numbers::pi) / (0.5 * std::numbers::pi);
  EXPECT_NEAR(FilterWeight(TResampleFilter::Lanczos3, 1.5), sinc15 * sinc05, 1e-12);
}

TEST(ResampleFilters, SymmetricAndZeroBeyondSupport) {
  for (TResampleFilter filter : kAllFilters) {
    const double support = FilterSupport(filter);
    EXPECT_EQ(FilterWeight(filter, support + 0.01), 0.0) << static_cast<int>(filter);
    EXPECT_EQ(FilterWeight(filter, -support - 0.01), 0.0) << static_cast<int>(filter);
    if (filter == TResampleFilter::Box) continue;  // a step, not a curve falling to 0
    EXPECT_NEAR(FilterWeight(filter, support - 1e-9), 0.0, 1e-6) << static_cast<int>(filter);
    for (double x : {0.1, 0.7, 1.3, 2.6})
      EXPECT_DOUBLE_EQ(FilterWeight(filter, x), FilterWeight(filter, -x)) << static_cast<int>(filter) << " at " << x;
  }
  EXPECT_EQ(FilterSupport(TResampleFilter::Box), 0.5);
  EXPECT_EQ(FilterSupport(TResampleFilter::Bell), 1.5);
  EXPECT_EQ(FilterSupport(TResampleFilter::Lanczos3), 3.0);
}

// The splines sum to 1 over every set of integer shifts: a flat signal stays
// flat even before any normalisation.
TEST(ResampleFilters, SplinesPartitionUnity) {
  for (TResampleFilter filter :
       {TResampleFilter::Box, TResampleFilter::Triangle, TResampleFilter::Bell, TResampleFilter::BSpline,
        TResampleFilter::Mitchell}) {
    for (double x : {0.0, 0.2, 0.5, 0.85}) {
      double sum = 0.0;
      for (int k = -4; k <= 4; ++k) sum += FilterWeight(filter, x + k);
      EXPECT_NEAR(sum, 1.0, 1e-9) << static_cast<int>(filter) << " at " << x;
    }
  }
}

TEST(Resample, ConstantStaysConstant) {
  for (TResampleFilter filter : kAllFilters) {
    auto source = Grey(13, 9, 137);
    for (auto [w, h] : {std::pair{40, 31}, std::pair{5, 3}, std::pair{13, 9}, std::pair{1, 1}}) {
      auto target = Grey(w, h, 0);
      ASSERT_TRUE(Resample(*source, *target, filter, 0, nullptr, {}));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(At(*target, x, y), 137) << static_cast<int>(filter) << " " << w << "x" << h;
    }
  }
}

TEST(Resample, SameSizeKeepsPixelsForInterpolatingFilters) {
  auto source = Grey(11, 7, 0);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 11; ++x) source->ScanLine(y)[x] = static_cast<uint8_t>((x * 37 + y * 91) % 256);
  for (TResampleFilter filter :
       {TResampleFilter::Box, TResampleFilter::Triangle, TResampleFilter::Hermite, TResampleFilter::Lanczos3}) {
    auto target = Grey(11, 7, 0);
    ASSERT_TRUE(Resample(*source, *target, filter, 0, nullptr, {}));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 11; ++x) ASSERT_EQ(At(*target, x, y), At(*source, x, y)) << static_cast<int>(filter);
  }
}

void ExpectSymmetric(const TBitmap& bitmap, const char* what) {
  const int w = bitmap.Width(), h = bitmap.Height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(At(bitmap, x, y), At(bitmap, w - 1 - x, y)) << what << " at " << x << "," << y;
      ASSERT_EQ(At(bitmap, x, y), At(bitmap, x, h - 1 - y)) << what << " at " << x << "," << y;
      ASSERT_EQ(At(bitmap, x, y), At(bitmap, y, x)) << what << " at " << x << "," << y;
    }
}

TEST(Resample, BrightPixelSpreadsSymmetrically) {
  auto source = Grey(9, 9, 0);
  source->ScanLine(4)[4] = 255;
  for (TResampleFilter filter : kAllFilters) {
    auto enlarged = Grey(27, 27, 0);
    ASSERT_TRUE(Resample(*source, *enlarged, filter, 0, nullptr, {}));
    ExpectSymmetric(*enlarged, "enlarged");
    EXPECT_GT(At(*enlarged, 13, 13), 0);
    EXPECT_GE(At(*enlarged, 13, 13), At(*enlarged, 12, 13));
    EXPECT_EQ(At(*enlarged, 0, 0), 0);
  }
  // Shrinking by 3 with a B-spline widened to the new spacing still sees the
  // pixel, spread over its neighbours.
  auto big = Grey(21, 21, 0);
  big->ScanLine(10)[10] = 255;
  auto shrunk = Grey(7, 7, 0);
  ASSERT_TRUE(Resample(*big, *shrunk, TResampleFilter::BSpline, 0, nullptr, {}));
  ExpectSymmetric(*shrunk, "shrunk");
  EXPECT_GT(At(*shrunk, 3, 3), At(*shrunk, 2, 3));
  EXPECT_GT(At(*shrunk, 2, 3), 0);
}

// A fine checkerboard shrunk by 4 must average out, not alias: the filter
// is widened by the inverse scale.
TEST(Resample, ShrinkingAveragesFineDetail) {
  auto source = Grey(64, 64, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) source->ScanLine(y)[x] = ((x + y) % 2) ? 255 : 0;
  for (TResampleFilter filter : {TResampleFilter::Box, TResampleFilter::Triangle, TResampleFilter::BSpline}) {
    auto target = Grey(16, 16, 0);
    ASSERT_TRUE(Resample(*source, *target, filter, 0, nullptr, {}));
    for (int y = 2; y < 14; ++y)
      for (int x = 2; x < 14; ++x) EXPECT_NEAR(At(*target, x, y), 127.5, 3.0) << static_cast<int>(filter);
  }
}

TEST(Resample, OutputTableMapsTheSums) {
  auto source = Grey(8, 8, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) source->ScanLine(y)[x] = static_cast<uint8_t>(x * 30 + y * 3);
  std::vector<uint8_t> invert(4096);
  for (size_t i = 0; i < invert.size(); ++i) invert[i] = static_cast<uint8_t>(255 - std::lround(i * 255.0 / 4095.0));
  auto plain = Grey(20, 20, 0), mapped = Grey(20, 20, 0);
  ASSERT_TRUE(Resample(*source, *plain, TResampleFilter::Mitchell, 0, nullptr, {}));
  ASSERT_TRUE(Resample(*source, *mapped, TResampleFilter::Mitchell, 0, invert.data(), {}));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_NEAR(At(*mapped, x, y), 255 - At(*plain, x, y), 1) << x << "," << y;
}

TEST(Resample, ProgressCountsRowsAndCancels) {
  auto source = Grey(10, 6, 200);
  std::vector<float> fractions;
  auto target = Grey(5, 4, 9);
  ASSERT_TRUE(Resample(*source, *target, TResampleFilter::Triangle, 0, nullptr, [&](float f) {
    fractions.push_back(f);
    return true;
  }));
  ASSERT_EQ(fractions.size(), 6u + 4u);  // every source row, then every target row
  EXPECT_FLOAT_EQ(fractions.back(), 1.0f);
  for (size_t i = 1; i < fractions.size(); ++i) EXPECT_GT(fractions[i], fractions[i - 1]);

  int calls = 0;
  auto stopped = Grey(5, 4, 9);
  EXPECT_FALSE(Resample(*source, *stopped, TResampleFilter::Triangle, 0, nullptr, [&](float) { return ++calls < 8; }));
  EXPECT_EQ(calls, 8);
  // Stopped after the second target row: the rows below were never written.
  EXPECT_EQ(At(*stopped, 0, 1), 200);
  EXPECT_EQ(At(*stopped, 0, 2), 9);
  EXPECT_EQ(At(*stopped, 4, 3), 9);
}

// The support only sets how far the window reaches; the weights stay the
// filter's. Lanczos cut to one pixel loses its side lobes.
TEST(Resample, ExplicitSupportSetsTheWindow) {
  auto source = Grey(9, 1, 0);
  for (int x = 0; x < 9; ++x) source->ScanLine(0)[x] = x < 4 ? 0 : 255;
  auto triangle = Grey(18, 1, 0), triangleWide = Grey(18, 1, 0);
  ASSERT_TRUE(Resample(*source, *triangle, TResampleFilter::Triangle, 0, nullptr, {}));
  ASSERT_TRUE(Resample(*source, *triangleWide, TResampleFilter::Triangle, 3.0, nullptr, {}));
  for (int x = 0; x < 18; ++x) EXPECT_EQ(At(*triangleWide, x, 0), At(*triangle, x, 0));
  auto lanczos = Grey(18, 1, 0), lanczosCut = Grey(18, 1, 0);
  ASSERT_TRUE(Resample(*source, *lanczos, TResampleFilter::Lanczos3, 0, nullptr, {}));
  ASSERT_TRUE(Resample(*source, *lanczosCut, TResampleFilter::Lanczos3, 1.0, nullptr, {}));
  // Full Lanczos overshoots below 0 just before the step (limited to 0) and
  // above 255 just after it; cut to one pixel it is a plain ramp there.
  int differences = 0;
  for (int x = 0; x < 18; ++x) differences += At(*lanczos, x, 0) != At(*lanczosCut, x, 0);
  EXPECT_GT(differences, 0);
  for (int x = 1; x < 18; ++x) EXPECT_GE(At(*lanczosCut, x, 0), At(*lanczosCut, x - 1, 0));
}

TEST(Resample, RejectsBitmapsThatAreNotEightBit) {
  AssertionCapture capture;
  auto colour = CreateBitmap(4, 4, FormatA8R8G8B8());
  auto grey = Grey(4, 4, 0);
  EXPECT_THROW(Resample(*colour, *grey, TResampleFilter::Box, 0, nullptr, {}), EAssertionFailed);
  EXPECT_THROW(Resample(*grey, *colour, TResampleFilter::Box, 0, nullptr, {}), EAssertionFailed);
  EXPECT_EQ(capture.reports.size(), 2u);
}

}  // namespace
}  // namespace zel
