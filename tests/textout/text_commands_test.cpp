#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "imaging/image_loader.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using testing_support::RunProgram;

const std::string kFonts = " --font-file /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(TextCommands, RenderTextWritesThePictureAndItsLines) {
  char folder[] = "/tmp/zel_text_tool_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string out = std::string(folder) + "/text.png";
  const std::string name = "Text: Arial:0.25:0:0::0:0:0:0:255:255:\"<A>b^&cd\"";
  const auto result = RunProgram(std::string(ZELTOOL_PATH) + " render-text " + Quoted(name) + " " + out + kFonts);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  int width = 0, height = 0;
  ASSERT_EQ(std::sscanf(result.output.c_str(), "%d %d", &width, &height), 2) << result.output;
  // Two line rectangles follow the size.
  EXPECT_NE(result.output.find("\nline "), std::string::npos);
  EXPECT_NE(result.output.find("\nline ", result.output.find("\nline ") + 1), std::string::npos);
  const auto image = LoadImageFile(out);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Width(), width);
  EXPECT_EQ(image->Height(), height);
  std::remove(out.c_str());
  rmdir(folder);
}

TEST(TextCommands, RenderTextRefusesOtherNamesAndMissingArguments) {
  const auto other = RunProgram(std::string(ZELTOOL_PATH) + " render-text 'Button: x' /tmp/never.png");
  EXPECT_NE(other.exitCode, 0);
  EXPECT_NE(other.output.find("Text: "), std::string::npos);
  EXPECT_EQ(RunProgram(std::string(ZELTOOL_PATH) + " render-text 'Text: Arial'").exitCode, 2);
  EXPECT_NE(RunProgram(std::string(ZELTOOL_PATH) + " render-text x y --font-file /nonexistent.ttf").exitCode, 0);
}

TEST(TextCommands, FontsShowsTheStandInFamilies) {
  const auto result = RunProgram(std::string(ZELTOOL_PATH) + " fonts Arial 'No Such Font 99'" + kFonts);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("Arial\tLiberation Sans\t"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("No Such Font 99\t-\t-"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace zel
