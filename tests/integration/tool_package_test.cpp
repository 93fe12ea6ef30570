// Packing a small show with zeltool, in both forms, and reading it back
// through the tool and the player.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class PackedShow : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("zel_pack_" + std::to_string(getpid()));
    show = root / "show";
    fs::create_directories(show / "Pictures" / "Summer");
    WriteText(show / "Holiday.zel",
              "[Main]\r\nZelVersion=8.2\r\n[Slide1]\r\nImage=Pictures\\Summer\\beach.jpg\r\nMusic=" +
                  (root / "outside.mp3").string() + "\r\n[FileMap]\r\nalias.txt=notes.txt\r\n");
    std::string picture;
    for (int i = 0; i < 30000; ++i) picture += static_cast<char>((i * 7919) % 251);
    WriteText(show / "Pictures" / "Summer" / "beach.jpg", picture);
    WriteText(show / "notes.txt", std::string(5000, 'n') + "end");
    WriteText(show / "Pictures" / "[1] title.txt", "bracketed");
    WriteText(root / "outside.mp3", "music outside the folder");
  }
  void TearDown() override { fs::remove_all(root); }

  std::string Tool(const std::string& arguments) { return std::string(ZELTOOL_PATH) + " " + arguments; }
  std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

  fs::path root, show;
};

TEST_F(PackedShow, BothFormsListCheckAndReadBackByteExact) {
  const fs::path plain = root / "Holiday.ZlShow";
  const fs::path appended = root / "Holiday";
  auto r = RunProgram(Tool("pack --out " + Quoted(plain) + " " + Quoted(show / "Holiday.zel")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("packed 5 entries"), std::string::npos) << r.output;
  r = RunProgram(Tool("pack --out " + Quoted(appended) + " --exe " + ZELPLAYER_PATH + " --method 2 --allow-modify " +
                      Quoted(show / "Holiday.zel")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE((fs::status(appended).permissions() & fs::perms::owner_exec) != fs::perms::none);

  for (const fs::path& file : {plain, appended}) {
    r = RunProgram(Tool("check " + Quoted(file)));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "ready 8.2\n");

    r = RunProgram(Tool("list " + Quoted(file)));
    ASSERT_EQ(r.exitCode, 0);
    std::istringstream lines(r.output);
    std::string line;
    std::vector<std::string> names;
    while (std::getline(lines, line)) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, std::regex("(.+) ([0-9]+) ([0-9]+) ([0-2])"))) << line;
      names.push_back(m[1]);
      if (m[1] == "Pictures\\Summer\\beach.jpg") {
        EXPECT_EQ(m[4], "0");  // stored: it would not shrink
      }
    }
    EXPECT_EQ(names.front(), "Project.zel");
    EXPECT_NE(std::find(names.begin(), names.end(), "Pictures\\<1> title.txt"), names.end());

    const std::pair<const char*, fs::path> entries[] = {
        {"Project.zel", show / "Holiday.zel"},
        {"pictures\\summer\\BEACH.jpg", show / "Pictures" / "Summer" / "beach.jpg"},
        {"notes.txt", show / "notes.txt"},
        {"alias.txt", show / "notes.txt"},  // through the project's FileMap
        {"Pictures\\[1] title.txt", show / "Pictures" / "[1] title.txt"},
    };
    for (const auto& [entry, source] : entries) {
      r = RunProgram(Tool("cat " + Quoted(file) + " '" + entry + "'"));
      EXPECT_EQ(r.exitCode, 0) << entry;
      EXPECT_EQ(r.output, ReadText(source)) << entry;
    }
    r = RunProgram(Tool("cat " + Quoted(file) + " '" + (root / "outside.mp3").string() + "'"));
    EXPECT_EQ(r.output, "music outside the folder");
    r = RunProgram(Tool("cat " + Quoted(file) + " missing.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "zeltool cat: no such entry: missing.png\n");
  }

  // The player with the show appended finds it in its own file.
  r = RunProgram("SDL_VIDEODRIVER=offscreen " + Quoted(appended) + " --check");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "ready 8.2\n");
  r = RunProgram(std::string("SDL_VIDEODRIVER=offscreen ") + ZELPLAYER_PATH + " --check -exename " + Quoted(plain));
  EXPECT_EQ(r.output, "ready 8.2\n");
  r = RunProgram(std::string("SDL_VIDEODRIVER=offscreen ") + ZELPLAYER_PATH + " --check -filename " +
                 Quoted(show / "Holiday.zel"));
  EXPECT_EQ(r.output, "ready 8.2\n");
}

TEST_F(PackedShow, AModifiedPackageIsRefusedUnlessAllowed) {
  const fs::path strict = root / "strict";
  const fs::path lenient = root / "lenient";
  ASSERT_EQ(RunProgram(Tool("pack --out " + Quoted(strict) + " --exe " + ZELPLAYER_PATH + " " +
                            Quoted(show / "Holiday.zel"))).exitCode, 0);
  ASSERT_EQ(RunProgram(Tool("pack --out " + Quoted(lenient) + " --exe " + ZELPLAYER_PATH + " --allow-modify " +
                            Quoted(show / "Holiday.zel"))).exitCode, 0);
  for (const fs::path& file : {strict, lenient}) {
    const std::string bytes = ReadText(file);
    WriteText(file, std::string(4096, '\0') + bytes);  // something inserted in front
  }
  auto r = RunProgram(Tool("check " + Quoted(strict)));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "zeltool check: Slide-show File Modified\n");
  r = RunProgram(Tool("check " + Quoted(lenient)));
  EXPECT_EQ(r.output, "ready 8.2\n");
  r = RunProgram(Tool("cat " + Quoted(lenient) + " notes.txt"));
  EXPECT_EQ(r.output, ReadText(show / "notes.txt"));
}

TEST_F(PackedShow, BadCallsAndFilesFailClearly) {
  EXPECT_EQ(RunProgram(Tool("pack " + Quoted(show / "Holiday.zel"))).exitCode, 2);
  EXPECT_EQ(RunProgram(Tool("pack --out x --method 5 " + Quoted(show / "Holiday.zel"))).exitCode, 2);
  auto r = RunProgram(Tool("pack --out " + Quoted(root / "x") + " " + Quoted(root / "missing.zel")));
  EXPECT_EQ(r.exitCode, 1);
  r = RunProgram(Tool("check " + Quoted(show / "notes.txt")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "zeltool check: not a show package\n");
  r = RunProgram(Tool("list " + Quoted(root / "nothing")));
  EXPECT_EQ(r.output, "zeltool list: Slideshow File not Found\n");
}

}  // namespace
}  // namespace zel
