// The time table and the transition choices as zeltool prints them, for
// project files, show files and players with a show appended.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;
using testing_support::TRunResult;

// Slides ending at 5,000, 9,000 and 15,000 with 1,000 ms transitions.
std::string ExampleShow(const std::string& repeat, const std::string& slides = "[Slide1]\n[Slide2]\n[Slide3]\n") {
  return "[main]\nZelVersion=8.2\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=9000\nopt_synchpos3=15000\n"
         "opt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff2=1\nopt_repeat=" +
         repeat + "\n" + slides;
}

const char* const kExampleRepeat =
    "0 0 5000 1000 1000 6000 -\n"
    "1 5000 9000 1000 1000 10000 -\n"
    "2 9000 15000 1000 1000 16000 -\n"
    "TOTAL 15000\n";
const char* const kExampleStop =
    "0 0 5000 1000 1000 6000 -\n"
    "1 5000 9000 1000 1000 10000 -\n"
    "2 9000 15000 1000 0 15000 -\n"
    "TOTAL 15000\n";

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

class ShowTool : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("zel_show_tool_" + std::to_string(getpid()));
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path Project(const std::string& name, const std::string& text) {
    const fs::path path = root / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }
  static TRunResult Tool(const std::string& arguments, const std::string& seed = "77") {
    return RunProgram("ZEL_RANDOM_SEED=" + seed + " " + ZELTOOL_PATH + " " + arguments);
  }

  fs::path root;
};

TEST_F(ShowTool, TimetableOfTheExampleShow) {
  auto r = Tool("timetable " + Quoted(Project("repeat.zel", ExampleShow("repeat"))));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, kExampleRepeat);
  // Without repeat the last slide leads nowhere.
  r = Tool("timetable " + Quoted(Project("stop.zel", ExampleShow("stop"))));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, kExampleStop);
  // A project text saved with a byte-order mark and CR LF line ends.
  std::string text = ExampleShow("stop");
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) text.insert(at, "\r");
  r = Tool("timetable " + Quoted(Project("bom.zel", "\xEF\xBB\xBF" + text)));
  EXPECT_EQ(r.output, kExampleStop);
}

TEST_F(ShowTool, TimetableCutsTransitionsAndNamesSlides) {
  const fs::path project = Project(
      "cut.zel",
      "[main]\nopt_slidescount=3\nopt_synchpos1=4000\nopt_synchpos2=6000\nopt_synchpos3=2000000\n"
      "[Slide1]\npicture=C:\\Photos\\Trip\\img_01.jpg\n"
      "[Slide2]\nslideid=title\npicture=C:\\Photos\\other.jpg\n"
      "UsePersonal=1\nPers_Effect=1\nEffect_Class=3\nEffectTime=3000\n"
      "[Slide3]\npicture=D:\\My Pictures\\summer 100%.png\n");
  const auto r = Tool("timetable " + Quoted(project));
  EXPECT_EQ(r.exitCode, 0);
  // The 3,000 ms transition into the 2,000 ms slide is cut to its length;
  // the slide before keeps all of it as its outgoing one. Large times stay
  // in plain digits, and every id is one word.
  EXPECT_EQ(r.output,
            "0 0 4000 0 3000 7000 img_01\n"
            "1 4000 6000 2000 0 6000 title\n"
            "2 6000 2000000 0 0 2000000 summer%20100%25\n"
            "TOTAL 2000000\n");
}

TEST_F(ShowTool, BadProjectsAndCallsFail) {
  const fs::path backwards = Project(
      "backwards.zel", "[main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=4000\nopt_synchpos3=9000\n");
  for (const char* command : {"timetable", "effects"}) {
    auto r = Tool(std::string(command) + " " + Quoted(backwards));
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_EQ(r.output, "zeltool " + std::string(command) + ": Incorrect time\n");

    r = Tool(std::string(command) + " " + Quoted(root / "missing.zel"));
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.output.find("Slideshow File not Found"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("missing.zel"), std::string::npos) << r.output;

    r = Tool(std::string(command) + " " + Quoted(Project("notes.txt", "just some notes\n")));
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.output.find("neither a show package nor a project file"), std::string::npos) << r.output;

    r = Tool(std::string(command) + " " + Quoted(Project("nomain.zel", "[Slide1]\npicture=a.jpg\n")));
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.output.find("no main section"), std::string::npos) << r.output;

    for (const std::string& arguments : {std::string(), Quoted(backwards) + " " + Quoted(backwards)}) {
      r = Tool(std::string(command) + " " + arguments);
      EXPECT_EQ(r.exitCode, 2) << command;
      EXPECT_EQ(r.output, "usage: zeltool " + std::string(command) + " SHOW\n");
    }
  }
  // A show without slides has an empty table and no transitions.
  const fs::path empty = Project("empty.zel", "[main]\n");
  EXPECT_EQ(Tool("timetable " + Quoted(empty)).output, "TOTAL 0\n");
  const auto r = Tool("effects " + Quoted(empty));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "");
}

TEST_F(ShowTool, PackagesReadLikeTheirProject) {
  const fs::path project = Project("src/Show.zel", ExampleShow("stop", "[Slide1]\npicture=Pictures\\beach.jpg\n"));
  Project("src/Pictures/beach.jpg", "not really a picture");
  const fs::path plain = root / "Show.ZlShow";
  const fs::path player = root / "Show.scr";
  ASSERT_EQ(Tool("pack --out " + Quoted(plain) + " " + Quoted(project)).exitCode, 0);
  ASSERT_EQ(Tool("pack --out " + Quoted(player) + " --exe " + ZELPLAYER_PATH + " " + Quoted(project)).exitCode, 0);

  const std::string stopped =
      "0 0 5000 1000 1000 6000 beach\n"
      "1 5000 9000 1000 1000 10000 -\n"
      "2 9000 15000 1000 0 15000 -\n"
      "TOTAL 15000\n";
  EXPECT_EQ(Tool("timetable " + Quoted(project)).output, stopped);
  const auto r = Tool("timetable " + Quoted(plain));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, stopped);
  // A show file is opened by a player of another name, whatever its own.
  fs::copy_file(plain, root / "Copy.scr");
  EXPECT_EQ(Tool("timetable " + Quoted(root / "Copy.scr")).output, stopped);
  // A player named "*.scr" runs as a screen saver, which always repeats:
  // the last slide leads into the first again.
  EXPECT_EQ(Tool("timetable " + Quoted(player)).output,
            "0 0 5000 1000 1000 6000 beach\n"
            "1 5000 9000 1000 1000 10000 -\n"
            "2 9000 15000 1000 1000 16000 -\n"
            "TOTAL 15000\n");
  // The choices are the same whichever form the show comes in.
  const std::string effects = Tool("effects " + Quoted(project)).output;
  EXPECT_EQ(Lines(effects).size(), 3u) << effects;
  EXPECT_EQ(Tool("effects " + Quoted(plain)).output, effects);
}

TEST_F(ShowTool, EffectsOfGlobalAndPersonalTransitions) {
  const fs::path project = Project(
      "effects.zel",
      "[main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=10000\nopt_synchpos3=15000\n"
      "opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff4=C\nopt_fx_swapdepth=9\nopt_fx_rollusebackcolor=1\n"
      "opt_fx_rollbackcolor=65535\nopt_fx_custom2=wipe:star slow\n"
      "[Slide1]\n"
      "[Slide2]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=5\nEffect_Type=b\nEffectTime=800\nEffectCenterX=75\n"
      "EffectUseSmoothline=1\nEffectSmoothline=30\nEffectFlipSmooth=0\n"
      "[Slide3]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=18\nEffect_Type=2\nEffectTime=600\n");
  const auto r = Tool("effects " + Quoted(project));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto lines = Lines(r.output);
  ASSERT_EQ(lines.size(), 3u) << r.output;
  std::vector<std::vector<std::string>> rows;
  for (const auto& line : lines) {
    rows.push_back(Words(line));
    ASSERT_EQ(rows.back().size(), 25u) << line;
  }
  // The seed (column 23) is drawn; everything before it is the project's.
  auto head = [](const std::vector<std::string>& row) {
    return std::vector<std::string>(row.begin(), row.begin() + 23);
  };
  const std::vector<std::string> global = {"0", "3", "11", "700", "0", "0", "0", "1", "1", "255,255,0", "0", "0.125",
                                           "0", "0.5", "1", "9", "1", "60", "50", "50", "1", "1", "0"};
  EXPECT_EQ(head(rows[0]), global);
  // The slide's own class, variant and duration, its parameters over the
  // global ones and its smooth line.
  const std::vector<std::string> personal = {"1", "5", "10", "800", "0.03", "0", "0", "0", "1", "255,255,0",
                                             "0", "0.125", "0", "0.5", "0", "9", "1", "60", "75", "50",
                                             "1", "1", "0"};
  EXPECT_EQ(head(rows[1]), personal);
  EXPECT_EQ(rows[0][24], "-");
  EXPECT_EQ(rows[1][24], "-");
  // A custom effect takes its description from the main section.
  EXPECT_EQ(rows[2][1], "18");
  EXPECT_EQ(rows[2][2], "0");
  EXPECT_EQ(rows[2][3], "600");
  EXPECT_EQ(rows[2][24], "wipe:star%20slow");

  // A fixed seed gives the same choices every run, another seed others.
  EXPECT_EQ(Tool("effects " + Quoted(project)).output, r.output);
  const auto other = Tool("effects " + Quoted(project), "78");
  ASSERT_EQ(Lines(other.output).size(), 3u);
  EXPECT_EQ(head(Words(Lines(other.output)[1])), personal);
  EXPECT_NE(other.output, r.output);
}

TEST_F(ShowTool, EffectsTakeTurnsThroughThePool) {
  // Two groups of one variant each take turns, so any three choices in a
  // row hold both; every slide is listed once, in order.
  const fs::path project = Project(
      "pool.zel",
      "[main]\nopt_slidescount=4\nopt_synchpos1=1000\nopt_synchpos2=2000\nopt_synchpos3=3000\nopt_synchpos4=4000\n"
      "opt_fx_enable=1\nopt_fx_time=250\nopt_fx_eff3=1\nopt_fx_eff6=2\n");
  for (const char* seed : {"1", "2", "3", "4", "5"}) {
    const auto r = Tool("effects " + Quoted(project), seed);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto lines = Lines(r.output);
    ASSERT_EQ(lines.size(), 4u);
    std::vector<std::string> choices;
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto row = Words(lines[i]);
      EXPECT_EQ(row[0], std::to_string(i));
      EXPECT_EQ(row[3], "250");
      choices.push_back(row[1] + "/" + row[2]);
      EXPECT_TRUE(choices.back() == "2/1" || choices.back() == "5/2") << choices.back();
    }
    for (size_t i = 0; i + 2 < choices.size(); ++i) {
      EXPECT_TRUE(choices[i] != choices[i + 1] || choices[i + 1] != choices[i + 2]) << seed << " at " << i;
    }
  }
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

TEST_F(ShowTool, SlideTreeAtAShowTime) {
  const fs::path project = Project(
      "tree.zel",
      "[main]\nopt_slidescount=2\nopt_synchpos1=4000\nopt_synchpos2=10000\nopt_scr_width=800\nopt_scr_height=600\n"
      "[Slide1]\n"
      "object Title Text: Text\n  DeltaTime1=500\n"
      "  object K1: KeyPoint\n    Time=0\n    Position=100,0\n    Opacity=0\n  end\n"
      "  object K2: KeyPoint\n    Time=1000\n    Position=0,-50\n    Opacity=100\n  end\n"
      "  object Back: Box\n  end\nend\n"
      "object Odd: Sprite\n  object Lost: Image\n  end\nend\n"
      "object Photo: IMAGE\nend\n"
      "[Slide2]\n");
  auto r = Tool("slide " + Quoted(project) + " 0 --time 250");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto lines = Lines(r.output);
  ASSERT_EQ(lines.size(), 4u) << r.output;
  EXPECT_EQ(lines[0], "0 slide Slide1 1 100 400 300 0 1 0 0 0 1 0 800 600 -400 -300");
  // A quarter of the way: 75 % of the half width to the right, at 25 %
  // opacity, and not shown before its delay.
  const auto title = Words(lines[1]);
  ASSERT_EQ(title.size(), 18u);
  EXPECT_EQ(title[0], "1");
  EXPECT_EQ(title[1], "text");
  EXPECT_EQ(title[2], "Title%20Text");
  EXPECT_EQ(title[3], "0");
  EXPECT_EQ(title[4], "25");
  EXPECT_EQ(title[5], "700");
  EXPECT_EQ(title[6], "262.5");
  EXPECT_EQ(Words(lines[2])[0], "2");
  EXPECT_EQ(Words(lines[2])[1], "box");
  EXPECT_EQ(Words(lines[3])[1], "image");
  EXPECT_EQ(Words(lines[3])[2], "Photo");

  // The same slide one round later, in a frame of its own.
  r = Tool("slide " + Quoted(project) + " 2 --time 10750 --frame 400x300");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto later = Lines(r.output);
  ASSERT_EQ(later.size(), 4u);
  EXPECT_EQ(later[0], "0 slide Slide1 1 100 200 150 0 1 0 0 0 1 0 400 300 -200 -150");
  EXPECT_EQ(Words(later[1])[3], "1");
  EXPECT_EQ(Words(later[1])[4], "75");
}

// The bundled demo's title slide one second in, read from the project in the
// source tree (its photographs and button theme are only made at build time,
// which changes no placement). In the sanitizer build this is the run that
// once crashed in ~TKeyPointList, when the linker had kept another class's
// destructor of the same name.
TEST_F(ShowTool, DemoSlideOneSecondIn) {
  const auto r = Tool("slide " + Quoted(ZEL_DEMO_SHOW) + " 0 --time 1000");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto lines = Lines(r.output);
  ASSERT_EQ(lines.size(), 7u) << r.output;
  EXPECT_EQ(lines[0], "0 slide Slide1 1 100 640 360 0 1 0 0 0 1 0 1280 720 -640 -360");
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 1; i < lines.size(); ++i) {
    rows.push_back(Words(lines[i]));
    ASSERT_EQ(rows.back().size(), 18u) << lines[i];
  }
  // The button and its caption appear at 1,000 ms exactly; the hint at the
  // bottom only at 1,600 ms.
  const std::vector<std::vector<std::string>> heads = {
      {"1", "image", "Backdrop", "1"}, {"1", "text", "Title", "1"},  {"1", "text", "Subtitle", "1"},
      {"1", "button", "Start", "1"},   {"2", "text", "Label", "1"},  {"1", "text", "Hint", "0"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::vector<std::string>(rows[i].begin(), rows[i].begin() + 4), heads[i]) << lines[i + 1];
  }
  const auto value = [&rows](size_t row, size_t column) { return std::stod(rows[row][column]); };
  // The title fades in over 1,200 ms while it rises from 26 % to 28 % of the
  // half height above the centre: five sixths of the way.
  EXPECT_NEAR(value(1, 4), 100.0 * 5 / 6, 1e-3);
  EXPECT_NEAR(value(1, 5), 640, 1e-3);
  EXPECT_NEAR(value(1, 6), 360 - (0.26 + 0.02 * 5 / 6) * 360, 1e-3);
  // The subtitle starts 400 ms late and fades in over 800 ms: three quarters.
  EXPECT_NEAR(value(2, 4), 75, 1e-3);
  EXPECT_NEAR(value(2, 6), 360 + 0.14 * 360, 1e-3);
  // The button has only just appeared, still transparent, its caption on it.
  for (size_t i : {3u, 4u}) {
    EXPECT_NEAR(value(i, 4), 0, 1e-3) << lines[i + 1];
    EXPECT_NEAR(value(i, 5), 640, 1e-3) << lines[i + 1];
    EXPECT_NEAR(value(i, 6), 360 + 0.52 * 360, 1e-3) << lines[i + 1];
  }
}

TEST_F(ShowTool, WindowAroundAShowTime) {
  // The demo repeats: at 50 s its last slide plays and the next round's
  // first two follow, one show length (51 s) on; the title's transition
  // (1,200 ms) leads out of the first of them.
  auto r = Tool("window " + Quoted(ZEL_DEMO_SHOW) + " --time 50000");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> rows;
  for (const std::string& line : Lines(r.output))
    if (line.rfind("...", 0) != 0) rows.push_back(line);
  EXPECT_EQ(rows, (std::vector<std::string>{"10 46500 52500", "11 51000 58200", "12 57000 62500", "READY 1"}));
  r = Tool("window " + Quoted(ZEL_DEMO_SHOW));
  EXPECT_EQ(r.exitCode, 2);
  r = Tool("window " + Quoted(ZEL_DEMO_SHOW) + " --time soon");
  EXPECT_EQ(r.exitCode, 2);
}

TEST_F(ShowTool, SlideRefusesWhatItCannotShow) {
  const fs::path project = Project("two.zel", "[main]\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=2000\n[Slide1]\n");
  auto r = Tool("slide " + Quoted(project) + " 1 --time 0");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("no slide section"), std::string::npos) << r.output;
  r = Tool("slide " + Quoted(project) + " 0 --time 0 --frame 0x10");
  EXPECT_EQ(r.exitCode, 1);
  r = Tool("slide " + Quoted(project) + " 0");
  EXPECT_EQ(r.exitCode, 2);
  r = Tool("slide " + Quoted(project) + " x --time 1");
  EXPECT_EQ(r.exitCode, 2);
  // At the default design size of 640 x 480.
  r = Tool("slide " + Quoted(project) + " 0 --time 0");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "0 slide Slide1 1 100 320 240 0 1 0 0 0 1 0 640 480 -320 -240\n");
}

}  // namespace
}  // namespace zel
