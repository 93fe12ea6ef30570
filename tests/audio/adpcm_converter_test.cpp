#include "audio/adpcm_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/media_info_extractor.h"
#include "audio/wav_files.h"

namespace zel {
namespace {

using namespace zel::testing;

// Blocks with valid predictors and random codes; a last partial block of
// lastBytes when not 0.
TBytes Blocks(int channels, int blockAlign, int blocks, int lastBytes, uint32_t seed) {
  std::mt19937 random(seed);
  TBytes data(static_cast<size_t>(blockAlign * blocks + lastBytes));
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t start = 0; start < data.size(); start += static_cast<size_t>(blockAlign)) {
    for (int c = 0; c < channels; ++c) data[start + static_cast<size_t>(c)] %= 7;
  }
  return data;
}

struct TAdpcmFile {
  std::unique_ptr<TMemoryStream> Stream;
  TMediaInfo Info;
  TAdpcmConverter Decoder;
  TAdpcmFormat Format;

  TAdpcmFile(int channels, int blockAlign, const TBytes& data)
      : Stream(StreamOf(AdpcmWav(MakeFormat(2, static_cast<uint16_t>(channels), 22050, 4,
                                            static_cast<uint16_t>(blockAlign)),
                                 MakeAdpcmExtra(0), data))),
        Decoder(Stream.get()) {
    EXPECT_TRUE(TMediaInfoExtractor().IdentifyWav(*Stream, Info));
    EXPECT_TRUE(Decoder.Open(Info));
    EXPECT_TRUE(ReadAdpcmFormat(Info.Format, Info.ExtraFormat, Format));
  }

  // Everything the decoder gives until the end, and the silence after it.
  std::vector<int16_t> DecodeAll() {
    std::vector<int16_t> samples;
    for (;;) {
      const bool more = Decoder.Fill(1000);
      const auto* data = reinterpret_cast<const int16_t*>(Decoder.Output.Data());
      samples.insert(samples.end(), data, data + 500);
      Decoder.Output.Consume(1000);
      if (!more) return samples;
    }
  }
};

std::vector<int16_t> OneShot(const TBytes& data, const TAdpcmFormat& format) {
  std::vector<int16_t> samples;
  DecodeAdpcmBlocks(data, format, true, samples);
  return samples;
}

// Chunks of 2048 bytes split blocks of 300 and 1000 bytes; the partial
// block at the end is decoded too.
TEST(AdpcmConverter, DecodesLikeTheWholeData) {
  for (const auto& [channels, blockAlign] : {std::pair{1, 300}, std::pair{2, 1000}, std::pair{2, 512}}) {
    const TBytes data = Blocks(channels, blockAlign, 23, blockAlign / 3, static_cast<uint32_t>(blockAlign));
    TAdpcmFile file(channels, blockAlign, data);
    EXPECT_EQ(file.Decoder.OutputFormat(), Pcm16Format(22050, static_cast<uint16_t>(channels)));
    const auto expected = OneShot(data, file.Format);
    const auto got = file.DecodeAll();
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(std::vector<int16_t>(got.begin(), got.begin() + static_cast<ptrdiff_t>(expected.size())), expected);
    // Position counts the decoded frames, not the padding.
    EXPECT_NEAR(file.Decoder.Position, static_cast<double>(expected.size()) / channels * 1000 / 22050, 1e-6);
  }
}

TEST(AdpcmConverter, SeekLandsOnABlock) {
  const int blockAlign = 300;  // mono: 588 samples per block
  const TBytes data = Blocks(1, blockAlign, 10, 0, 5);
  TAdpcmFile file(1, blockAlign, data);
  const auto all = OneShot(data, file.Format);
  const int32_t perBlock = file.Format.SamplesPerBlock;
  // 100 ms is frame 2205: inside block 3.
  file.Decoder.Seek(100);
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 3.0 * perBlock * 1000 / 22050);
  ASSERT_TRUE(file.Decoder.Fill(200));
  EXPECT_EQ(0, std::memcmp(file.Decoder.Output.Data(), &all[static_cast<size_t>(3 * perBlock)], 200));
  file.Decoder.Seek(-5);
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 0);
  file.Decoder.Seek(1e9);
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 10.0 * perBlock * 1000 / 22050);
  EXPECT_FALSE(file.Decoder.Fill(200));
}

// A bad predictor in block 10 (in the second read of 2048 bytes) ends the
// decoding there: the blocks before it are delivered, then zeros, and the
// fill reports the failure.
TEST(AdpcmConverter, BadBlockFailsTheFill) {
  TBytes data = Blocks(1, 256, 16, 0, 9);
  data[10 * 256] = 7;
  TAdpcmFile file(1, 256, data);
  const auto good = OneShot(TBytes(data.begin(), data.begin() + 10 * 256), file.Format);
  ASSERT_EQ(good.size(), 10u * file.Format.SamplesPerBlock);
  const int64_t asked = 2 * static_cast<int64_t>(good.size()) + 2000;
  EXPECT_FALSE(file.Decoder.Fill(asked));
  ASSERT_EQ(file.Decoder.Output.Length(), asked);
  EXPECT_EQ(0, std::memcmp(file.Decoder.Output.Data(), good.data(), 2 * good.size()));
  EXPECT_EQ(TBytes(file.Decoder.Output.Data() + 2 * good.size(), file.Decoder.Output.Data() + asked), TBytes(2000, 0));
}

TEST(AdpcmConverter, OpenRefusesUndecodableFormats) {
  TMediaInfo info;
  info.Kind = TMediaKind::MsAdpcm;
  info.ExtraFormat = MakeAdpcmExtra(0);
  info.Format = MakeFormat(2, 3, 22050, 4, 512);
  EXPECT_FALSE(TAdpcmConverter(nullptr).Open(info));
  info.Format = MakeFormat(2, 1, 22050, 4, 4096);
  EXPECT_FALSE(TAdpcmConverter(nullptr).Open(info));
  info.Format = MakeFormat(2, 1, 22050, 4, 256);
  info.ExtraFormat = MakeAdpcmExtra(0, {});
  EXPECT_FALSE(TAdpcmConverter(nullptr).Open(info));
}

// With a target format the decoded samples go through the resampler.
TEST(AdpcmConverter, ConvertsToATargetFormat) {
  const TBytes data = Blocks(1, 256, 6, 0, 13);
  TAdpcmFile file(1, 256, data);
  file.Decoder.SetTargetFormat(Pcm16Format(44100, 2));
  const auto decoded = OneShot(data, file.Format);
  TPcmResampler resampler(Pcm16Format(22050, 1), Pcm16Format(44100, 2));
  TLocalBuffer expected;
  resampler.Convert({reinterpret_cast<const uint8_t*>(decoded.data()), decoded.size() * 2}, expected);
  const auto got = file.DecodeAll();
  ASSERT_GE(got.size() * 2, static_cast<size_t>(expected.Length()));
  EXPECT_EQ(0, std::memcmp(got.data(), expected.Data(), static_cast<size_t>(expected.Length())));
}

}  // namespace
}  // namespace zel
