#include "audio/mpeg_converter.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/media_info_extractor.h"
#include "audio/mp3_shift_stream.h"
#include "audio/mpeg_frames.h"
#include "audio/wav_files.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using namespace zel::testing;
using TSamples = std::vector<int16_t>;

// Exposes the read size.
class TProbe : public TMpegConverter {
 public:
  using TMpegConverter::TMpegConverter;
  int64_t Chunk() const { return ChunkSize; }
};

TMediaInfo IdentifyBytes(TStream& stream, const char16_t* name) {
  TMediaInfoExtractor extractor;
  extractor.SetMpegParser(ParseMpeg);
  TMediaInfo info;
  EXPECT_TRUE(extractor.Identify(stream, name, info));
  return info;
}

// Everything the decoder gives until its data ends, read and decoded step
// by step so that no padding is added.
TSamples DecodeRest(TMpegConverter& decoder) {
  TSamples samples;
  for (bool read = true; read;) {
    read = decoder.ReadMore();
    EXPECT_TRUE(decoder.Decode(decoder.Input));
    const size_t at = samples.size();
    samples.resize(at + static_cast<size_t>(decoder.Output.Length() / 2));
    std::memcpy(samples.data() + at, decoder.Output.Data(), static_cast<size_t>(decoder.Output.Length() / 2 * 2));
    decoder.Output.Clear();
  }
  return samples;
}

// An identified and opened decoder over bytes.
struct TOpened {
  std::unique_ptr<TMemoryStream> Stream;
  TMediaInfo Info;
  TMpegConverter Decoder;

  explicit TOpened(const TBytes& bytes, const char16_t* name = u"sound.mp3")
      : Stream(StreamOf(bytes)), Info(IdentifyBytes(*Stream, name)), Decoder(Stream.get()) {
    EXPECT_EQ(Info.Kind, TMediaKind::Mpeg);
    EXPECT_TRUE(Decoder.Open(Info));
  }
};

// MPEG-1 layer III frames of silence (all-zero side information).
TBytes SilentFrames(int count, int bitRateIndex = 9) {
  TBytes bytes;
  THeaderFields f;
  f.BitRateIndex = bitRateIndex;
  TMpegHeader header;
  TMpegHeader::Decode(HeaderBytes(f).data(), header);
  for (int n = 0; n < count; ++n) Append(bytes, Frame(f, static_cast<size_t>(header.FrameLength())));
  return bytes;
}

TEST(MpegConverter, ReadsSixFramesOfAConstantBitRate) {
  for (const auto& [bitRateIndex, chunk] : {std::pair{9, 6 * 417}, std::pair{14, 4096}}) {
    const TBytes bytes = SilentFrames(20, bitRateIndex);
    auto stream = StreamOf(bytes);
    const TMediaInfo info = IdentifyBytes(*stream, u"a.mp3");
    TProbe probe(stream.get());
    ASSERT_TRUE(probe.Open(info));
    EXPECT_EQ(probe.Chunk(), chunk);
  }
  TBytes vbr = XingFrame({}, 417, 36, 20, 0);
  Append(vbr, SilentFrames(20));
  auto stream = StreamOf(vbr);
  TProbe probe(stream.get());
  ASSERT_TRUE(probe.Open(IdentifyBytes(*stream, u"a.mp3")));
  EXPECT_EQ(probe.Chunk(), 4096);
}

TEST(MpegConverter, DecodesEveryFrameWhole) {
  TOpened file(SilentFrames(40));
  EXPECT_EQ(file.Decoder.OutputFormat(), Pcm16Format(44100, 2));
  const TSamples samples = DecodeRest(file.Decoder);
  EXPECT_EQ(samples.size(), 40u * 1152 * 2);
  EXPECT_EQ(std::count(samples.begin(), samples.end(), 0), static_cast<ptrdiff_t>(samples.size()));
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 40 * 1152 * 1000.0 / 44100);
  // Nothing more: silence and false.
  EXPECT_FALSE(file.Decoder.Fill(1000));
  EXPECT_EQ(file.Decoder.Output.Length(), 1000);
}

// Junk between frames, with a header-like pattern in it, is dropped.
TEST(MpegConverter, ResynchronisesOverJunk) {
  const TBytes frames = SilentFrames(30);
  TBytes junk = Noise(777, 3);
  junk[100] = 0xFF, junk[101] = 0xFB, junk[102] = 0x90, junk[103] = 0x00;
  TBytes damaged(frames.begin(), frames.begin() + 417 * 12);
  Append(damaged, junk);
  damaged.insert(damaged.end(), frames.begin() + 417 * 12, frames.end());
  TOpened file(damaged);
  EXPECT_EQ(DecodeRest(file.Decoder).size(), 30u * 1152 * 2);
  EXPECT_EQ(file.Decoder.DroppedBytes(), 777);
}

// ---------------------------------------------------------------------------
// Real files from Debian's encoder and decoder.

#define REQUIRE_TOOLS()                                                                              \
  if (!testing_support::HaveProgram("ffmpeg") || !testing_support::HaveProgram("mpg123")) GTEST_SKIP() << "ffmpeg and mpg123 are not installed"

// A folder of this process's own for the made files, removed at exit.
struct TWorkFolder {
  std::string Path;
  TWorkFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel_mpeg_XXXXXX").string();
    if (mkdtemp(pattern.data())) Path = pattern;
  }
  ~TWorkFolder() {
    std::error_code ignored;
    if (!Path.empty()) std::filesystem::remove_all(Path, ignored);
  }
};

const std::string& WorkFolder() {
  static const TWorkFolder folder;
  return folder.Path;
}

TBytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  return TBytes(text.begin(), text.end());
}

struct TSoundKind {
  const char* Name;
  const char* Codec;  // ffmpeg's options
  int Channels;
  int Rate;
  const char* Container = "mp3";
};

void PrintTo(const TSoundKind& kind, std::ostream* out) { *out << kind.Name; }

// Two tones (a different one on the right) with a rising sweep, 8 seconds.
std::string MakeSound(const TSoundKind& kind) {
  const std::string path = WorkFolder() + "/" + kind.Name + "." + kind.Container;
  const std::string tones = kind.Channels == 1 ? "0.5*sin(440*2*PI*t)+0.2*sin(30*PI*t*t)"
                                               : "0.5*sin(440*2*PI*t)|0.4*sin(660*2*PI*t)+0.2*sin(30*PI*t*t)";
  const std::string command = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i 'aevalsrc=" + tones +
                              ":s=" + std::to_string(kind.Rate) + ":d=8' " + kind.Codec + " -f " +
                              kind.Container + " '" + path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return path;
}

// mpg123's own decoding, every frame whole, as 16-bit samples.
TSamples Reference(const std::string& path) {
  const std::string raw = path + ".raw";
  const std::string command = "mpg123 --no-gapless -q -s '" + path + "' > '" + raw + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const TBytes bytes = ReadBytes(raw);
  TSamples samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

class MpegFiles : public ::testing::TestWithParam<TSoundKind> {};

TEST_P(MpegFiles, WholeFileMatchesMpg123) {
  REQUIRE_TOOLS();
  const TSoundKind& kind = GetParam();
  const std::string path = MakeSound(kind);
  const TSamples expected = Reference(path);
  ASSERT_FALSE(expected.empty());
  TOpened file(ReadBytes(path));
  EXPECT_EQ(file.Info.Format, Pcm16Format(static_cast<uint32_t>(kind.Rate), static_cast<uint16_t>(kind.Channels)));
  const TSamples samples = DecodeRest(file.Decoder);
  ASSERT_EQ(samples.size(), expected.size());
  EXPECT_TRUE(samples == expected);
  const double ms = samples.size() / kind.Channels * 1000.0 / kind.Rate;
  EXPECT_NEAR(file.Decoder.Position, ms, 1e-6);
  // The stated playing time is within two frames of the decoded one.
  EXPECT_NEAR(file.Info.Duration, ms, 2 * 1152 * 1000.0 / kind.Rate);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MpegFiles,
                         ::testing::Values(TSoundKind{"cbr_stereo", "-c:a libmp3lame -b:a 128k", 2, 44100},
                                           TSoundKind{"vbr_stereo", "-c:a libmp3lame -q:a 4", 2, 44100},
                                           TSoundKind{"cbr_mono_22k", "-c:a libmp3lame -b:a 64k", 1, 22050},
                                           TSoundKind{"vbr_mono_22k", "-c:a libmp3lame -q:a 4", 1, 22050},
                                           TSoundKind{"layer2", "-c:a mp2 -b:a 192k", 2, 44100, "mp2"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Where the decoder's samples after a seek lie in the whole decoding: the
// offset (in frames) within 1 ms of the reported position where they match.
int64_t MatchAt(const TSamples& whole, const TSamples& slice, int channels, int rate, double position) {
  const int64_t expected = std::llround(position * rate / 1000);
  const int64_t slack = rate / 1000;
  const size_t count = std::min<size_t>(slice.size(), 4096 * static_cast<size_t>(channels));
  for (int64_t d = 0; d <= slack; ++d) {
    for (const int64_t frame : {expected - d, expected + d}) {
      const auto at = static_cast<size_t>(frame * channels);
      if (frame < 0 || at + count > whole.size()) continue;
      const auto from = whole.begin() + static_cast<ptrdiff_t>(at);
      if (std::equal(slice.begin(), slice.begin() + static_cast<ptrdiff_t>(count), from)) return frame;
    }
  }
  return -1;
}

class MpegSeekFiles : public ::testing::TestWithParam<TSoundKind> {};

TEST_P(MpegSeekFiles, SeekMatchesTheWholeDecodingAtItsPosition) {
  REQUIRE_TOOLS();
  const TSoundKind& kind = GetParam();
  const std::string path = MakeSound(kind);
  const TSamples whole = Reference(path);
  TOpened file(ReadBytes(path));
  const int64_t frameBytes = 2 * kind.Channels;
  for (const double ms : {5000.0, 150.0, 1234.5, 2500.0, 3333.0, 6001.0, 7000.0}) {
    SCOPED_TRACE(ms);
    file.Decoder.Seek(ms);
    const double position = file.Decoder.Position;
    EXPECT_NEAR(position, ms, 1152 * 1000.0 / kind.Rate);
    ASSERT_TRUE(file.Decoder.Fill(4096 * frameBytes));
    TSamples slice(4096 * static_cast<size_t>(kind.Channels));
    std::memcpy(slice.data(), file.Decoder.Output.Data(), slice.size() * 2);
    EXPECT_GE(MatchAt(whole, slice, kind.Channels, kind.Rate, position), 0);
  }
  // Near the start the lead-in is the beginning itself: no correction.
  file.Decoder.Seek(50);
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 50);
  const TSamples slice = DecodeRest(file.Decoder);
  EXPECT_EQ(MatchAt(whole, slice, kind.Channels, kind.Rate, 50), std::llround(50.0 * kind.Rate / 1000));
  EXPECT_EQ(slice.size(), whole.size() - static_cast<size_t>(std::llround(50.0 * kind.Rate / 1000) * kind.Channels));
}

INSTANTIATE_TEST_SUITE_P(Kinds, MpegSeekFiles,
                         ::testing::Values(TSoundKind{"seek_cbr", "-c:a libmp3lame -b:a 128k", 2, 44100},
                                           TSoundKind{"seek_vbr", "-c:a libmp3lame -q:a 4", 2, 44100},
                                           TSoundKind{"seek_cbr_22k", "-c:a libmp3lame -b:a 64k", 1, 22050},
                                           TSoundKind{"seek_vbr_22k", "-c:a libmp3lame -q:a 2", 1, 22050},
                                           TSoundKind{"seek_layer2", "-c:a mp2 -b:a 192k", 2, 44100, "mp2"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// MPEG in a WAV file plays from its data chunk, as the music channel opens
// it: shifted so that the data starts at 0.
TEST(MpegConverterFiles, MpegInsideWav) {
  REQUIRE_TOOLS();
  const std::string path = MakeSound({"in_wav", "-c:a libmp3lame -b:a 128k", 2, 44100, "wav"});
  const TBytes wav = ReadBytes(path);
  auto outer = StreamOf(wav);
  TMediaInfo info = IdentifyBytes(*outer, u"in_wav.wav");
  ASSERT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_TRUE(info.MpegInRiff);
  ASSERT_LE(info.DataOffset + info.DataSize, static_cast<int64_t>(wav.size()));
  const std::string data = path + ".mp3";
  std::ofstream(data, std::ios::binary)
      .write(reinterpret_cast<const char*>(wav.data() + info.DataOffset), static_cast<std::streamsize>(info.DataSize));
  const TSamples expected = Reference(data);
  ASSERT_FALSE(expected.empty());
  TMp3ShiftStream shifted(StreamOf(wav), info.DataOffset);
  info.DataOffset = 0;
  TMpegConverter decoder(&shifted);
  ASSERT_TRUE(decoder.Open(info));
  EXPECT_TRUE(DecodeRest(decoder) == expected);
}

// A target format goes through the base's converter; decoders on two
// threads at once give what one alone gives.
TEST(MpegConverterFiles, TargetFormatAndParallelDecoders) {
  REQUIRE_TOOLS();
  const TBytes mono = ReadBytes(MakeSound({"target", "-c:a libmp3lame -b:a 64k", 1, 22050}));
  TOpened alone(mono);
  const TSamples single = DecodeRest(alone.Decoder);
  TOpened converted(mono);
  converted.Decoder.SetTargetFormat(Pcm16Format(44100, 2));
  EXPECT_EQ(converted.Decoder.OutputFormat(), Pcm16Format(44100, 2));
  const TSamples stereo = DecodeRest(converted.Decoder);
  EXPECT_NEAR(static_cast<double>(stereo.size()), 4.0 * single.size(), 16);
  for (size_t i = 0; i + 1 < stereo.size(); i += 2) ASSERT_EQ(stereo[i], stereo[i + 1]);
  EXPECT_NEAR(converted.Decoder.Position, alone.Decoder.Position, 0.1);

  std::vector<TSamples> results(2);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&] {
      for (int round = 0; round < 3; ++round) {
        TOpened file(mono);
        result = DecodeRest(file.Decoder);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_TRUE(result == single);
}

}  // namespace
}  // namespace zel
