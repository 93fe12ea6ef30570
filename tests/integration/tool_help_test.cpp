#include <gtest/gtest.h>

#include "integration/run_program.h"

namespace zel {
namespace {

using testing_support::RunProgram;

TEST(ZelTool, HelpListsTheSubcommands) {
  for (const char* call : {"", " help", " --help"}) {
    const auto result = RunProgram(std::string(ZELTOOL_PATH) + call);
    EXPECT_EQ(result.exitCode, 0) << call;
    EXPECT_NE(result.output.find("usage: zeltool SUBCOMMAND"), std::string::npos) << call;
    EXPECT_NE(result.output.find("  help [SUBCOMMAND]"), std::string::npos) << call;
  }
}

TEST(ZelTool, UnknownSubcommandsFailWithOneLine) {
  const auto result = RunProgram(std::string(ZELTOOL_PATH) + " frobnicate");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.output, "zeltool: unknown subcommand 'frobnicate' (zeltool help lists them)\n");
  const auto help = RunProgram(std::string(ZELTOOL_PATH) + " help frobnicate");
  EXPECT_EQ(help.exitCode, 1);
}

}  // namespace
}  // namespace zel
