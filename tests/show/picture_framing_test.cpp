// Picture framing: aspect, border and crop; the frame of a grid animation
// at a time and its rectangle in the gutter texture; the drawing level.
#include "show/picture_framing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectRect(const TFloatRect& rect, float left, float top, float right, float bottom) {
  EXPECT_FLOAT_EQ(rect.left, left);
  EXPECT_FLOAT_EQ(rect.top, top);
  EXPECT_FLOAT_EQ(rect.right, right);
  EXPECT_FLOAT_EQ(rect.bottom, bottom);
}

TBorderParams AspectOf(float ratio, float zoom, float shiftX, float shiftY) {
  TBorderParams params;
  params.aspectEnabled = true;
  params.aspect[0] = ratio;
  params.aspect[1] = zoom;
  params.aspect[2] = shiftX;
  params.aspect[3] = shiftY;
  return params;
}

TBorderParams CropOf(float left, float top, float right, float bottom, float pointLeft = -1, float pointRight = -1) {
  TBorderParams params;
  params.cropEnabled = true;
  params.cropRect[0] = left;
  params.cropRect[1] = top;
  params.cropRect[2] = right;
  params.cropRect[3] = bottom;
  params.cropPoint[0] = pointLeft;
  params.cropPoint[1] = pointRight;
  return params;
}

TImageAnimationParams GridOf(int32_t columns, int32_t rows, int32_t count, std::vector<int32_t> intervals = {},
                             int32_t repeatCount = 0) {
  TImageAnimationParams animation;
  animation.columns = columns;
  animation.rows = rows;
  animation.count = count;
  animation.intervals = std::move(intervals);
  animation.repeatCount = repeatCount;
  return animation;
}

const TImageAnimationParams kStill;

// --- Aspect framing ---------------------------------------------------------

TEST(PictureAspect, SquareRatioTakesTheCentredFullHeightSquare) {
  const TPictureFraming framing = FramePicture(1600, 1200, AspectOf(1, 100, 0, 0), kStill);
  ExpectRect(framing.source, 200, 0, 1400, 1200);
  EXPECT_EQ(framing.width, 1200);
  EXPECT_EQ(framing.height, 1200);
  EXPECT_EQ(framing.border, 0);
}

TEST(PictureAspect, RatioWiderThanThePictureKeepsTheFullWidth) {
  const TPictureFraming framing = FramePicture(1600, 1200, AspectOf(2, 100, 0, 0), kStill);
  ExpectRect(framing.source, 0, 200, 1600, 1000);
  EXPECT_EQ(framing.width, 1600);
  EXPECT_EQ(framing.height, 800);
}

TEST(PictureAspect, ZoomShrinksAboutTheCentre) {
  const TPictureFraming framing = FramePicture(1600, 1200, AspectOf(1, 50, 0, 0), kStill);
  ExpectRect(framing.source, 500, 300, 1100, 900);
  EXPECT_EQ(framing.width, 600);
  EXPECT_EQ(framing.height, 600);
}

TEST(PictureAspect, FullShiftsPutTheFrameAgainstThePictureEdges) {
  // 600 x 600 frame: 1000 spare pixels across, 600 down.
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 50, 100, -100), kStill).source, 1000, 0, 1600, 600);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 50, -100, 100), kStill).source, 0, 600, 600, 1200);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 50, 50, 0), kStill).source, 750, 300, 1350, 900);
}

TEST(PictureAspect, ValuesOutOfRangeFallBackToTheDefaults) {
  // Ratio 0 means the picture's own ratio; zoom outside 0.001..100 is 100;
  // shifts outside -100..100 are 0.
  ExpectRect(FramePicture(1600, 1200, AspectOf(0, 100, 0, 0), kStill).source, 0, 0, 1600, 1200);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 0, 0, 0), kStill).source, 200, 0, 1400, 1200);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 150, 0, 0), kStill).source, 200, 0, 1400, 1200);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, 50, 150, -101), kStill).source, 500, 300, 1100, 900);
}

TEST(PictureAspect, NaNValuesCountAsNotGiven) {
  ExpectRect(FramePicture(1600, 1200, AspectOf(kNaN, kNaN, kNaN, kNaN), kStill).source, 0, 0, 1600, 1200);
  ExpectRect(FramePicture(1600, 1200, AspectOf(1, kNaN, kNaN, 0), kStill).source, 200, 0, 1400, 1200);
}

TEST(PictureAspect, DisabledAspectIgnoresItsValues) {
  TBorderParams params = AspectOf(1, 50, 100, 100);
  params.aspectEnabled = false;
  const TPictureFraming framing = FramePicture(1600, 1200, params, kStill);
  ExpectRect(framing.source, 0, 0, 1600, 1200);
  EXPECT_EQ(framing.width, 1600);
}

// --- Border ------------------------------------------------------------------

TBorderParams BorderOf(float width) {
  TBorderParams params;
  params.borderEnabled = true;
  params.borderWidth = width;
  return params;
}

TEST(PictureBorder, BorderIsAPercentageOfTheHeightOnEverySide) {
  const TPictureFraming framing = FramePicture(400, 300, BorderOf(10), kStill);
  EXPECT_FLOAT_EQ(framing.border, 30);
  ExpectRect(framing.source, 0, 0, 400, 300);
  EXPECT_EQ(framing.width, 460);
  EXPECT_EQ(framing.height, 360);
}

TEST(PictureBorder, BorderIsMeasuredOnTheAspectFrameBeforeTheCrop) {
  TBorderParams params = AspectOf(1, 50, 0, 0);
  params.borderEnabled = true;
  params.borderWidth = 10;
  EXPECT_FLOAT_EQ(FramePicture(1600, 1200, params, kStill).border, 60);

  params = CropOf(0, 50, 0, 0);
  params.borderEnabled = true;
  params.borderWidth = 10;
  const TPictureFraming cropped = FramePicture(400, 300, params, kStill);
  EXPECT_FLOAT_EQ(cropped.border, 30);
  EXPECT_EQ(cropped.width, 460);
  EXPECT_EQ(cropped.height, 150 + 60);
}

TEST(PictureBorder, DisabledOrNonPositiveWidthsGiveNoBorder) {
  TBorderParams disabled = BorderOf(10);
  disabled.borderEnabled = false;
  for (const TBorderParams& params : {disabled, BorderOf(0), BorderOf(-5), BorderOf(kNaN)}) {
    const TPictureFraming framing = FramePicture(400, 300, params, kStill);
    EXPECT_EQ(framing.border, 0);
    EXPECT_EQ(framing.width, 400);
    EXPECT_EQ(framing.height, 300);
  }
}

TEST(PictureBorder, FractionalBorderRoundsTheObjectSize) {
  // 3 percent of 301 is 9.03 on each side: 400 + 18.06 and 301 + 18.06.
  const TPictureFraming framing = FramePicture(400, 301, BorderOf(3), kStill);
  EXPECT_NEAR(framing.border, 9.03f, 1e-4);
  EXPECT_EQ(framing.width, 418);
  EXPECT_EQ(framing.height, 319);
}

// --- Crop --------------------------------------------------------------------

TEST(PictureCrop, FourNumberCropMeasuresSideInsetsInHeight) {
  const TPictureFraming framing = FramePicture(400, 300, CropOf(10, 0, 10, 0), kStill);
  ExpectRect(framing.source, 30, 0, 370, 300);
  EXPECT_EQ(framing.width, 340);
  EXPECT_EQ(framing.height, 300);
}

TEST(PictureCrop, SixNumberCropMeasuresSideInsetsInWidth) {
  const TPictureFraming framing = FramePicture(400, 300, CropOf(0, 0, 0, 0, 10, 10), kStill);
  ExpectRect(framing.source, 40, 0, 360, 300);
  EXPECT_EQ(framing.width, 320);
}

TEST(PictureCrop, SideInsetsFromTheSixNumberCropReplaceTheFourNumberOnes) {
  ExpectRect(FramePicture(400, 300, CropOf(10, 0, 10, 0, 5, 0), kStill).source, 20, 0, 400, 300);
  // One negative point means the six-number crop was not given.
  ExpectRect(FramePicture(400, 300, CropOf(5, 0, 0, 0, 10, -1), kStill).source, 15, 0, 400, 300);
  ExpectRect(FramePicture(400, 300, CropOf(5, 0, 0, 0, kNaN, 10), kStill).source, 15, 0, 400, 300);
}

TEST(PictureCrop, TopAndBottomInsetsAreInHeight) {
  ExpectRect(FramePicture(400, 300, CropOf(0, 10, 0, 20), kStill).source, 0, 30, 400, 240);
}

TEST(PictureCrop, CropAppliesToTheAspectFrame) {
  TBorderParams params = CropOf(0, 10, 0, 0, 25, 25);
  params.aspectEnabled = true;
  params.aspect[0] = 1;
  params.aspect[1] = 100;
  // The 1200 x 1200 square at x = 200 loses 300 on each side and 120 on top.
  ExpectRect(FramePicture(1600, 1200, params, kStill).source, 500, 120, 1100, 1200);
}

TEST(PictureCrop, CropThatLeavesNothingShowsTheWholePicture) {
  for (const TBorderParams& params : {CropOf(0, 60, 0, 60), CropOf(0, 0, 0, 0, 70, 30), CropOf(0, 100, 0, 0)}) {
    const TPictureFraming framing = FramePicture(400, 300, params, kStill);
    ExpectRect(framing.source, 0, 0, 400, 300);
    EXPECT_EQ(framing.width, 400);
    EXPECT_EQ(framing.height, 300);
  }
}

TEST(PictureCrop, NegativeInsetsStayInsideThePicture) {
  ExpectRect(FramePicture(400, 300, CropOf(-10, -10, 10, -10), kStill).source, 0, 0, 370, 300);
}

// --- Animated and degenerate pictures ---------------------------------------

TEST(PictureGrid, AnimatedPictureIsOneCellWithoutFraming) {
  TBorderParams params = CropOf(10, 10, 10, 10);
  params.aspectEnabled = true;
  params.aspect[0] = 1;
  params.borderEnabled = true;
  params.borderWidth = 10;
  const TPictureFraming framing = FramePicture(800, 300, params, GridOf(4, 2, 8));
  ExpectRect(framing.source, 0, 0, 200, 150);
  EXPECT_EQ(framing.border, 0);
  EXPECT_EQ(framing.width, 200);
  EXPECT_EQ(framing.height, 150);
}

TEST(PictureGrid, FractionalCellSizesRoundTheObjectSize) {
  const TPictureFraming framing = FramePicture(1000, 301, TBorderParams{},
                                               GridOf(3, 2, 6));
  EXPECT_FLOAT_EQ(framing.source.right, 1000.0f / 3);
  EXPECT_FLOAT_EQ(framing.source.bottom, 150.5f);
  EXPECT_EQ(framing.width, 333);
  EXPECT_EQ(framing.height, 151);
}

TEST(PictureGrid, NonPositiveColumnsAndRowsCountAsOne) {
  const TPictureFraming still = FramePicture(400, 300, BorderOf(10), GridOf(0, -2, 4));
  EXPECT_EQ(still.width, 460);  // framed as a still picture, border included
  const TPictureFraming column = FramePicture(400, 300, {}, GridOf(-1, 3, 3));
  EXPECT_EQ(column.width, 400);
  EXPECT_EQ(column.height, 100);
}

TEST(PictureGrid, EmptyPictureGivesAnEmptyObjectWithoutNaN) {
  TBorderParams params = CropOf(10, 10, 10, 10, 5, 5);
  params.aspectEnabled = true;
  params.aspect[0] = 2;
  params.borderEnabled = true;
  params.borderWidth = 10;
  for (const auto& [w, h] : {std::pair{0, 0}, std::pair{400, 0}, std::pair{0, 300}, std::pair{-5, -5}}) {
    const TPictureFraming framing = FramePicture(w, h, params, kStill);
    EXPECT_FALSE(std::isnan(framing.source.left) || std::isnan(framing.source.right));
    EXPECT_FALSE(std::isnan(framing.source.top) || std::isnan(framing.source.bottom));
    EXPECT_EQ(framing.border, 0);
    EXPECT_EQ(framing.width, std::max(w, 0));
    EXPECT_EQ(framing.height, std::max(h, 0));
  }
  EXPECT_EQ(FramePicture(0, 0, params, GridOf(4, 2, 8)).width, 0);
}

// --- The current frame -------------------------------------------------------

// Eight frames of 100, 200, 200, ... ms: a 1,500 ms pass.
TImageAnimationParams EightFrames(int32_t repeatCount) { return GridOf(4, 2, 8, {100, 200}, repeatCount); }

TEST(AnimationFrame, FrameIsTheFirstWhoseEndIsReached) {
  const TImageAnimationParams animation = EightFrames(0);
  const std::pair<double, int32_t> expected[] = {{0, 0},    {50, 0},   {100, 0},  {100.5, 1}, {300, 1},
                                                 {301, 2},  {500, 2},  {501, 3},  {700, 3},   {900, 4},
                                                 {1100, 5}, {1101, 6}, {1300, 6}, {1499, 7},  {1500, 7}};
  for (const auto& [elapsed, frame] : expected) EXPECT_EQ(AnimationFrameAt(animation, elapsed), frame) << elapsed;
}

TEST(AnimationFrame, EndlessAnimationStartsAgainAfterEachPass) {
  const TImageAnimationParams animation = EightFrames(0);
  EXPECT_EQ(AnimationFrameAt(animation, 1500.5), 0);
  EXPECT_EQ(AnimationFrameAt(animation, 1600), 0);
  EXPECT_EQ(AnimationFrameAt(animation, 1601), 1);
  EXPECT_EQ(AnimationFrameAt(animation, 3000), 7);
  EXPECT_EQ(AnimationFrameAt(animation, 3001), 0);
  // Far into the show the pass is found by division: 10^12 passes + 150 ms.
  EXPECT_EQ(AnimationFrameAt(animation, 1.5e15 + 150), 1);
}

TEST(AnimationFrame, LastFrameStaysAfterTheRepeatedPasses) {
  const TImageAnimationParams once = EightFrames(1);
  EXPECT_EQ(AnimationFrameAt(once, 1500), 7);
  EXPECT_EQ(AnimationFrameAt(once, 1501), 7);
  EXPECT_EQ(AnimationFrameAt(once, 1e12), 7);
  const TImageAnimationParams twice = EightFrames(2);
  EXPECT_EQ(AnimationFrameAt(twice, 1501), 0);
  EXPECT_EQ(AnimationFrameAt(twice, 2801), 7);
  EXPECT_EQ(AnimationFrameAt(twice, 3001), 7);
  EXPECT_EQ(AnimationFrameAt(twice, 4600), 7);
}

TEST(AnimationFrame, NegativeOrNaNTimesShowTheFirstFrame) {
  EXPECT_EQ(AnimationFrameAt(EightFrames(0), -500), 0);
  EXPECT_EQ(AnimationFrameAt(EightFrames(1), -1e9), 0);
  EXPECT_EQ(AnimationFrameAt(EightFrames(0), std::nan("")), 0);
}

TEST(AnimationFrame, FrameCountIsLimitedByTheGrid) {
  // Three frames: a 500 ms pass.
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 3, {100, 200}), 450), 2);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 3, {100, 200}), 501), 0);
  // More frames than cells: eight frames, as in a full grid.
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 20, {100, 200}), 1501), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 20, {100, 200}, 1), 5000), 7);
  // Intervals beyond the last frame play no part: a 300 ms pass.
  EXPECT_EQ(AnimationFrameAt(GridOf(2, 1, 2, {100, 200, 5000}), 301), 0);
}

TEST(AnimationFrame, StillGridsAndMissingIntervalsShowFrameZero) {
  EXPECT_EQ(AnimationFrameAt(GridOf(1, 1, 1, {100}), 150), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 8, {}), 150), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 0, {100}), 150), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, -3, {100}), 150), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(0, -1, 8, {100}), 150), 0);
}

TEST(AnimationFrame, ZeroAndNegativeIntervalsAreSkipped) {
  // Frame 1 takes no time: 100 ms of frame 0, then frame 2.
  const TImageAnimationParams skipping = GridOf(3, 1, 3, {100, 0, 50});
  EXPECT_EQ(AnimationFrameAt(skipping, 100), 0);
  EXPECT_EQ(AnimationFrameAt(skipping, 101), 2);
  EXPECT_EQ(AnimationFrameAt(skipping, 151), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(2, 1, 2, {-50, 100}), 50), 1);
}

TEST(AnimationFrame, PassesWithoutDurationDoNotHang) {
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 8, {0}), 500), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 8, {0}, 3), 0), 0);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 8, {0}, 3), 500), 7);
  EXPECT_EQ(AnimationFrameAt(GridOf(4, 2, 8, {-10, -20}, 1), 1e9), 7);
}

TEST(AnimationFrame, LongTailOfRepeatedIntervalsIsFoundByDivision) {
  // Two billion 10 ms frames: frame i ends at 10 (i + 1).
  const TImageAnimationParams huge = GridOf(100000, 100000, 2000000000, {10});
  EXPECT_EQ(AnimationFrameAt(huge, 1e10 + 5), 1000000000);
  EXPECT_EQ(AnimationFrameAt(huge, 1e10), 999999999);
  EXPECT_EQ(AnimationFrameAt(huge, 2e10 + 1), 0);
}

// --- Frame rectangles in the gutter texture ---------------------------------

TEST(AnimationFrameRect, CellsSitInsideTheirOnePixelGutters) {
  const TImageAnimationParams animation = GridOf(4, 2, 8);
  ExpectRect(AnimationFrameRect(800, 300, animation, 0), 1, 1, 201, 151);
  ExpectRect(AnimationFrameRect(800, 300, animation, 5), 203, 153, 403, 303);
  ExpectRect(AnimationFrameRect(800, 300, animation, 7), 607, 153, 807, 303);
}

TEST(AnimationFrameRect, FractionalCellsKeepTheirFractions) {
  const TFloatRect rect = AnimationFrameRect(1000, 300, GridOf(3, 1, 3), 2);
  EXPECT_FLOAT_EQ(rect.left, 2000.0f / 3 + 5);
  EXPECT_FLOAT_EQ(rect.right, 1000.0f + 5);
  EXPECT_FLOAT_EQ(rect.top, 1);
  EXPECT_FLOAT_EQ(rect.bottom, 301);
}

TEST(AnimationFrameRect, FrameIndexIsClampedToThePlayedFrames) {
  const TImageAnimationParams animation = GridOf(4, 2, 8);
  EXPECT_EQ(AnimationFrameRect(800, 300, animation, -5), AnimationFrameRect(800, 300, animation, 0));
  EXPECT_EQ(AnimationFrameRect(800, 300, animation, 100), AnimationFrameRect(800, 300, animation, 7));
  // Only three frames play: frame 10 is frame 2.
  ExpectRect(AnimationFrameRect(800, 300, GridOf(4, 2, 3), 10), 405, 1, 605, 151);
}

TEST(AnimationFrameRect, NonPositiveGridCountsAsOneCell) {
  ExpectRect(AnimationFrameRect(800, 300, GridOf(0, -1, 4), 3), 1, 1, 801, 301);
  ExpectRect(AnimationFrameRect(0, 0, GridOf(4, 2, 8), 3), 7, 1, 7, 1);
}

// --- Drawing level -----------------------------------------------------------

TEST(PictureLevel, HalvesWhileStillLargerThanAThirdMoreThanDrawn) {
  // Wanted 1000 x 750: 2000 x 1500 is still larger, 1000 x 750 is not.
  EXPECT_EQ(PictureLevelFor(4000, 3000, 750, 562.5f), 1);
  // Wanted 1001 x 751: 2000 x 1500 is the last larger size.
  EXPECT_EQ(PictureLevelFor(4000, 3000, 751, 563), 1);
  // Wanted 500 x 375: 1000 x 750 is still larger.
  EXPECT_EQ(PictureLevelFor(4000, 3000, 375, 281.25f), 2);
}

TEST(PictureLevel, BothDirectionsMustStayLarger) {
  // The height reaches the wanted 500 at once.
  EXPECT_EQ(PictureLevelFor(4000, 500, 750, 375), 0);
  EXPECT_EQ(PictureLevelFor(4000, 1001, 750, 375), 1);
}

TEST(PictureLevel, FactorIsTheFloatJustUnderFourThirds) {
  // 4/3 x 1.125 is 1.5, which would round to 2; the float factor gives
  // 1.49996 and a wanted size of 1, so the 4 x 4 picture halves once.
  EXPECT_EQ(PictureLevelFor(4, 4, 1.125f, 1.125f), 1);
}

TEST(PictureLevel, TinyDrawnSizeHalvesDownToOnePixel) {
  // 4000 x 3000 reaches 1 x 1 after twelve halvings rounding up; the
  // level is the last halving that was still larger than 1 x 1.
  EXPECT_EQ(PictureLevelFor(4000, 3000, 1, 1), 11);
  EXPECT_EQ(PictureLevelFor(4000, 3000, 0.01f, 0.01f), 11);
}

TEST(PictureLevel, LargeOrInvalidDrawnSizesGiveLevelZero) {
  EXPECT_EQ(PictureLevelFor(4000, 3000, 5000, 4000), 0);
  EXPECT_EQ(PictureLevelFor(4000, 3000, 3000, 2250), 0);
  EXPECT_EQ(PictureLevelFor(4000, 3000, 0, 100), 0);
  EXPECT_EQ(PictureLevelFor(4000, 3000, 100, -1), 0);
  EXPECT_EQ(PictureLevelFor(4000, 3000, kNaN, 100), 0);
  EXPECT_EQ(PictureLevelFor(4000, 3000, std::numeric_limits<float>::infinity(), 100), 0);
  EXPECT_EQ(PictureLevelFor(0, 0, 1, 1), 0);
}

}  // namespace
}  // namespace zel
