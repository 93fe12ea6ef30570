#include "audio/adpcm_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <unistd.h>

#include "audio/media_info_extractor.h"
#include "audio/wav_files.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using namespace zel::testing;

TAdpcmFormat StandardFormat(int32_t channels, int32_t blockAlign, int32_t samplesPerBlock = 0) {
  TWaveFormat wave = MakeFormat(2, static_cast<uint16_t>(channels), 22050, 4, static_cast<uint16_t>(blockAlign));
  TAdpcmFormat format;
  EXPECT_TRUE(ReadAdpcmFormat(wave, MakeAdpcmExtra(samplesPerBlock), format));
  return format;
}

std::vector<int16_t> Decode(const TBytes& block, const TAdpcmFormat& format,
                            TAdpcmResult expected = TAdpcmResult::Ok) {
  std::vector<int16_t> samples;
  EXPECT_EQ(DecodeAdpcmBlock(block, format, samples), expected);
  return samples;
}

// Predictor 1 (512, -256), step 16, newest sample 100, older sample 50,
// codes 7, -1, -8, 0. Worked through:
//   7: (100*512 - 50*256)/256 = 150, + 7*16 = 262; step 614*16/256 -> 38
//  -1: (262*512 - 100*256)/256 = 424, - 38 = 386; step 230*38/256 -> 34
//  -8: (386*512 - 262*256)/256 = 510, - 8*34 = 238; step 768*34/256 -> 102
//   0: (238*512 - 386*256)/256 = 90, + 0 = 90
TEST(AdpcmDecoder, MonoBlockWorkedByHand) {
  const TAdpcmFormat format = StandardFormat(1, 9);
  EXPECT_EQ(format.SamplesPerBlock, 6);
  const TBytes block = {1, 16, 0, 100, 0, 50, 0, 0x7F, 0x80};
  EXPECT_EQ(Decode(block, format), (std::vector<int16_t>{50, 100, 262, 386, 238, 90}));
}

// Left: predictor 0 (256, 0), step 20, samples 10 / 0, codes 3, -2.
// Right: predictor 2 (0, 0), step 32, samples -5 / 7, codes 1, 2.
//   L 3: 10 + 3*20 = 70, step 230*20/256 -> 17;  L -2: 70 - 2*17 = 36
//   R 1: 0 + 1*32 = 32, step 230*32/256 -> 28;   R 2: 0 + 2*28 = 56
TEST(AdpcmDecoder, StereoBlockInterleavesHighNibbleLeft) {
  const TAdpcmFormat format = StandardFormat(2, 16);
  EXPECT_EQ(format.SamplesPerBlock, 4);
  const TBytes block = {0, 2, 20, 0, 32, 0, 10, 0, 0xFB, 0xFF, 0, 0, 7, 0, 0x31, 0xE2};
  EXPECT_EQ(Decode(block, format), (std::vector<int16_t>{0, 7, 10, -5, 70, 32, 36, 56}));
}

TEST(AdpcmDecoder, PredictionRoundsTowardZeroAndStepHasAFloor) {
  // Predictor 4 (240, 0) on -1: -240/256 is 0 toward zero (-1 rounding
  // down). The step 16 would shrink to 14 and stays 16: code 1 adds 16.
  const TAdpcmFormat format = StandardFormat(1, 9);
  EXPECT_EQ(Decode({4, 16, 0, 0xFF, 0xFF, 0, 0, 0x01, 0x10}, format), (std::vector<int16_t>{0, -1, 0, 16, 31, 29}));
}

TEST(AdpcmDecoder, SamplesClampToSixteenBits) {
  const TAdpcmFormat format = StandardFormat(1, 8);
  // 32000 + 7*1000 and -32000 - 8*1000 clamp.
  EXPECT_EQ(Decode({0, 0xE8, 0x03, 0x00, 0x7D, 0, 0, 0x77}, format),
            (std::vector<int16_t>{0, 32000, 32767, 32767}));
  EXPECT_EQ(Decode({0, 0xE8, 0x03, 0x00, 0x83, 0, 0, 0x88}, format),
            (std::vector<int16_t>{0, -32000, -32768, -32768}));
}

TEST(AdpcmDecoder, LargeStepsSaturateWithoutOverflow) {
  // A 2048-byte block of the largest codes with the largest step grows the
  // step every code; the samples stay at the rails.
  const TAdpcmFormat format = StandardFormat(1, 2048);
  TBytes block(2048, 0x77);
  block[0] = 0;
  block[1] = 0xFF, block[2] = 0x7F;
  block[3] = block[4] = block[5] = block[6] = 0;
  const auto samples = Decode(block, format);
  ASSERT_EQ(samples.size(), 4084u);
  EXPECT_EQ(samples.back(), 32767);
}

TEST(AdpcmDecoder, BadPredictorIsRefused) {
  const TAdpcmFormat format = StandardFormat(1, 9);
  std::vector<int16_t> samples = {5};
  EXPECT_EQ(DecodeAdpcmBlock(TBytes{7, 16, 0, 0, 0, 0, 0, 0, 0}, format, samples), TAdpcmResult::BadPredictor);
  EXPECT_EQ(samples, std::vector<int16_t>{5});  // nothing appended

  // With four coefficient pairs, index 4 is already out of range.
  TWaveFormat wave = MakeFormat(2, 2, 8000, 4, 16);
  TAdpcmFormat four;
  ASSERT_TRUE(ReadAdpcmFormat(wave, MakeAdpcmExtra(4, std::span(kStandardAdpcmCoefficients).first(4)), four));
  EXPECT_EQ(four.CoefficientCount, 4);
  TBytes block(16, 0);
  block[0] = 3, block[1] = 4;
  Decode(block, four, TAdpcmResult::BadPredictor);
  block[1] = 3;
  Decode(block, four);
}

TEST(AdpcmDecoder, BlockSizeLimits) {
  const TAdpcmFormat format = StandardFormat(1, 2048);
  Decode(TBytes(2049, 0), format, TAdpcmResult::BlockTooLarge);
  Decode(TBytes(6, 0), format, TAdpcmResult::BlockTooShort);
  EXPECT_EQ(Decode(TBytes(2048, 0), format).size(), 4084u);
  // A short last block gives what it holds.
  EXPECT_EQ(Decode(TBytes(10, 0), format).size(), 8u);
  // A block of headers only gives the two header samples.
  EXPECT_EQ(Decode(TBytes(7, 0), format).size(), 2u);
}

TEST(AdpcmDecoder, FormatParameters) {
  TAdpcmFormat format;
  TWaveFormat wave = MakeFormat(2, 1, 22050, 4, 256);
  EXPECT_TRUE(ReadAdpcmFormat(wave, MakeAdpcmExtra(500), format));
  EXPECT_EQ(format.SamplesPerBlock, 500);
  EXPECT_EQ(format.CoefficientCount, 7);
  EXPECT_EQ(format.Coefficients[5].Coef1, 460);
  EXPECT_EQ(format.Coefficients[5].Coef2, -208);
  EXPECT_TRUE(ReadAdpcmFormat(wave, MakeAdpcmExtra(0), format));
  EXPECT_EQ(format.SamplesPerBlock, 500);                           // all the block holds
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(501), format));  // more than it holds
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(1), format));
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(500, {}), format));  // no coefficients
  wave.BlockAlign = 2049;
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(0), format));
  wave.BlockAlign = 13;
  wave.Channels = 2;
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(0), format));  // below two headers
  wave.Channels = 0;
  EXPECT_FALSE(ReadAdpcmFormat(wave, MakeAdpcmExtra(0), format));
  // A count above seven keeps seven.
  TExtraFormat extra = MakeAdpcmExtra(0);
  extra[2] = 200;
  wave = MakeFormat(2, 1, 22050, 4, 256);
  EXPECT_TRUE(ReadAdpcmFormat(wave, extra, format));
  EXPECT_EQ(format.CoefficientCount, 7);
  // A fewer samples per block than the block holds leaves the rest.
  const TAdpcmFormat shortBlocks = StandardFormat(1, 9, 4);
  EXPECT_EQ(Decode({1, 16, 0, 100, 0, 50, 0, 0x7F, 0x80}, shortBlocks),
            (std::vector<int16_t>{50, 100, 262, 386}));
}

TEST(AdpcmDecoder, ConsecutiveBlocks) {
  const TAdpcmFormat format = StandardFormat(1, 9);
  TBytes input = {1, 16, 0, 100, 0, 50, 0, 0x7F, 0x80};
  input.insert(input.end(), input.begin(), input.end());
  input.insert(input.end(), {1, 16, 0, 100, 0});  // a partial third block
  std::vector<int16_t> samples;
  TAdpcmResult result;
  EXPECT_EQ(DecodeAdpcmBlocks(input, format, false, samples, &result), 18);
  EXPECT_EQ(result, TAdpcmResult::Ok);
  EXPECT_EQ(samples.size(), 12u);
  EXPECT_EQ(samples[6], 50);
  EXPECT_EQ(samples[11], 90);
  // As the end of the data the partial block is too short for its header.
  samples.clear();
  EXPECT_EQ(DecodeAdpcmBlocks(input, format, true, samples, &result), 18);
  EXPECT_EQ(result, TAdpcmResult::BlockTooShort);
  input[9] = 9;  // the second block's predictor
  samples.clear();
  EXPECT_EQ(DecodeAdpcmBlocks(input, format, false, samples, &result), 9);
  EXPECT_EQ(result, TAdpcmResult::BadPredictor);
  EXPECT_EQ(samples.size(), 6u);
}

// ---------------------------------------------------------------------------
// Against FFmpeg's decoder on files its encoder made.

bool HaveFfmpeg() { return testing_support::HaveProgram("ffmpeg"); }

TBytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  return TBytes(text.begin(), text.end());
}

// A scratch folder for one test's files, removed afterwards.
struct TScratch {
  std::filesystem::path Folder = std::filesystem::temp_directory_path() /
                                 ("zel_adpcm_" + std::to_string(::getpid()) + "_" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  TScratch() { std::filesystem::create_directories(Folder); }
  ~TScratch() { std::filesystem::remove_all(Folder); }
};

// FFmpeg's decoding of a WAV file as 16-bit samples.
std::vector<int16_t> FfmpegDecode(const TScratch& scratch, const std::filesystem::path& wav) {
  const auto raw = scratch.Folder / "x.raw";
  const std::string command = "ffmpeg -v error -y -i " + wav.string() + " -f s16le " + raw.string();
  EXPECT_EQ(std::system(command.c_str()), 0);
  const TBytes bytes = ReadFile(raw);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return samples;
}

// Ours: identified, then every block of the data decoded.
std::vector<int16_t> OurDecode(const TBytes& file, TMediaInfo& info, TAdpcmFormat& format) {
  auto stream = StreamOf(file);
  std::vector<int16_t> samples;
  EXPECT_TRUE(TMediaInfoExtractor().Identify(*stream, u"x.wav", info));
  EXPECT_EQ(info.Kind, TMediaKind::MsAdpcm);
  if (!ReadAdpcmFormat(info.Format, info.ExtraFormat, format)) {
    ADD_FAILURE() << "format not decodable";
    return samples;
  }
  const std::span<const uint8_t> data(file.data() + info.DataOffset, static_cast<size_t>(info.DataSize));
  TAdpcmResult result;
  EXPECT_EQ(DecodeAdpcmBlocks(data, format, true, samples, &result), info.DataSize);
  EXPECT_EQ(result, TAdpcmResult::Ok);
  return samples;
}

void ExpectSameSamples(const std::vector<int16_t>& ours, const std::vector<int16_t>& reference) {
  ASSERT_EQ(ours.size(), reference.size());
  size_t differences = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    if (ours[i] != reference[i] && differences++ < 5) {
      ADD_FAILURE() << "sample " << i << ": " << ours[i] << " vs " << reference[i];
    }
  }
  EXPECT_EQ(differences, 0u);
}

// A file FFmpeg's encoder made (it writes predictor 0 only).
void CompareEncodedWithFfmpeg(int channels, int rate) {
  TScratch scratch;
  const auto wav = scratch.Folder / "x.wav";
  const std::string make = "ffmpeg -v error -y -f lavfi -i anoisesrc=d=0.7:c=pink:a=0.6:seed=7:r=" +
                           std::to_string(rate) + " -ac " + std::to_string(channels) + " -c:a adpcm_ms " +
                           wav.string();
  ASSERT_EQ(std::system(make.c_str()), 0);
  TMediaInfo info;
  TAdpcmFormat format;
  const auto samples = OurDecode(ReadFile(wav), info, format);
  EXPECT_EQ(info.Format.Channels, channels);
  ExpectSameSamples(samples, FfmpegDecode(scratch, wav));
  // The playing time is that of the samples (whole blocks: 0.7 s and a bit).
  const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
  EXPECT_EQ(AdpcmFrameCount(info.DataSize, format), frames);
  EXPECT_EQ(info.Duration, DurationMs(frames, rate));
  EXPECT_GE(info.Duration, 700);
}

// Random blocks with every standard predictor, random steps (negative
// ones too) and random codes: the arithmetic of all seven predictions.
void CompareRandomBlocksWithFfmpeg(int channels, int blockAlign) {
  TScratch scratch;
  std::mt19937 random(static_cast<uint32_t>(4711 + channels));
  TBytes data;
  for (int block = 0; block < 60; ++block) {
    TBytes bytes(static_cast<size_t>(blockAlign));
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    for (int c = 0; c < channels; ++c) bytes[c] = static_cast<uint8_t>(random() % 7);
    Append(data, bytes);
  }
  const TWaveFormat wave = MakeFormat(2, static_cast<uint16_t>(channels), 22050, 4, static_cast<uint16_t>(blockAlign));
  const auto wav = scratch.Folder / "x.wav";
  const TBytes file = AdpcmWav(wave, MakeAdpcmExtra(0), data);
  std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                             static_cast<std::streamsize>(file.size()));
  TMediaInfo info;
  TAdpcmFormat format;
  ExpectSameSamples(OurDecode(file, info, format), FfmpegDecode(scratch, wav));
}

TEST(AdpcmDecoder, MatchesFfmpegMono) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  CompareEncodedWithFfmpeg(1, 22050);
}

TEST(AdpcmDecoder, MatchesFfmpegStereo) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  CompareEncodedWithFfmpeg(2, 44100);
}

TEST(AdpcmDecoder, RandomBlocksMatchFfmpegMono) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  CompareRandomBlocksWithFfmpeg(1, 256);
}

TEST(AdpcmDecoder, RandomBlocksMatchFfmpegStereo) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  CompareRandomBlocksWithFfmpeg(2, 512);
}

}  // namespace
}  // namespace zel
