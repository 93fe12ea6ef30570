// The player as a program: its own switches, the log it chooses and the
// frame of a run.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A copy of the player in a folder of its own, so that its log file lands there.
class PlayerCopy : public testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("zel_player_" + std::to_string(getpid()));
    fs::create_directories(folder);
    player = folder / "Holiday.exe";
    fs::copy_file(ZELPLAYER_PATH, player, fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Run(const std::string& arguments, int* exitCode = nullptr) {
    const auto result = RunProgram("SDL_VIDEODRIVER=offscreen '" + player.string() + "' " + arguments);
    if (exitCode) *exitCode = result.exitCode;
    return result.output;
  }

  fs::path folder;
  fs::path player;
};

TEST_F(PlayerCopy, VersionAndHelp) {
  int code = -1;
  EXPECT_TRUE(std::regex_match(Run("--version", &code), std::regex("zelplayer [0-9]+\\.[0-9]+\\.[0-9]+\n")));
  EXPECT_EQ(code, 0);
  EXPECT_NE(Run("--help", &code).find("-filename FILE"), std::string::npos);
  EXPECT_EQ(code, 0);
}

TEST_F(PlayerCopy, WithoutALogSwitchNothingIsWritten) {
  int code = -1;
  const std::string output = Run("-filename show.zel", &code);
  EXPECT_EQ(code, 1);  // the project is missing: nothing can play
  EXPECT_NE(output.find("Slideshow Error: Can`t Load .zel File\n\"" + (folder / "show.zel").string() + "\""),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("Program : "), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "Holiday.log"));
}

TEST_F(PlayerCopy, FileLogHasTheFrameAndReplacesTheLastRun) {
  Run("-filelog -filename '..\\show.zel'");
  const fs::path log = folder / "Holiday.log";
  ASSERT_TRUE(fs::exists(log));
  const std::string first = ReadFile(log);
  EXPECT_EQ(first.substr(0, 3), "\xEF\xBB\xBF");
  const std::string rule = std::string(64, '=');
  EXPECT_NE(first.find("\r\n" + rule + "\r\nProgram : " + player.string() + "\r\nstarted : "), std::string::npos)
      << first;
  EXPECT_NE(first.find("Open show: " + folder.parent_path().string() + "/show.zel"), std::string::npos)
      << first;
  EXPECT_TRUE(std::regex_search(first, std::regex(std::string(64, '-') +
                                                  "\r\nProgram stoped : [0-9.: ]+ \\(work time : [0-9]+ ms\\)\r\n" +
                                                  std::string(64, '-') + "\r\n$")))
      << first;

  Run("-filelog");
  const std::string second = ReadFile(log);
  // The second run opened the player's own file: the first run's lines are gone.
  EXPECT_EQ(second.find("show.zel"), std::string::npos);
  EXPECT_NE(second.find("Open show: " + player.string()), std::string::npos);
  EXPECT_EQ(second.substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(PlayerCopy, TheStandardLogGoesToStderrWhenNoFileLogIsAsked) {
  const std::string output = Run("-log");
  EXPECT_NE(output.find("Program : " + player.string()), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "Holiday.log"));
  const std::string both = Run("-log -filelog");
  EXPECT_EQ(both.find("Program : "), std::string::npos);
  EXPECT_TRUE(fs::exists(folder / "Holiday.log"));
}

}  // namespace
}  // namespace zel
