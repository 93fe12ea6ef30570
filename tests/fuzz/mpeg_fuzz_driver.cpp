// The MPEG audio fuzz entry point in every test run: the committed seed
// corpus (frames made here and short files from Debian's encoders), the
// seeds made here, then random mutations of them all. With ZEL_FUZZ_SEEDS
// set to a folder, the seeds made here are written there.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "audio/mpeg_frames.h"
#include "audio/mpeg_info.h"
#include "audio/wav_files.h"
#include "fuzz_driver.h"

namespace zel::fuzzing {
namespace {

using namespace zel::testing;

// count frames of one header, silent (all-zero side information) or filled.
TBytes Frames(const THeaderFields& fields, int count, uint8_t fill = 0) {
  TMpegHeader header;
  TMpegHeader::Decode(HeaderBytes(fields).data(), header);
  TBytes bytes;
  for (int n = 0; n < count; ++n) Append(bytes, Frame(fields, static_cast<size_t>(header.FrameLength()), fill));
  return bytes;
}

std::vector<std::string> Seeds() {
  const THeaderFields mpeg1{};
  const THeaderFields mono22{2, 3, 8, 0, false, 3};
  TBytes xing = XingFrame(mpeg1, 417, 36, 12, 5000);
  Append(xing, Frames(mpeg1, 12));
  TBytes vbri = VbriFrame(mpeg1, 417, 8, 3336);
  Append(vbri, Frames(mpeg1, 7));
  TBytes tagged = Id3v2Tag(200);
  Append(tagged, Frames(mpeg1, 6));
  Append(tagged, Id3v1Tag());
  TBytes junk = Noise(300, 11);
  Append(junk, Frames(mono22, 10));
  Append(junk, Noise(50, 12));
  Append(junk, Frames(mono22, 10));
  TWaveFormat format = MakeFormat(85, 2, 44100, 0, 1);
  format.AvgBytesPerSec = 16000;
  TBytes monoXing = XingFrame(mono22, 208, 13, 6, 1248);
  Append(monoXing, Frames(mono22, 6));
  const std::vector<TBytes> seeds = {
      Frames(mpeg1, 10),
      xing,
      vbri,
      tagged,
      junk,
      monoXing,
      Frames({3, 1, 4, 1}, 12),                      // layer I, 48 kHz
      Frames({0, 2, 3, 2, false, 2}, 8),             // MPEG-2.5 layer II
      Frames({3, 3, 5, 2, false, 1, true}, 9, 0x55),  // protected, filled
      Riff({Chunk("fmt ", FormatContent(format, true, TBytes(12, 0))), Chunk("data", Frames(mpeg1, 5))}),
  };
  std::vector<std::string> inputs;
  for (const auto& seed : seeds) inputs.emplace_back(seed.begin(), seed.end());
  return inputs;
}

TEST(MpegFuzz, SeedCorpus) {
  const auto made = Seeds();
  const char* folder = std::getenv("ZEL_FUZZ_SEEDS");
  for (size_t i = 0; i < made.size(); ++i) {
    if (folder) std::ofstream(std::string(folder) + "/mpeg_" + std::to_string(i), std::ios::binary) << made[i];
    EXPECT_EQ(Feed(made[i]), 0);
  }
  const auto committed = Corpus(ZEL_MPEG_CORPUS);
  ASSERT_GE(committed.size(), 10u);
  for (const auto& input : committed) EXPECT_EQ(Feed(input), 0);
}

TEST(MpegFuzz, RandomMutations) {
  auto inputs = Corpus(ZEL_MPEG_CORPUS);
  for (auto& seed : Seeds()) inputs.push_back(std::move(seed));
  static const char kAlphabet[] = "XingInfoVBRIID3TAGRIFFWAVEfmt data\xFF\xFB\xFA\xF3\xE2\x90\x50\x44\x00\x01\xC0\x55";
  FeedMutations(inputs, std::string(kAlphabet, sizeof kAlphabet - 1), 3000, 20240612);
}

}  // namespace
}  // namespace zel::fuzzing
