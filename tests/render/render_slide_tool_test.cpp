// zeltool render-slide, run as the program: slides of small projects drawn
// through the object drawer, checked at pixels whose place the geometry
// fixes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/streams.h"
#include "gl_required.h"
#include "imaging/image_lib_store.h"
#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using testing_support::RunProgram;

std::string Tool() { return "ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen " + std::string(ZELTOOL_PATH); }

// A 400 x 300 show of one slide, its objects given as project text, beside
// quad.png: 200 x 100, red on its left half and blue on its right.
class RenderSlideTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fDir = std::filesystem::temp_directory_path() / ("zel_render_slide_" + name);
    std::filesystem::remove_all(fDir);
    std::filesystem::create_directories(fDir);
    TDirectBitmap picture(200, 100, FormatA8R8G8B8());
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x)
        reinterpret_cast<uint32_t*>(picture.ScanLine(y))[x] = x < 100 ? 0xFFFF0000 : 0xFF0000FF;
    auto stream = TFileStream::CreateWrite((fDir / "quad.png").string());
    SavePng(picture, *stream);
  }
  void TearDown() override { std::filesystem::remove_all(fDir); }

  testing_support::TRunResult Render(const std::string& objects) {
    std::ofstream((fDir / "Project.zel").string())
        << "[Main]\nopt_slidescount=1\nopt_scr_width=400\nopt_scr_height=300\nopt_synchpos1=5000\n[Slide1]\n"
        << objects;
    const auto result = RunProgram(Tool() + " render-slide " + (fDir / "Project.zel").string() + " 0 " +
                                   (fDir / "out.png").string() + " --time 100");
    fFrame = result.exitCode == 0 ? LoadImageFile((fDir / "out.png").string()) : nullptr;
    return result;
  }
  // Fails the test (or skips it without GL) unless the slide was drawn.
  bool Rendered(const testing_support::TRunResult& result) {
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.exitCode == 0 && fFrame;
  }
  uint32_t Rgb(int x, int y) const { return fFrame->GetMipLevel(0)->PixelColor(x, y) & 0xFFFFFF; }

  std::filesystem::path fDir;
  std::unique_ptr<TImage> fFrame;
};

TEST_F(RenderSlideTool, ARedBoxAtItsPlaceAndSize) {
  // 100 x 50, its centre moved by a quarter of the slide's half size:
  // centred at (150, 112.5).
  const auto result = Render(
      "object Red: Box\n  Size=100,50\n  Color1=255,0,0\n  FitMode=None\n"
      "  object K: KeyPoint\n    Position=-25,-25\n  end\nend\n");
  if (result.exitCode != 0 && result.output.find("device") != std::string::npos) ZEL_NO_GL_HERE();
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(Rgb(100, 88), 0xFF0000u);
  EXPECT_EQ(Rgb(199, 137), 0xFF0000u);
  EXPECT_EQ(Rgb(99, 112), 0u);
  EXPECT_EQ(Rgb(200, 112), 0u);
  EXPECT_EQ(Rgb(150, 86), 0u);
  EXPECT_EQ(Rgb(150, 138), 0u);
}

TEST_F(RenderSlideTool, APictureFittedIntoTheSlideAndOneCoveringIt) {
  // Fitted: 400 x 200, from y = 50 to 250, red on the left half.
  auto result = Render("object P: Image\n  ImageName=quad.png\nend\n");
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(result.output, "quad.png 0 200 100\n");
  EXPECT_EQ(Rgb(10, 60), 0xFF0000u);
  EXPECT_EQ(Rgb(390, 240), 0x0000FFu);
  EXPECT_EQ(Rgb(200, 40), 0u);
  EXPECT_EQ(Rgb(200, 260), 0u);
  // Covering: 600 x 300 from x = -100, the colours meeting at x = 200.
  result = Render("object P: Image\n  ImageName=quad.png\n  FitMode=Cover\nend\n");
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(Rgb(198, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(202, 299), 0x0000FFu);
  EXPECT_EQ(Rgb(0, 150), 0xFF0000u);
  EXPECT_EQ(Rgb(399, 150), 0x0000FFu);
}

TEST_F(RenderSlideTool, AGradientBoxTakesItsColoursAtItsEdges) {
  // 200 x 100 in the middle, red on the left to blue on the right.
  const auto result = Render(
      "object G: Box\n  Size=200,100\n  FitMode=None\n  FillMode=HGradient\n  Color1=255,0,0\n"
      "  Color2=0,0,255\nend\n");
  ASSERT_TRUE(Rendered(result));
  const TColor left = fFrame->GetMipLevel(0)->PixelColor(100, 150);
  const TColor right = fFrame->GetMipLevel(0)->PixelColor(299, 150);
  const TColor middle = fFrame->GetMipLevel(0)->PixelColor(200, 150);
  EXPECT_GT(RedOf(left), 250u);
  EXPECT_LT(BlueOf(left), 5u);
  EXPECT_GT(BlueOf(right), 250u);
  EXPECT_LT(RedOf(right), 5u);
  EXPECT_NEAR(static_cast<int>(RedOf(middle)), 128, 4);
  // Top and bottom alike: the colour runs across.
  EXPECT_EQ(Rgb(150, 101), Rgb(150, 198));
}

TEST_F(RenderSlideTool, APictureTurnedNinetyDegrees) {
  // Fitted to 400 x 200, halved, turned: 100 wide and 200 tall about the
  // slide's centre, the picture's left (red) half at the top.
  const auto result = Render(
      "object P: Image\n  ImageName=quad.png\n"
      "  object K: KeyPoint\n    ScaleX=50\n    ScaleY=50\n    Angle=90\n  end\nend\n");
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(Rgb(155, 55), 0xFF0000u);
  EXPECT_EQ(Rgb(245, 145), 0xFF0000u);
  EXPECT_EQ(Rgb(155, 155), 0x0000FFu);
  EXPECT_EQ(Rgb(245, 245), 0x0000FFu);
  EXPECT_EQ(Rgb(145, 150), 0u);
  EXPECT_EQ(Rgb(255, 150), 0u);
  EXPECT_EQ(Rgb(200, 45), 0u);
}

TEST_F(RenderSlideTool, AChildIsPlacedInItsParentsFrame) {
  // The parent, 200 x 100, turned 90 degrees; the child sits half the
  // parent's half width along the parent's x axis, so it lands below the
  // centre.
  const auto result = Render(
      "object Parent: Box\n  Size=200,100\n  FitMode=None\n  Color1=0,0,255\n"
      "  object K: KeyPoint\n    Angle=90\n  end\n"
      "  object Child: Box\n    Size=20,20\n    FitMode=None\n    Color1=0,255,0\n"
      "    object K: KeyPoint\n      Position=50,0\n    end\n  end\nend\n");
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(Rgb(200, 200), 0x00FF00u);
  EXPECT_EQ(Rgb(191, 191), 0x00FF00u);
  EXPECT_EQ(Rgb(200, 215), 0x0000FFu);
  EXPECT_EQ(Rgb(250, 150), 0u);
  EXPECT_EQ(Rgb(200, 100), 0x0000FFu);
}

TEST_F(RenderSlideTool, AMissingPictureDrawsThePlaceholder) {
  const auto result = Render("object P: Image\n  ImageName=nowhere.png\nend\n");
  ASSERT_TRUE(Rendered(result));
  EXPECT_EQ(result.output.rfind("nowhere.png 0 ", 0), 0u) << result.output;
  // Something is drawn where the picture would be.
  int lit = 0;
  for (int x = 0; x < 400; x += 10) lit += Rgb(x, 150) != 0 ? 1 : 0;
  EXPECT_GT(lit, 10);
}

TEST_F(RenderSlideTool, BadArgumentsAreRefused) {
  const std::string project = (fDir / "Project.zel").string();
  std::ofstream(project) << "[Main]\nopt_slidescount=1\nopt_synchpos1=5000\n[Slide1]\n";
  auto result = RunProgram(Tool() + " render-slide " + project + " 0 --time 100");
  EXPECT_EQ(result.exitCode, 2);
  result = RunProgram(Tool() + " render-slide " + project + " -1 " + (fDir / "o.png").string() + " --time 0");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("no slide at position"), std::string::npos) << result.output;
  result = RunProgram(Tool() + " render-slide " + project + " 0 /nonexistent/dir/o.png --time 0");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot write"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace zel
