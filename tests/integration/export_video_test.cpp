// zelplayer --export-video on a generated show of a red and a blue slide:
// the video read back (frames, size, colours), the rounding of odd sizes,
// and the failures that must leave nothing under the asked name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "run_program.h"
#include "video/clip_reader.h"

extern char** environ;

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::ColorNear;
using testing_support::DecodeClip;
using testing_support::RunProgram;

const std::string kPlayer = std::string("ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen ZEL_RANDOM_SEED=5 ") +
                            ZELPLAYER_PATH;

class ExportVideo : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_export_video_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
    // Two slides of 1 s, each one box over the whole 800 x 600 design, cut
    // without a transition.
    std::ofstream(fRoot / "Show.zel")
        << "[Main]\nopt_slidescount=2\nopt_scr_width=800\nopt_scr_height=600\nopt_synchpos1=1000\n"
           "opt_synchpos2=2000\nopt_repeat=stop\nopt_fx_enable=0\n"
        << Slide(1, "255,0,0") << Slide(2, "0,0,255");
  }
  void TearDown() override { fs::remove_all(fRoot); }

  static std::string Slide(int n, const std::string& color) {
    return "[Slide" + std::to_string(n) + "]\nobject B: Box\n  Size=800,600\n  FitMode=None\n  Color1=" + color +
           "\nend\n";
  }
  testing_support::TRunResult Export(const std::string& file, const std::string& switches) {
    return RunProgram(kPlayer + " -filename " + (fRoot / "Show.zel").string() + " --export-video " + file + " " +
                      switches);
  }
  std::string Video(const std::string& name = "show.mp4") const { return (fRoot / name).string(); }
  // Nothing under the name, nor under the temporary one.
  static void ExpectNoFiles(const std::string& path) {
    EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_FALSE(fs::exists(path + ".part")) << path;
  }

  fs::path fRoot;
};

TEST_F(ExportVideo, TheVideoHasTheShowsFramesSizeAndColours) {
  const auto result = Export(Video(), "--fps 10 --frame 160x90");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("frames 20 of 20 (100 %)"), std::string::npos) << result.output;
  EXPECT_FALSE(fs::exists(Video() + ".part"));
  const auto clip = DecodeClip(Video());
  ASSERT_EQ(clip.error, "");
  EXPECT_EQ(clip.codec, "h264");
  EXPECT_EQ(clip.colorSpace, "bt709");
  EXPECT_EQ(clip.width, 160);
  EXPECT_EQ(clip.height, 90);
  // 2 s at 10 frames a second.
  ASSERT_EQ(clip.FrameCount(), 20u);
  for (const int frame : {3, 9}) EXPECT_TRUE(ColorNear(clip.Rgb(frame, 80, 45), 0xFF0000, 10)) << frame;
  for (const int frame : {12, 19}) EXPECT_TRUE(ColorNear(clip.Rgb(frame, 80, 45), 0x0000FF, 10)) << frame;
}

TEST_F(ExportVideo, AnOddFrameIsRoundedDownToEven) {
  const auto result = Export(Video(), "--fps 10 --frame 161x91 --from 500 --to 1500");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("zelplayer: the frame 161x91 is rounded to 160x90 for the video"), std::string::npos)
      << result.output;
  const auto clip = DecodeClip(Video());
  EXPECT_EQ(clip.width, 160);
  EXPECT_EQ(clip.height, 90);
  ASSERT_EQ(clip.FrameCount(), 10u) << clip.error;
  EXPECT_TRUE(ColorNear(clip.Rgb(2, 80, 45), 0xFF0000, 10));
  EXPECT_TRUE(ColorNear(clip.Rgb(8, 80, 45), 0x0000FF, 10));
  // The design size itself may be odd too.
  std::ofstream(fRoot / "Show.zel") << "[Main]\nopt_slidescount=1\nopt_scr_width=99\nopt_scr_height=75\n"
                                       "opt_synchpos1=1000\nopt_repeat=stop\n"
                                    << Slide(1, "0,255,0");
  const auto design = Export(Video("design.mp4"), "--fps 5");
  ASSERT_EQ(design.exitCode, 0) << design.output;
  EXPECT_NE(design.output.find("the frame 99x75 is rounded to 98x74"), std::string::npos) << design.output;
  EXPECT_EQ(DecodeClip(Video("design.mp4")).width, 98);
}

TEST_F(ExportVideo, FailuresSayWhyInOneLineAndLeaveNoFile) {
  // A folder that cannot hold files, even for root.
  const auto unwritable = Export("/proc/zel-no-such-folder/show.mp4", "--fps 10");
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_EQ(unwritable.output, "zelplayer: cannot write /proc/zel-no-such-folder/show.mp4.part: No such file or directory\n");
  // A range shorter than half a frame gives no frame at all.
  const auto empty = Export(Video(), "--fps 10 --from 0 --to 40");
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_NE(empty.output.find("zelplayer: the video has no frames"), std::string::npos) << empty.output;
  ExpectNoFiles(Video());
  const auto tiny = Export(Video(), "--frame 1x40");
  EXPECT_EQ(tiny.exitCode, 1);
  EXPECT_NE(tiny.output.find("the frame 1x40 is too small for a video"), std::string::npos) << tiny.output;
  ExpectNoFiles(Video());
}

TEST_F(ExportVideo, SwitchesThatDoNotGoTogetherAreRefused) {
  const struct {
    const char* switches;
    const char* reason;
  } cases[] = {
      {"--export-frames DIR", "--export-frames DIR and --export-video FILE exclude each other"},
      {"--crf 52", "--crf must be a whole number from 0 to 51"},
      {"--crf 2.5", "--crf must be a whole number from 0 to 51"},
      {"--crf", "--crf needs a value"},
  };
  for (const auto& c : cases) {
    const auto result = Export(Video(), c.switches);
    EXPECT_EQ(result.exitCode, 1) << c.switches;
    EXPECT_NE(result.output.find(c.reason), std::string::npos) << c.switches << ": " << result.output;
    ExpectNoFiles(Video());
  }
  const auto crfAlone = RunProgram(kPlayer + " -filename " + (fRoot / "Show.zel").string() + " --crf 20");
  EXPECT_EQ(crfAlone.exitCode, 1);
  EXPECT_NE(crfAlone.output.find("--crf goes with --export-video FILE"), std::string::npos) << crfAlone.output;
}

TEST_F(ExportVideo, CtrlCTakesAwayTheUnfinishedFile) {
  // A long export, interrupted once its file has begun.
  const std::string show = (fRoot / "Show.zel").string(), video = Video();
  const char* const argv[] = {ZELPLAYER_PATH, "-filename", show.c_str(), "--export-video", video.c_str(),
                              "--fps", "10", "--frame", "160x90", "--to", "3600000", nullptr};
  std::vector<std::string> environment = {"SDL_VIDEODRIVER=offscreen", "ASAN_OPTIONS=detect_leaks=0"};
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  // Its progress goes to a file, whose first report says frames are being
  // encoded.
  const std::string progress = (fRoot / "progress.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, progress.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, ZELPLAYER_PATH, &actions, nullptr, const_cast<char* const*>(argv), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(spawned, 0);
  const auto encoding = [&progress] {
    std::ifstream in(progress);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return text.find("frames 30 of 36000") != std::string::npos;
  };
  for (int i = 0; i < 3000 && !encoding(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(encoding());
  EXPECT_TRUE(fs::exists(video + ".part"));
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  ExpectNoFiles(video);
}

}  // namespace
}  // namespace zel
