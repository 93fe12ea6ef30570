// Texts, buttons, shadows and generated masks on a slide: zeltool text for
// what a text object works out, and render-slide for what is drawn, run as
// the program over a project with a button theme beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

void SaveSolidPng(const std::filesystem::path& path, int width, int height, uint32_t argb) {
  TDirectBitmap picture(width, height, FormatA8R8G8B8());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) reinterpret_cast<uint32_t*>(picture.ScanLine(y))[x] = argb;
  auto stream = TFileStream::CreateWrite(path.string());
  SavePng(picture, *stream);
}

// A theme "plain" whose pieces are all cut from one magenta picture 30 x 20,
// with a green caption and a minimum width of 300 %.
void WriteTheme(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  SaveSolidPng(folder / "face.png", 30, 20, 0xFFFF00FF);
  std::string state =
      "LeftTop=face.png,0,0,10,5\nTop=face.png,10,0,11,5\nRightTop=face.png,20,0,30,5\n"
      "Right=face.png,20,5,30,15\nRightBottom=face.png,20,15,30,20\nBottom=face.png,10,15,11,20\n"
      "LeftBottom=face.png,0,15,10,20\nLeft=face.png,0,5,10,15\nCenter=face.png,10,5,11,15\n";
  std::ofstream((folder / "btn.ini").string()) << "[NormalState]\n" << state << "[HoverState]\n" << state
                                               << "[ClickState]\n" << state
                                               << "[TextParams]\nColor=0,255,0\nBtnMinWidth=300\n";
}

class TextSlideTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fDir = std::filesystem::temp_directory_path() / ("zel_text_slide_" + name);
    std::filesystem::remove_all(fDir);
    WriteTheme(fDir / "Buttons" / "plain");
  }
  void TearDown() override { std::filesystem::remove_all(fDir); }

  void WriteProject(const std::string& objects, int slides = 1) {
    std::ofstream out((fDir / "Project.zel").string());
    out << "[Main]\nopt_slidescount=" << slides << "\nopt_scr_width=400\nopt_scr_height=300\nPathToButtons=Buttons\\\n";
    for (int i = 1; i <= slides; ++i) out << "opt_synchpos" << i << "=" << 5000 * i << "\n";
    for (int i = 1; i < slides; ++i) out << "[Slide" << i << "]\n";
    out << "[Slide" << slides << "]\n" << objects;
  }
  testing_support::TRunResult Render(int slide = 0) {
    const auto result = RunProgram(Tool() + " render-slide " + (fDir / "Project.zel").string() + " " +
                                   std::to_string(slide) + " " + (fDir / "out.png").string() + " --time " +
                                   std::to_string(5000 * slide + 100));
    fFrame = result.exitCode == 0 ? LoadImageFile((fDir / "out.png").string()) : nullptr;
    return result;
  }
  uint32_t Rgb(int x, int y) const { return fFrame->GetMipLevel(0)->PixelColor(x, y) & 0xFFFFFF; }
  // Pixels in the rectangle whose colour passes the test.
  template <typename Test>
  int Count(int left, int top, int right, int bottom, Test test) const {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += test(Rgb(x, y)) ? 1 : 0;
    return count;
  }

  std::filesystem::path fDir;
  std::unique_ptr<TImage> fFrame;
};

int Red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 255); }
int Green(uint32_t rgb) { return static_cast<int>((rgb >> 8) & 255); }
int Blue(uint32_t rgb) { return static_cast<int>(rgb & 255); }

TEST_F(TextSlideTool, TextReportsItsExpandedLinesSizeAndPictureName) {
  WriteProject("object T: Text\n  Text=\"Slide <%SlideIndex%> of <%SlidesCount%>^&<%MainImg.FileName%>\"\n"
               "  FontStyle=Bold\n  TextAlign=Left\n  LineSpacing=20\nend\n"
               "object P: Image\n  ImageName=Trip\\img_01.jpg\n  ImageIndex=1\nend\n",
               3);
  const auto result = RunProgram(Tool() + " text " + (fDir / "Project.zel").string() + " 2 T");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  std::istringstream lines(result.output);
  std::string first, second, params, size, name;
  std::getline(lines, first);
  std::getline(lines, second);
  std::getline(lines, params);
  std::getline(lines, size);
  std::getline(lines, name);
  EXPECT_EQ(first, "Slide 3 of 3");
  EXPECT_EQ(second, "img_01");
  EXPECT_EQ(params, "1 0 20");
  double w = 0, h = 0;
  ASSERT_EQ(std::sscanf(size.c_str(), "%lf %lf", &w, &h), 2) << size;
  EXPECT_GT(w, h);
  EXPECT_EQ(name.rfind("Text: Arial:", 0), 0u) << name;

  const auto missing = RunProgram(Tool() + " text " + (fDir / "Project.zel").string() + " 2 Nothing");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.output.find("no text object named 'Nothing'"), std::string::npos) << missing.output;
}

TEST_F(TextSlideTool, DrawsTextButtonShadowAndMask) {
  WriteProject(
      // White text, 45 pixels high, centred at (200, 60).
      "object T: Text\n  Text=Hello\n  ShadowEnable=0\n"
      "  object K: KeyPoint\n    Position=0,-60\n    ScaleY=15\n    ScaleX=15\n  end\nend\n"
      // A magenta 120 x 40 button centred on the slide with a green caption.
      "object B: Button\n  Theme=plain\n  FitMode=None\n"
      "  object K: KeyPoint\n    ScaleX=200\n    ScaleY=200\n  end\n"
      "  object C: Text\n    Text=Go\n    object K: KeyPoint\n      ScaleY=60\n      ScaleX=60\n    end\n  end\nend\n"
      // A red 60 x 40 box centred at (80, 240) with a blue shadow moved right.
      "object X: Box\n  Size=60,40\n  Color1=255,0,0\n  FitMode=None\n  ShadowEnable=1\n  ShadowColor=0,0,255\n"
      "  ShadowOpacity=100\n  ShadowDistance=30\n  ShadowAngle=0\n  ShadowSize=2\n"
      "  object K: KeyPoint\n    Position=-60,60\n  end\nend\n"
      // A yellow square seen through an elliptical mask, centred at (340, 240).
      "object V: ViewPort\n  Size=100,100\n  FitMode=None\n"
      "  object K: KeyPoint\n    Position=70,60\n  end\n"
      "  object M: Mask\n    ImageName=PresetedMask:100:100:1:0:0\n  end\n"
      "  object Y: Box\n    Size=100,100\n    Color1=255,255,0\n  end\nend\n");
  const auto result = Render();
  if (result.exitCode != 0 && result.output.find("device") != std::string::npos) ZEL_NO_GL_HERE();
  ASSERT_EQ(result.exitCode, 0) << result.output;
  ASSERT_NE(fFrame, nullptr);
  std::filesystem::copy_file(fDir / "out.png", "/tmp/text_slide_out.png",
                             std::filesystem::copy_options::overwrite_existing);

  const auto white = [](uint32_t c) { return Red(c) > 200 && Green(c) > 200 && Blue(c) > 200; };
  EXPECT_GT(Count(120, 35, 280, 85, white), 300);
  EXPECT_EQ(Count(0, 0, 400, 25, white), 0);

  const auto magenta = [](uint32_t c) { return Red(c) > 200 && Blue(c) > 200 && Green(c) < 60; };
  EXPECT_GT(Count(140, 130, 260, 170, magenta), 3000);
  EXPECT_EQ(Count(140, 100, 260, 125, magenta), 0);
  const auto green = [](uint32_t c) { return Green(c) > 150 && Red(c) < 120; };
  EXPECT_GT(Count(160, 135, 240, 165, green), 30);

  EXPECT_EQ(Rgb(80, 240), 0xFF0000u);
  EXPECT_GT(Blue(Rgb(118, 240)), 150);
  EXPECT_EQ(Rgb(40, 240), 0u);

  EXPECT_EQ(Rgb(340, 240), 0xFFFF00u);
  EXPECT_EQ(Rgb(294, 194), 0u);
  EXPECT_EQ(Rgb(386, 286), 0u);
}

}  // namespace
}  // namespace zel
