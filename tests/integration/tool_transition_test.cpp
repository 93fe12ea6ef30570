// zeltool transition: frames of the flat transitions between a red slide A
// and a blue slide B on a 200 x 100 view, probed where the geometry is
// known, and the catalogue's numbers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "imaging/image_lib_store.h"
#include "imaging/image_loader.h"
#include "run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;

class TransitionTool : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_transition_" + std::to_string(getpid()) + "_" + name);
    fs::create_directories(fRoot);
  }
  void TearDown() override { fs::remove_all(fRoot); }

  // Draws class C variant V at progress P (hard edges unless given) and
  // keeps the frame for Rgb.
  void Draw(int effectClass, int variant, double progress, const std::string& params = "") {
    const fs::path out = fRoot / "frame.png";
    const auto run = RunProgram("ASAN_OPTIONS=detect_leaks=0 " + std::string(ZELTOOL_PATH) + " transition --class " +
                                std::to_string(effectClass) + " --variant " + std::to_string(variant) +
                                " --progress " + std::to_string(progress) + " " + params + " '" + out.string() + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("ssert"), std::string::npos) << run.output;
    fImage = LoadImageFile(out.string());
    ASSERT_NE(fImage, nullptr);
  }
  uint32_t Rgb(int x, int y) const { return fImage->GetMipLevel(0)->PixelColor(x, y) & 0xFFFFFF; }
  // Red and blue of a pixel, for mixes.
  int Red(int x, int y) const { return static_cast<int>(Rgb(x, y) >> 16); }

  fs::path fRoot;
  std::unique_ptr<TImage> fImage;
};

TEST_F(TransitionTool, EndsShowOneSlideAndTheCrossFadeMixesBoth) {
  Draw(2, 1, 0);
  EXPECT_EQ(Rgb(100, 50), kRed);
  Draw(2, 1, 1);
  EXPECT_EQ(Rgb(100, 50), kBlue);
  Draw(2, 1, 0.5);
  EXPECT_NEAR(Red(100, 50), 127, 3);
}

TEST_F(TransitionTool, EdgeWipesMoveTheirFront) {
  Draw(9, 1, 0.25);  // from the left: the front at x = 50
  EXPECT_EQ(Rgb(45, 50), kBlue);
  EXPECT_EQ(Rgb(55, 50), kRed);
  Draw(9, 1, 0.5);
  EXPECT_EQ(Rgb(95, 50), kBlue);
  EXPECT_EQ(Rgb(105, 50), kRed);
  Draw(9, 2, 0.25);  // from the right
  EXPECT_EQ(Rgb(155, 50), kBlue);
  EXPECT_EQ(Rgb(145, 50), kRed);
  Draw(9, 4, 0.5);  // from the bottom
  EXPECT_EQ(Rgb(100, 55), kBlue);
  EXPECT_EQ(Rgb(100, 45), kRed);
}

TEST_F(TransitionTool, MasksGrowFromTheirCentreAndReversedOnesShrink) {
  Draw(4, 2, 0.3);  // the circle from the middle
  EXPECT_EQ(Rgb(100, 50), kBlue);
  EXPECT_EQ(Rgb(2, 2), kRed);
  Draw(4, 2, 0.3, "--param centerx=0 --param centery=100");  // from the bottom-left corner
  EXPECT_EQ(Rgb(3, 97), kBlue);
  EXPECT_EQ(Rgb(196, 3), kRed);
  Draw(5, 1, 0.5);  // the reversed diamond: the outgoing slide shrinks
  EXPECT_EQ(Rgb(100, 50), kRed);
  EXPECT_EQ(Rgb(2, 2), kBlue);
  Draw(6, 2, 0.5);  // the square
  EXPECT_EQ(Rgb(100, 50), kBlue);
  EXPECT_EQ(Rgb(2, 50), kRed);
}

TEST_F(TransitionTool, SlideInAndPushMoveTheSlides) {
  Draw(13, 2, 0.25);  // from the right: a quarter of B shows at the right
  EXPECT_EQ(Rgb(160, 50), kBlue);
  EXPECT_EQ(Rgb(140, 50), kRed);
  Draw(12, 1, 0.5);  // pushed from the left: B's half on the left, A moved right
  EXPECT_EQ(Rgb(50, 50), kBlue);
  EXPECT_EQ(Rgb(150, 50), kRed);
}

TEST_F(TransitionTool, VariantsAClassLacksAreCrossFades) {
  for (const auto& [effectClass, variant] : {std::pair{7, 5}, {9, 5}, {12, 7}, {13, 0}}) {
    Draw(effectClass, variant, 0.5);
    EXPECT_NEAR(Red(100, 50), 127, 3) << effectClass << " " << variant;
    EXPECT_NEAR(Red(5, 5), 127, 3) << effectClass << " " << variant;
  }
}

TEST_F(TransitionTool, TheMosaicSurvivesSillyCellCounts) {
  Draw(1, 1, 0.5, "--param mosaicdx=0 --param mosaicdy=-3");
  Draw(1, 1, 0.5, "--param mosaicdx=100000 --param mosaicdy=100000 --param mosaicsc=20");
  Draw(1, 1, 1, "--param mosaicdx=8 --param mosaicdy=4");
  EXPECT_EQ(Rgb(100, 50), kBlue);
}

TEST_F(TransitionTool, DescribePrintsTheScaledNumbers) {
  const auto run = RunProgram(std::string(ZELTOOL_PATH) +
                              " transition --describe --class 4 --variant 1 --frame 1280x720 --param smoothline=0.01"
                              " --param broomoffset=0.1");
  EXPECT_EQ(run.output, "class 4 variant 1 smooth 13 reverse 1 broom 100 roll 0\n");
}

}  // namespace
}  // namespace zel
