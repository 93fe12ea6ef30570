// The media library bridge's fuzz entry point in every test run: small
// files of the common containers made by the ffmpeg program (skipped
// without it), then random mutations of them.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_driver.h"
#include "integration/run_program.h"

namespace zel::fuzzing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> MadeSeeds() {
  const fs::path folder = fs::temp_directory_path() / ("zel_media_fuzz_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string video = "-f lavfi -i testsrc=s=32x24:r=10:d=0.4";
  const std::string sound = "-f lavfi -i sine=f=440:r=8000:d=0.3";
  const std::vector<std::pair<std::string, std::string>> made = {
      {"a.mp4", video + " -c:v libx264 -preset ultrafast"},
      {"b.mkv", video + " " + sound + " -c:v mpeg4 -c:a flac"},
      {"c.avi", video + " -c:v mpeg4"},
      {"d.ts", video + " " + sound + " -c:v mpeg2video -c:a mp2"},
      {"e.mpg", video + " -c:v mpeg2video -flags +ilme+ildct"},
      {"f.wma", sound + " -c:a wmav2"},
      {"g.ogg", sound + " -c:a libvorbis"},
      {"h.flac", sound + " -c:a flac"},
      {"i.flv", video + " -c:v flv"},
  };
  std::vector<std::string> seeds;
  for (const auto& [file, arguments] : made) {
    const std::string path = (folder / file).string();
    const std::string command = "ffmpeg -v error -nostdin -y " + arguments + " '" + path + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) continue;
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    seeds.push_back(bytes.str());
  }
  fs::remove_all(folder);
  return seeds;
}

const std::vector<std::string>& Seeds() {
  static const std::vector<std::string> seeds = MadeSeeds();
  return seeds;
}

bool HaveFFmpeg() { return testing_support::HaveProgram("ffmpeg"); }

TEST(MediaLibraryFuzz, Seeds) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "the ffmpeg program is not installed";
  ASSERT_GE(Seeds().size(), 8u);
  for (const auto& input : Seeds()) EXPECT_EQ(Feed(input), 0);
  EXPECT_EQ(Feed(""), 0);
}

TEST(MediaLibraryFuzz, RandomMutations) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "the ffmpeg program is not installed";
  static const char kAlphabet[] = "ftypmoovmdatRIFFAVI OggSfLaC\x1A\x45\xDF\xA3\x47\x00\x01\xFF\x7F\x80";
  FeedMutations(Seeds(), std::string(kAlphabet, sizeof kAlphabet - 1), 1500, 20250321);
}

}  // namespace
}  // namespace zel::fuzzing
