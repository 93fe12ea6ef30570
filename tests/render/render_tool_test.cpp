// The tool's render subcommands, run as the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "gl_required.h"
#include "imaging/image_loader.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using testing_support::RunProgram;

// Headless GL; Mesa's driver keeps allocations past its unload, which a
// leak-checking build of the tool would report as its own at exit.
std::string Tool() { return "ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen " + std::string(ZELTOOL_PATH); }

bool NoGlHere(const std::string& output) {
  return output.find("cannot open a device window") != std::string::npos ||
         output.find("no OpenGL 3.3 device can be opened") != std::string::npos;
}

TEST(RenderTool, SelfTestWritesTheSceneItDrewAtTheAskedSize) {
  const auto out = std::filesystem::temp_directory_path() / "zel_gl_selftest_test.png";
  std::filesystem::remove(out);
  const auto result = RunProgram(Tool() + " gl-selftest " + out.string() + " --size 200x150");
  if (result.exitCode != 0 && NoGlHere(result.output)) ZEL_NO_GL_HERE();
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("renderer: "), std::string::npos);
  EXPECT_NE(result.output.find("version: "), std::string::npos);
  EXPECT_NE(result.output.find("size: 200x150"), std::string::npos);
  auto image = LoadImageFile(out.string());
  ASSERT_NE(image, nullptr);
  const TBitmap* bitmap = image->GetMipLevel(0);
  ASSERT_EQ(bitmap->Width(), 200);
  ASSERT_EQ(bitmap->Height(), 150);
  // The background, the luminance checker board and the first colour bar.
  EXPECT_EQ(bitmap->PixelColor(1, 1) & 0xFFFFFF, MakeColor(20, 30, 60) & 0xFFFFFF);
  EXPECT_EQ(bitmap->PixelColor(72, 9) & 0xFFFFFF, MakeColor(40, 40, 40) & 0xFFFFFF);
  EXPECT_EQ(bitmap->PixelColor(72, 18) & 0xFFFFFF, MakeColor(230, 230, 230) & 0xFFFFFF);
  EXPECT_EQ(bitmap->PixelColor(134, 30) & 0xFFFFFF, MakeColor(255, 0, 0) & 0xFFFFFF);
  // The render target without alpha: cleared to blue of alpha 0, it is
  // drawn back opaque over the background; its upper half got yellow at
  // half strength.
  EXPECT_EQ(bitmap->PixelColor(134, 135) & 0xFFFFFF, MakeColor(0, 0, 200) & 0xFFFFFF);
  const TColor mixed = bitmap->PixelColor(134, 100);
  EXPECT_NEAR(static_cast<int>(RedOf(mixed)), 128, 2);
  EXPECT_NEAR(static_cast<int>(GreenOf(mixed)), 128, 2);
  EXPECT_NEAR(static_cast<int>(BlueOf(mixed)), 100, 2);
  std::filesystem::remove(out);
}

TEST(RenderTool, SelfTestRefusesABadSize) {
  const auto result = RunProgram(Tool() + " gl-selftest /tmp/never.png --size 10xten");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("WxH"), std::string::npos);
  EXPECT_EQ(RunProgram(Tool() + " gl-selftest").exitCode, 2);
}

TEST(RenderTool, InfoPrintsTheAdapterAndEveryCapability) {
  const auto result = RunProgram(Tool() + " gl-info");
  if (result.exitCode != 0 && NoGlHere(result.output)) ZEL_NO_GL_HERE();
  ASSERT_EQ(result.exitCode, 0) << result.output;
  for (const char* line : {"adapter: ", "version: ", "maxtexwidth: ", "maxanisotropy: ", "raster: ",
                           "pixelshaderversion: 4294902528", "shaderlevel: 2"}) {
    EXPECT_NE(result.output.find(line), std::string::npos) << line << "\n" << result.output;
  }
}

}  // namespace
}  // namespace zel
