// What zeltool reports about input: the action of a key in a show, the
// actions of a sequence of mouse events, and the virtual-key code of an SDL
// key name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;
using testing_support::TRunResult;

// Three slides of 5 s each.
const char* const kSlides = "opt_synchpos1=5000\nopt_synchpos2=10000\nopt_synchpos3=15000\n[Slide1]\n[Slide2]\n[Slide3]\n";

class InputTool : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("zel_input_tool_" + std::to_string(getpid()));
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }

  // A project whose main section holds the options and three slides.
  std::string Show(const std::string& name, const std::string& options) {
    const fs::path path = root / name;
    std::ofstream(path, std::ios::binary) << "[main]\nZelVersion=8.2\nopt_slidescount=3\n" << options << kSlides;
    return "'" + path.string() + "'";
  }
  static TRunResult Tool(const std::string& arguments) { return RunProgram(std::string(ZELTOOL_PATH) + " " + arguments); }

  fs::path root;
};

TEST_F(InputTool, KeyPrintsTheMappedAction) {
  const std::string show = Show("default.zel", "");
  EXPECT_EQ(Tool("key " + show + " 0 39").output, "3 0\n");
  EXPECT_EQ(Tool("key " + show + " 0 39 1").output, "3 0\n");
  EXPECT_EQ(Tool("key " + show + " 2 39").output, "none\n");  // Shift+Right
  EXPECT_EQ(Tool("key " + show + " 8 80").output, "5 0\n");   // Ctrl+P
  EXPECT_EQ(Tool("key " + show + " 10 80").output, "none\n");  // Ctrl+Shift+P
  EXPECT_EQ(Tool("key " + show + " 0 35").output, "7 3\n");   // End: the slide count
  EXPECT_EQ(Tool("key " + show + " 0 36").output, "7 0\n");
  EXPECT_EQ(Tool("key " + show + " 0 112").output, "4 0\n");
  EXPECT_EQ(Tool("key " + show + " 0 27 0").output, "none\n");  // a release
  const TRunResult result = Tool("key " + show + " 0 27");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "1 0\n");
}

TEST_F(InputTool, KeyFollowsTheShowOptions) {
  const std::string locked = Show("locked.zel", "opt_lockf1=1\nopt_synchpermitcontrol=0\n");
  EXPECT_EQ(Tool("key " + locked + " 0 112").output, "none\n");
  EXPECT_EQ(Tool("key " + locked + " 0 39").output, "none\n");
  EXPECT_EQ(Tool("key " + locked + " 0 27").output, "1 0\n");
}

TEST_F(InputTool, KeyRejectsBadArguments) {
  const std::string show = Show("default.zel", "");
  for (const std::string& arguments : {std::string("key"), "key " + show + " 0", "key " + show + " 0 39 1 5"}) {
    const TRunResult result = Tool(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments;
    EXPECT_EQ(result.output.rfind("usage: zeltool key ", 0), 0u) << result.output;
  }
  for (const std::string& arguments : {"key " + show + " x 39", "key " + show + " 0 39z", "key " + show + " 0 39 p",
                                       "key " + show + " -1 39"}) {
    const TRunResult result = Tool(arguments);
    EXPECT_EQ(result.exitCode, 1) << arguments;
    EXPECT_EQ(result.output.rfind("zeltool key: ", 0), 0u) << result.output;
    EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
  }
  const TRunResult missing = Tool("key '" + (root / "missing.zel").string() + "' 0 39");
  EXPECT_EQ(missing.exitCode, 1);
}

TEST_F(InputTool, SdlKeyTranslatesNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"Right", "39\n"}, {"pagedown", "34\n"}, {"F1", "112\n"}, {"A", "65\n"}, {"z", "90\n"},
      {"Escape", "27\n"}, {"AudioNext", "176\n"}, {"'AC Back'", "166\n"}, {"Pause", "19\n"}, {"Return", "13\n"},
  };
  for (const auto& [name, code] : cases) {
    const TRunResult result = Tool(std::string("sdl-key ") + name);
    EXPECT_EQ(result.exitCode, 0) << name;
    EXPECT_EQ(result.output, code) << name;
  }
  const TRunResult unknown = Tool("sdl-key NoSuchKey");
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.output, "zeltool sdl-key: no virtual-key code for the key name 'NoSuchKey'\n");
  EXPECT_EQ(Tool("sdl-key").exitCode, 2);
  EXPECT_EQ(Tool("sdl-key A B").exitCode, 2);
}

TEST_F(InputTool, MousePrintsOneLinePerEvent) {
  const std::string show = Show("mouse.zel", "opt_leftmouse=Next slide\nopt_rightmouse=Exit\nopt_dblclick=Go to first\n");
  const TRunResult result = Tool("mouse " + show + " 1:1:16:10,10 2:1:0:10,10 1:4:32:10,10 2:4:0:10,10 3:1:16:10,10 0:0:0:500,500");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "none\n3 0\nnone\n1 0\n7 0\nnone\n");
}

TEST_F(InputTool, MouseMovementEndsAnExitOnMoveShow) {
  const std::string show = Show("move.zel", "opt_exitonmove=1\n");
  const TRunResult result = Tool("mouse " + show + " 0:0:0:100,100 0:0:0:103,102 0:0:0:103,103 0:0:0:104,103");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "none\nnone\n1 0\nnone\n");
  // Without the option nothing moves the show.
  const std::string still = Show("still.zel", "");
  EXPECT_EQ(Tool("mouse " + still + " 0:0:0:0,0 0:0:0:900,900").output, "none\nnone\n");
}

TEST_F(InputTool, MouseRejectsBadEvents) {
  const std::string show = Show("default.zel", "");
  const TRunResult usage = Tool("mouse " + show);
  EXPECT_EQ(usage.exitCode, 2);
  for (const char* event : {"1:1:0", "4:1:0:1,1", "1:2:0:1,1", "1:1:0:1;1", "1:1:0:1,", "a:1:0:1,1", "1:1:-2:1,1"}) {
    const TRunResult result = Tool("mouse " + show + " 2:1:0:0,0 '" + event + "'");
    EXPECT_EQ(result.exitCode, 1) << event;
    EXPECT_EQ(result.output.rfind("zeltool mouse: bad event", 0), 0u) << result.output;
    EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
  }
}

TEST_F(InputTool, ActionPrintsTheParsedRecord) {
  EXPECT_EQ(Tool("action NextSlide").output, "3 0 -\n");
  EXPECT_EQ(Tool("action 'gotoslide(12)'").output, "7 12 12\n");
  EXPECT_EQ(Tool("action 'GoToSlide(Intro)'").output, "7 -1 Intro\n");
  EXPECT_EQ(Tool("action 'openwebsite(\"example.org/a b\")'").output, "8 0 example.org/a%20b\n");
  EXPECT_EQ(Tool("action 'runapp(notepad.exe)'").output, "10 0 otepad.ex\n");
  EXPECT_EQ(Tool("action nonsense").output, "0 0 -\n");
  EXPECT_NE(Tool("action").exitCode, 0);
}

TEST_F(InputTool, ClickRunsAnActionOnlyWhenPressAndReleaseMeetOneObject) {
  const fs::path path = root / "click.zel";
  // Two 100 x 100 boxes at (200, 300) and (600, 300) of an 800 x 600 slide.
  std::ofstream(path, std::ios::binary)
      << "[Main]\nopt_slidescount=1\nopt_synchpos1=5000\nopt_scr_width=800\nopt_scr_height=600\n[Slide1]\n"
         "object Go: Box\n  FitMode=None\n  Size=100,100\n  Action=gotoslide(2)\n"
         "  object KP: KeyPoint\n    Position=-50,0\n  end\nend\n"
         "object Quit: Box\n  FitMode=None\n  Size=100,100\n  Action=exit\n"
         "  object KP: KeyPoint\n    Position=50,0\n  end\nend\n";
  const TRunResult run = Tool("click '" + path.string() +
                              "' 0 --time 100 move:200,300 down:200,300 up:200,300 down:200,300 up:600,300 "
                              "up:600,300 move:10,10");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output,
            "Go 0 0 0 -\nGo 0 0 0 -\nGo 0 7 2 2\nGo 0 0 0 -\nQuit 0 0 0 -\nQuit 0 0 0 -\n- 0 0 0 -\n");
  EXPECT_NE(Tool("click '" + path.string() + "' 0 --time 100").exitCode, 0);
  EXPECT_NE(Tool("click '" + path.string() + "' 0 --time 100 down:1").exitCode, 0);
}

}  // namespace
}  // namespace zel
