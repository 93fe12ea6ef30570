// zeltool draw-image, run as the program: a picture through the object
// drawer into a PNG, and its refusals of bad input.
#include <gtest/gtest.h>

#include <filesystem>
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

class DrawImageTool : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest runs these tests side by side: each needs files of its own.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fIn = std::filesystem::temp_directory_path() / ("zel_draw_image_in_" + name + ".png");
    fOut = std::filesystem::temp_directory_path() / ("zel_draw_image_out_" + name + ".png");
    // 300 x 200: red on the left half, blue on the right.
    TDirectBitmap picture(300, 200, FormatA8R8G8B8());
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) {
        reinterpret_cast<uint32_t*>(picture.ScanLine(y))[x] = x < 150 ? 0xFFFF0000 : 0xFF0000FF;
      }
    }
    auto stream = TFileStream::CreateWrite(fIn.string());
    SavePng(picture, *stream);
  }
  void TearDown() override {
    std::filesystem::remove(fIn);
    std::filesystem::remove(fOut);
  }
  testing_support::TRunResult Draw(const std::string& options) {
    return RunProgram(Tool() + " draw-image " + fIn.string() + " " + fOut.string() + " " + options);
  }
  std::unique_ptr<TImage> Output() { return LoadImageFile(fOut.string()); }

  std::filesystem::path fIn, fOut;
};

TEST_F(DrawImageTool, DrawsThePictureCentredOnItsBackground) {
  const auto result = Draw("--frame 400x300 --background 0,128,0");
  if (result.exitCode != 0 && result.output.find("device") != std::string::npos) ZEL_NO_GL_HERE();
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "level 0 tiles 2\n");
  auto image = Output();
  ASSERT_NE(image, nullptr);
  const TBitmap* frame = image->GetMipLevel(0);
  ASSERT_EQ(frame->Width(), 400);
  EXPECT_EQ(frame->PixelColor(10, 10) & 0xFFFFFF, 0x008000u);
  EXPECT_EQ(frame->PixelColor(60, 60) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(frame->PixelColor(339, 249) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(frame->PixelColor(340, 250) & 0xFFFFFF, 0x008000u);
}

TEST_F(DrawImageTool, PlacementScaleLevelAndOpacity) {
  const auto result = Draw("--frame 200x140 --at 10,20 --scale 0.5 --level 1 --opacity 50");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "level 1 tiles 1\n");
  auto image = Output();
  ASSERT_NE(image, nullptr);
  const TBitmap* frame = image->GetMipLevel(0);
  // 150 x 100 from (10, 20); half opacity over black.
  EXPECT_NEAR(static_cast<int>(RedOf(frame->PixelColor(40, 60))), 127, 1);
  EXPECT_EQ(frame->PixelColor(9, 60) & 0xFFFFFF, 0u);
  EXPECT_NEAR(static_cast<int>(BlueOf(frame->PixelColor(150, 110))), 127, 1);
  EXPECT_EQ(frame->PixelColor(161, 60) & 0xFFFFFF, 0u);
}

TEST_F(DrawImageTool, BlurSoftensTheInnerEdge) {
  const auto result = Draw("--blur 20");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  auto image = Output();
  ASSERT_NE(image, nullptr);
  // Red meets blue at x = 150: both mix there.
  const TColor edge = image->GetMipLevel(0)->PixelColor(150, 100);
  EXPECT_GT(RedOf(edge), 40u);
  EXPECT_GT(BlueOf(edge), 40u);
}

TEST_F(DrawImageTool, BadInputIsRefusedWithAReason) {
  const struct {
    const char* options;
    const char* reason;
  } cases[] = {
      {"--opacity 150", "opacity must be 0 to 100"},
      {"--opacity nan", "opacity must be 0 to 100"},
      {"--frame 0x100", "frame must be WxH"},
      {"--scale -1", "scale must be above 0"},
      {"--scale inf", "scale must be above 0"},
      {"--tint 1,2", "--tint must be R,G,B"},
      {"--level", "--level needs a value"},
      {"--what 1", "unknown option --what"},
  };
  for (const auto& c : cases) {
    const auto result = Draw(c.options);
    EXPECT_EQ(result.exitCode, 1) << c.options;
    EXPECT_NE(result.output.find(c.reason), std::string::npos) << c.options << ": " << result.output;
  }
  const auto missing = RunProgram(Tool() + " draw-image /nonexistent/picture.png " + fOut.string());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.output.find("cannot read a picture"), std::string::npos);
}

}  // namespace
}  // namespace zel
