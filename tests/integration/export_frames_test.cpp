// zelplayer --export-frames on a generated show of three coloured slides
// with cross-fades: the frames' count, colours and mixes, repeatability,
// and the refusals of bad switches.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/streams.h"
#include "imaging/image_lib_store.h"
#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"
#include "run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;

// The GL driver keeps a few allocations to the end: the leak checker of
// the sanitizer build is off for the player here.
class ExportFrames : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_export_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
    // Slides of 2 s, each one box over the whole 800 x 600 design, with
    // cross-fades of 1 s between them.
    std::ofstream(fRoot / "Show.zel")
        << "[Main]\nopt_slidescount=3\nopt_scr_width=800\nopt_scr_height=600\nopt_synchpos1=2000\n"
           "opt_synchpos2=4000\nopt_synchpos3=6000\nopt_repeat=stop\nopt_fx_enable=1\nopt_fx_time=1000\n"
           "opt_fx_eff2=1\n"
        << Slide(1, "255,0,0") << Slide(2, "0,255,0") << Slide(3, "0,0,255");
  }
  void TearDown() override { fs::remove_all(fRoot); }

  static std::string Slide(int n, const std::string& color) {
    return "[Slide" + std::to_string(n) + "]\nobject B: Box\n  Size=800,600\n  FitMode=None\n  Color1=" + color +
           "\nend\n";
  }
  testing_support::TRunResult Export(const std::string& folder, const std::string& switches) {
    return RunProgram("ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen ZEL_RANDOM_SEED=5 " + std::string(ZELPLAYER_PATH) + " -filename " +
                      (fRoot / "Show.zel").string() + " --export-frames " + (fRoot / folder).string() + " " + switches);
  }
  uint32_t Rgb(const std::string& folder, int frame, int x, int y) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", frame);
    auto image = LoadImageFile((fRoot / folder / name).string());
    EXPECT_NE(image, nullptr) << name;
    return image ? image->GetMipLevel(0)->PixelColor(x, y) & 0xFFFFFF : 0;
  }
  static int Count(const fs::path& folder) {
    return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }
  static std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path fRoot;
};

TEST_F(ExportFrames, SlidesTheirMixesAndTheFrameCount) {
  const auto result = Export("a", "--fps 10 --frame 160x120");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  // The show lasts 6 s: 60 frames at 10 a second.
  EXPECT_EQ(Count(fRoot / "a"), 60);
  // The middles of the first and second slides.
  EXPECT_EQ(Rgb("a", 15, 80, 60), 0xFF0000u);
  EXPECT_EQ(Rgb("a", 35, 80, 60), 0x00FF00u);
  EXPECT_EQ(Rgb("a", 55, 80, 60), 0x0000FFu);
  // Half way through the cross-fade from red to green (2,000 to 3,000 ms).
  const uint32_t mix = Rgb("a", 25, 80, 60);
  EXPECT_NEAR(static_cast<int>(mix >> 16 & 0xFF), 128, 6);
  EXPECT_NEAR(static_cast<int>(mix >> 8 & 0xFF), 128, 6);
  EXPECT_LT(static_cast<int>(mix & 0xFF), 6);
}

TEST_F(ExportFrames, TheLogoSitsAtItsPlace) {
  // A white 100 x 50 logo at 20 % of the height: 72 x 36 on a 320 x 180 frame.
  TDirectBitmap logo(100, 50, FormatA8R8G8B8());
  logo.Fill(logo.BoundsRect(), 0xFFFFFFFF);
  {
    auto stream = TFileStream::CreateWrite((fRoot / "logo.png").string());
    SavePng(logo, *stream);
  }
  const struct {
    int position;
    int x, y;           // a pixel inside the logo
    int outX, outY;     // one just outside it
  } places[] = {{5, 2, 2, 74, 2}, {4, 160, 90, 160, 70}, {7, 317, 177, 245, 177}, {12, 160, 90, 120, 90}};
  for (const auto& place : places) {
    const std::string folder = "logo" + std::to_string(place.position);
    std::ofstream(fRoot / "Show.zel")
        << "[Main]\nopt_slidescount=1\nopt_scr_width=800\nopt_scr_height=450\nopt_synchpos1=2000\n"
           "opt_repeat=stop\nopt_logo=1\nopt_logo_fn=logo.png\nopt_logo_size=20\nopt_logo_pos="
        << place.position << "\n" << Slide(1, "255,0,0");
    const auto result = Export(folder, "--fps 10 --frame 320x180 --from 1000 --to 1100");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(Rgb(folder, 0, place.x, place.y), 0xFFFFFFu) << place.position;
    EXPECT_EQ(Rgb(folder, 0, place.outX, place.outY), 0xFF0000u) << place.position;
  }
}

TEST_F(ExportFrames, TwoExportsGiveTheSameFiles) {
  ASSERT_EQ(Export("a", "--fps 5 --frame 80x60 --from 1000 --to 4000").exitCode, 0);
  ASSERT_EQ(Export("b", "--fps 5 --frame 80x60 --from 1000 --to 4000").exitCode, 0);
  EXPECT_EQ(Count(fRoot / "a"), 15);
  for (const char* frame : {"frame-000000.png", "frame-000007.png", "frame-000014.png"})
    EXPECT_EQ(Bytes(fRoot / "a" / frame), Bytes(fRoot / "b" / frame)) << frame;
}

TEST_F(ExportFrames, BadSwitchesAreRefusedWithAReason) {
  const struct {
    const char* switches;
    const char* reason;
  } cases[] = {
      {"--fps 0", "--fps must be a whole number"},
      {"--fps -5", "--fps must be a whole number"},
      {"--from 7000 --to 6000", "--from must lie before --to"},
      {"--frame 0x100", "--frame must be WxH"},
      {"--frame 9000x100", "--frame must be WxH"},
      {"--fps", "--fps needs a value"},
  };
  for (const auto& c : cases) {
    const auto result = Export("bad", c.switches);
    EXPECT_EQ(result.exitCode, 1) << c.switches;
    EXPECT_NE(result.output.find(c.reason), std::string::npos) << c.switches << ": " << result.output;
  }
  const auto unwritable = RunProgram("ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen " + std::string(ZELPLAYER_PATH) + " -filename " +
                                     (fRoot / "Show.zel").string() + " --export-frames /proc/zel-no-such-folder");
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.output.find("cannot make the folder"), std::string::npos) << unwritable.output;
  // A repeating show needs an end.
  std::ofstream(fRoot / "Loop.zel") << "[Main]\nopt_slidescount=1\nopt_synchpos1=1000\nopt_repeat=repeat\n[Slide1]\n";
  const auto loop = RunProgram("ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen " + std::string(ZELPLAYER_PATH) + " -filename " +
                               (fRoot / "Loop.zel").string() + " --export-frames " + (fRoot / "l").string());
  EXPECT_EQ(loop.exitCode, 1);
  EXPECT_NE(loop.output.find("the show repeats: give --to"), std::string::npos) << loop.output;
}

TEST_F(ExportFrames, SlideProgramsAreSkipped) {
  // The second slide's program would run when the slide starts; an export
  // logs it and goes on.
  std::ofstream(fRoot / "Show.zel")
      << "[Main]\nopt_slidescount=3\nopt_scr_width=800\nopt_scr_height=600\nopt_synchpos1=2000\n"
         "opt_synchpos2=4000\nopt_synchpos3=6000\nopt_repeat=stop\nopt_fx_enable=0\n"
      << Slide(1, "255,0,0") << Slide(2, "0,255,0") << "UsePersonal=1\nPers_RunApp=1\nRunAppFN=notes.txt\n"
      << Slide(3, "0,0,255");
  const auto run = Export("programs", "--fps 10 --frame 80x60 -log");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Count(fRoot / "programs"), 60);
  EXPECT_EQ(Rgb("programs", 25, 40, 30), 0x00FF00u);
  EXPECT_NE(run.output.find("export: action skipped: runapp(notes.txt)"), std::string::npos) << run.output;
}

TEST_F(ExportFrames, SlidesTakeTheirOwnTransitions) {
  // Slide 2 comes in with a wipe from the left, slide 3 with a slide-in
  // from the right, each for 1 s from the slide's start.
  const auto personal = [](int effectClass, int variant) {
    return "UsePersonal=1\nPers_Effect=1\nEffect_Class=" + std::to_string(effectClass) +
           "\nEffect_Type=" + std::to_string(variant) + "\nEffectTime=1000\n";
  };
  std::ofstream(fRoot / "Show.zel")
      << "[Main]\nopt_slidescount=3\nopt_scr_width=800\nopt_scr_height=600\nopt_synchpos1=2000\n"
         "opt_synchpos2=4000\nopt_synchpos3=6000\nopt_repeat=stop\nopt_fx_enable=1\n"
      << Slide(1, "255,0,0") << Slide(2, "0,255,0") << personal(9, 1) << Slide(3, "0,0,255") << personal(13, 2);
  const auto run = Export("own", "--fps 10 --frame 80x60");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // Halfway through the wipe: the new slide on the left half only.
  EXPECT_EQ(Rgb("own", 25, 10, 30), 0x00FF00u);
  EXPECT_EQ(Rgb("own", 25, 70, 30), 0xFF0000u);
  // 0.3 into the slide-in: the new slide's left edge at 70 % of the width.
  EXPECT_EQ(Rgb("own", 43, 65, 30), 0x0000FFu);
  EXPECT_EQ(Rgb("own", 43, 45, 30), 0x00FF00u);
}

}  // namespace
}  // namespace zel
