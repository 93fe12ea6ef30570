// The tool's sound subcommands, run as programs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "audio/adpcm_decoder.h"
#include "audio/wav_files.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using namespace zel::testing;
using testing_support::RunProgram;

class AudioCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/zel_audio_tool_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    fFolder = folder;
  }
  void TearDown() override {
    for (const auto& file : fFiles) std::remove(file.c_str());
    rmdir(fFolder.c_str());
  }
  std::string Write(const std::string& name, const TBytes& bytes) {
    fFiles.push_back(fFolder + "/" + name);
    std::ofstream out(fFiles.back(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return fFiles.back();
  }
  static std::string Tool(const std::string& arguments) { return std::string(ZELTOOL_PATH) + " " + arguments; }

  std::string Read(const std::string& path) {
    fFiles.push_back(path);
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string fFolder;
  std::vector<std::string> fFiles;
};

TEST_F(AudioCommands, PcmAndAdpcmFiles) {
  const std::string pcm = Write("a.wav", Riff({ListChunk(), Chunk("fmt ", FormatContent(MakeFormat(1, 1, 22050, 8))),
                                               Chunk("data", TBytes(44100, 128))}));
  auto result = RunProgram(Tool("audio-info " + pcm));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "1 67 44100 2000 22050 1 8\n");

  const TWaveFormat adpcm = MakeFormat(2, 2, 44100, 4, 512);
  const std::string compressed = Write("b.wav", AdpcmWav(adpcm, MakeAdpcmExtra(0), TBytes(512 * 44, 0)));
  result = RunProgram(Tool("audio-info " + compressed));
  EXPECT_EQ(result.exitCode, 0);
  // 44 blocks of 500 samples at 44100 Hz: 499 ms.
  EXPECT_EQ(result.output, "2 90 22528 499 44100 2 4\n");
}

TEST_F(AudioCommands, FailuresAreOneLine) {
  const std::string text = Write("c.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'T', 'E', 'X', 'T'});
  auto result = RunProgram(Tool("audio-info " + text));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, "zeltool audio-info: not a sound file this player reads: " + text + "\n");

  result = RunProgram(Tool("audio-info " + fFolder + "/missing.wav"));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output.rfind("zeltool audio-info: cannot open ", 0), 0u) << result.output;
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1);

  result = RunProgram(Tool("audio-info"));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.output, "usage: zeltool audio-info FILE\n");
}

// What play writes is what the device played: a file in the device's own
// format comes back byte for byte, positioned with --start and cut with
// --length.
TEST_F(AudioCommands, PlayWritesWhatTheDevicePlayed) {
  TBytes data;
  for (int i = 0; i < 44100; ++i) {
    Put16(data, static_cast<uint16_t>(i * 3));
    Put16(data, static_cast<uint16_t>(-i));
  }
  const std::string in = Write("in.wav", PcmWav(MakeFormat(1, 2, 44100, 16), data));
  const std::string out = fFolder + "/out.wav";
  auto result = RunProgram(Tool("play " + in + " --out " + out));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "44100\n");
  std::string played = Read(out);
  ASSERT_EQ(played.size(), 44u + data.size());
  EXPECT_EQ(played.compare(44, std::string::npos, std::string(data.begin(), data.end())), 0);

  result = RunProgram(Tool("play " + in + " --out " + out + " --start 500 --length 100"));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "4410\n");
  played = Read(out);
  ASSERT_EQ(played.size(), 44u + 4410 * 4);
  EXPECT_EQ(played.compare(44, std::string::npos, std::string(data.begin() + 22050 * 4, data.begin() + 26460 * 4)), 0);
}

TEST_F(AudioCommands, PlayRefusesBadArgumentsInOneLine) {
  const std::string in = Write("in.wav", PcmWav(MakeFormat(1, 2, 44100, 16), TBytes(4000, 0)));
  const std::string text = Write("text.wav", {'n', 'o', 't', ' ', 's', 'o', 'u', 'n', 'd'});
  const std::string out = fFolder + "/out.wav";
  fFiles.push_back(out);
  auto result = RunProgram(Tool("play " + in));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.output.find("--out OUT.wav is required"), std::string::npos) << result.output;
  result = RunProgram(Tool("play " + in + " --out " + out + " --volume loud"));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.output.find("--volume needs a number"), std::string::npos) << result.output;
  result = RunProgram(Tool("play " + text + " --out " + out));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, "zeltool play: cannot play " + text + " (not a sound file this player reads)\n");
}

bool HaveTools() { return testing_support::HaveProgram("ffmpeg") && testing_support::HaveProgram("mpg123"); }

// Every kind is identified through the same command, each with the decoder
// that serves it: MPEG (4), WMA (5), Ogg (6) and, for anything else, the
// media library (10); decode-audio gives what the reference decoder gives.
TEST_F(AudioCommands, CompressedKindsAreIdentifiedAndDecoded) {
  if (!HaveTools()) GTEST_SKIP() << "ffmpeg and mpg123 are not installed";
  const std::string mp3 = fFolder + "/s.mp3";
  const std::string wma = fFolder + "/s.wma";
  const std::string ogg = fFolder + "/s.ogg";
  const std::string flac = fFolder + "/s.flac";
  for (const auto& [file, codec] : std::vector<std::pair<std::string, std::string>>{
           {mp3, "libmp3lame -b:a 128k"}, {wma, "wmav2"}, {ogg, "libvorbis"}, {flac, "flac"}}) {
    fFiles.push_back(file);
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=330:duration=3 -ac 2 -c:a " + codec +
                           " " + file).c_str()),
              0);
  }
  const auto kindOf = [&](const std::string& file) {
    const auto result = RunProgram(Tool("audio-info " + file));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output.substr(0, result.output.find(' '));
  };
  EXPECT_EQ(kindOf(mp3), "4");
  EXPECT_EQ(kindOf(wma), "5");
  EXPECT_EQ(kindOf(ogg), "6");
  EXPECT_EQ(kindOf(flac), "10");

  const std::string decoded = fFolder + "/d.wav";
  const std::string reference = fFolder + "/r.raw";
  fFiles.push_back(reference);
  const auto result = RunProgram(Tool("decode-audio " + mp3 + " " + decoded));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "44100 2 16 0.000\n");
  ASSERT_EQ(std::system(("mpg123 -q --no-gapless -s " + mp3 + " > " + reference).c_str()), 0);
  const std::string ours = Read(decoded);
  const std::string theirs = Read(reference);
  ASSERT_GT(theirs.size(), 44100u * 4);
  EXPECT_EQ(ours.size(), 44 + theirs.size());
  EXPECT_EQ(ours.compare(44, std::string::npos, theirs), 0);
}

TEST_F(AudioCommands, MediaInfoReportsTheCorrectedPicture) {
  if (!HaveTools()) GTEST_SKIP() << "ffmpeg is not installed";
  const auto fieldsOf = [&](const std::string& clip, const std::string& options) {
    fFiles.push_back(clip);
    EXPECT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i testsrc=rate=25:duration=2:" + options + " " + clip)
                              .c_str()),
              0);
    const auto result = RunProgram(Tool("media-info " + clip));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<long long> fields;
    std::istringstream in(result.output);
    for (long long value; in >> value;) fields.push_back(value);
    return fields;
  };
  // 1088 lines are reported as 1080 (square pixels: 16:9); 50 frames at
  // 25/1; Matroska, progressive, no audio streams.
  EXPECT_EQ(fieldsOf(fFolder + "/c.mkv", "size=1920x1088 -c:v mpeg4"),
            (std::vector<long long>{1920, 1080, 25, 1, 50, 0, 2000000, 2, 0, 2, 0}));
  // A PAL picture stretched to 16:9 in an MPEG-2 program stream.
  const auto wide = fieldsOf(fFolder + "/w.mpg", "size=720x576 -c:v mpeg2video -aspect 16:9");
  ASSERT_EQ(wide.size(), 11u);
  EXPECT_EQ(wide[7], 4);  // mpeg
  EXPECT_EQ(wide[9], 2);  // wide

  const auto missing = RunProgram(Tool("media-info " + fFolder + "/none.mkv"));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.output.rfind("zeltool media-info: cannot open ", 0), 0u) << missing.output;
}

}  // namespace
}  // namespace zel
