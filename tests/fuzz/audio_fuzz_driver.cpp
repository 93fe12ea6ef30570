// The sound identification and decoding fuzz entry point in every test
// run: the committed seed corpus, the seeds made here by the WAV writers of
// the sound tests, then random mutations of them all. With ZEL_FUZZ_SEEDS
// set to a folder, the seeds made here are written there (that is how the
// committed corpus was made).
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audio/adpcm_decoder.h"
#include "audio/wav_files.h"
#include "fuzz_driver.h"

namespace zel::fuzzing {
namespace {

using namespace zel::testing;

// MS ADPCM blocks with valid predictors and random codes.
TBytes AdpcmBlocks(int channels, int blockAlign, int blocks, uint32_t seed) {
  TBytes data = Noise(static_cast<size_t>(blockAlign * blocks), seed);
  for (int b = 0; b < blocks; ++b) {
    for (int c = 0; c < channels; ++c) data[static_cast<size_t>(b * blockAlign + c)] %= 7;
  }
  return data;
}

std::vector<std::string> Seeds() {
  const TWaveFormat mono8 = MakeFormat(1, 1, 22050, 8);
  TWaveFormat mpeg = MakeFormat(85, 2, 44100, 0, 1);
  mpeg.AvgBytesPerSec = 16000;
  const TWaveFormat adpcmMono = MakeFormat(2, 1, 22050, 4, 256);
  const TWaveFormat adpcmStereo = MakeFormat(2, 2, 44100, 4, 512);
  const std::vector<TBytes> seeds = {
      PcmWav(mono8, Noise(300, 1)),
      Riff({ListChunk(), Chunk("fmt ", FormatContent(MakeFormat(1, 2, 44100, 16))), ListChunk(),
            Chunk("data", Noise(400, 2))}),
      PcmWav(MakeFormat(1, 2, 48000, 24), Noise(240, 3)),
      PcmWav(MakeFormat(1, 6, 48000, 32), Noise(480, 4)),
      PcmWav(MakeFormat(3, 2, 48000, 32), Noise(256, 5)),
      AdpcmWav(adpcmMono, MakeAdpcmExtra(0), AdpcmBlocks(1, 256, 3, 6)),
      AdpcmWav(adpcmStereo, MakeAdpcmExtra(0), AdpcmBlocks(2, 512, 2, 7)),
      Riff({Chunk("fmt ", FormatContent(mpeg, true, TBytes(12, 0))), Chunk("data", Noise(200, 8))}),
      Riff({Chunk("fmt ", FormatContent(mono8)), Chunk("LIST", {}, 0xFFFFFFF8ll), Chunk("data", Noise(20, 9))}),
      Riff({Chunk("fmt ", FormatContent(mono8)), Chunk("data", Noise(50, 10), 0x80000000ll)}),
  };
  std::vector<std::string> inputs;
  for (const auto& seed : seeds) inputs.emplace_back(seed.begin(), seed.end());
  return inputs;
}

TEST(AudioFuzz, SeedCorpus) {
  const auto made = Seeds();
  const char* folder = std::getenv("ZEL_FUZZ_SEEDS");
  for (size_t i = 0; i < made.size(); ++i) {
    if (folder) std::ofstream(std::string(folder) + "/audio_" + std::to_string(i), std::ios::binary) << made[i];
    EXPECT_EQ(Feed(made[i]), 0);
  }
  const auto committed = Corpus(ZEL_AUDIO_CORPUS);
  ASSERT_GE(committed.size(), 10u);
  for (const auto& input : committed) EXPECT_EQ(Feed(input), 0);
}

TEST(AudioFuzz, RandomMutations) {
  auto inputs = Corpus(ZEL_AUDIO_CORPUS);
  for (auto& seed : Seeds()) inputs.push_back(std::move(seed));
  static const char kAlphabet[] = "RIFFWAVEfmt dataLIST\x00\x01\x02\x03\x06\x55\x80\xFF\x7F\x10\x12\x32";
  FeedMutations(inputs, std::string(kAlphabet, sizeof kAlphabet - 1), 3000, 20240611);
}

}  // namespace
}  // namespace zel::fuzzing
