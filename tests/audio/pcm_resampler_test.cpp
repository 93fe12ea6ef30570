#include "audio/pcm_resampler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/pcm_samples.h"
#include "audio/wav_files.h"

namespace zel {
namespace {

using namespace zel::testing;

std::vector<int16_t> Samples16(const TLocalBuffer& buffer) {
  std::vector<int16_t> samples(static_cast<size_t>(buffer.Length() / 2));
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(buffer.Data()[2 * i] | (buffer.Data()[2 * i + 1] << 8));
  }
  return samples;
}

TBytes Bytes16(const std::vector<int16_t>& samples) {
  TBytes bytes;
  for (const int16_t s : samples) Put16(bytes, static_cast<uint16_t>(s));
  return bytes;
}

// Converts everything at once; checks that OutputSize told the size.
TLocalBuffer ConvertAll(TPcmResampler& resampler, const TBytes& input) {
  TLocalBuffer output;
  const int64_t expected = resampler.OutputSize(static_cast<int64_t>(input.size()));
  EXPECT_EQ(resampler.OutputSize(static_cast<int64_t>(input.size())), expected) << "OutputSize changed the state";
  resampler.Convert(input, output);
  EXPECT_EQ(output.Length(), expected);
  return output;
}

// At the same rate every output frame is the input frame before it: t is
// always 1, where the quadratic gives the middle sample exactly.
TEST(PcmResampler, SameRateDelaysByOneFrame) {
  const std::vector<int16_t> input = {1000, -1000, 32767, -32768, 5, 7};
  TPcmResampler resampler(Pcm16Format(44100, 2), Pcm16Format(44100, 2));
  ASSERT_TRUE(resampler.Valid());
  EXPECT_EQ(Samples16(ConvertAll(resampler, Bytes16(input))),
            (std::vector<int16_t>{0, 0, 1000, -1000, 32767, -32768}));
}

// Samples (v - 128) x 256 of a ramp 0, 512, 1024, ... behind the two
// silent frames the resampler starts from: output frame f reads position
// f / 2, one frame late. Once three ramp frames are in, the quadratic is the
// ramp itself; the first half-way value on it comes from the quadratic
// through 0, 0 and 512 at 1.5: 512 x 1.5 x 0.5 / 2 = 192.
TEST(PcmResampler, Mono8BitAt22050ToStereo16At44100) {
  TBytes input;
  for (int k = 0; k < 50; ++k) input.push_back(static_cast<uint8_t>(128 + 2 * k));
  TPcmResampler resampler(MakeFormat(1, 1, 22050, 8), Pcm16Format(44100, 2));
  const auto out = Samples16(ConvertAll(resampler, input));
  ASSERT_EQ(out.size(), 2 * 2 * input.size());
  for (size_t f = 0; f < out.size() / 2; ++f) EXPECT_EQ(out[2 * f], out[2 * f + 1]) << f;
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 8), (std::vector<int16_t>{0, 0, 0, 0, 0, 0, 192, 192}));
  for (size_t f = 4; f < out.size() / 2; ++f) EXPECT_EQ(out[2 * f], static_cast<int16_t>(256 * (f - 2))) << f;
}

TEST(PcmResampler, SixChannelsFoldAndClamp) {
  TPcmResampler resampler(Pcm16Format(48000, 6), Pcm16Format(48000, 2));
  // L, C, R, LS, RS, LFE: left = L + C + LS + LFE, right = C + R + RS + LFE.
  const auto small = Samples16(ConvertAll(resampler, Bytes16({1, 10, 100, 1000, 10000, 2, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(small, (std::vector<int16_t>{0, 0, 1013, 10112}));
  resampler.Reset();
  const auto loud = Samples16(
      ConvertAll(resampler, Bytes16({30000, 30000, 30000, 30000, 30000, 30000, -30000, -30000, -30000, -30000,
                                     -30000, -30000, 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(loud, (std::vector<int16_t>{0, 0, 32767, 32767, -32768, -32768}));
}

// Each source sample kind, read at the same rate (so the output is the
// input one frame later).
TEST(PcmResampler, SourceSampleKinds) {
  struct TCase {
    TWaveFormat Format;
    TBytes Frame;
    int16_t Expected;
  };
  const float half = 0.5f;
  TBytes floatBytes(4);
  std::memcpy(floatBytes.data(), &half, 4);
  const TCase cases[] = {
      {MakeFormat(1, 1, 8000, 8), {0}, -32768},
      {MakeFormat(1, 1, 8000, 24), {0xFF, 0x34, 0x12}, 0x1234},
      // 32-bit integer keeps its upper half; the same bytes as float would
      // be a tiny number.
      {MakeFormat(1, 1, 8000, 32), {0xFF, 0xFF, 0x00, 0x40}, 0x4000},
      {MakeFormat(3, 1, 8000, 32), floatBytes, FloatToInt16(half)},
  };
  for (const auto& c : cases) {
    TPcmResampler resampler(c.Format, Pcm16Format(8000, 1));
    TBytes input = c.Frame;
    Append(input, c.Frame);
    EXPECT_EQ(Samples16(ConvertAll(resampler, input)), (std::vector<int16_t>{0, c.Expected}));
  }
}

// The halving truncates toward zero: half way between the silent start
// and a frame of +-5 the quadratic gives +-1.875, which becomes +-1. Mono
// output is the average toward zero, 8-bit output the value / 256 toward
// zero + 128 (a floor would give one less for negative values).
TEST(PcmResampler, NarrowingRoundsTowardZero) {
  for (const int16_t v : {5, -5}) {
    TPcmResampler doubling(Pcm16Format(22050, 1), Pcm16Format(44100, 1));
    EXPECT_EQ(Samples16(ConvertAll(doubling, Bytes16({v}))), (std::vector<int16_t>{0, static_cast<int16_t>(v / 5)}));
  }
  TPcmResampler toMono(Pcm16Format(8000, 2), Pcm16Format(8000, 1));
  EXPECT_EQ(Samples16(ConvertAll(toMono, Bytes16({-3, 0, 0, 0}))), (std::vector<int16_t>{0, -1}));
  TPcmResampler to8(Pcm16Format(8000, 2), MakeFormat(1, 1, 8000, 8));
  const TLocalBuffer out = ConvertAll(to8, Bytes16({-300, -300, 0, 0}));
  ASSERT_EQ(out.Length(), 2);
  EXPECT_EQ(out.Data()[0], 128);
  EXPECT_EQ(out.Data()[1], 127);
}

// Any split of the input, also inside a frame, gives the output of one
// conversion, also for a ratio whose step is not a binary fraction.
TEST(PcmResampler, BlocksJoinSeamlessly) {
  const TBytes input = Noise(4 * 300, 11);
  const struct {
    TWaveFormat Source, Target;
  } pairs[] = {{Pcm16Format(44100, 2), Pcm16Format(48000, 2)},
               {Pcm16Format(48000, 2), MakeFormat(1, 1, 11025, 8)},
               {Pcm16Format(22050, 2), Pcm16Format(44100, 2)}};
  for (const auto& pair : pairs) {
    TPcmResampler whole(pair.Source, pair.Target);
    const TLocalBuffer expected = ConvertAll(whole, input);
    for (size_t split = 1; split < input.size(); ++split) {
      TPcmResampler resampler(pair.Source, pair.Target);
      TLocalBuffer output;
      const int64_t used = resampler.Convert(std::span(input).first(split), output);
      EXPECT_EQ(used, static_cast<int64_t>(split / 4 * 4));
      resampler.Convert(std::span(input).subspan(static_cast<size_t>(used)), output);
      ASSERT_EQ(output.Length(), expected.Length()) << split;
      ASSERT_EQ(0, std::memcmp(output.Data(), expected.Data(), static_cast<size_t>(output.Length()))) << split;
    }
  }
}

TEST(PcmResampler, DownsamplingCountsAndReset) {
  TPcmResampler resampler(Pcm16Format(48000, 1), Pcm16Format(8000, 1));
  const TBytes input = Noise(2 * 600, 3);
  const TLocalBuffer first = ConvertAll(resampler, input);
  EXPECT_EQ(first.Length(), 2 * 100);  // read positions 0, 6, ... 594
  resampler.Reset();
  const TLocalBuffer again = ConvertAll(resampler, input);
  ASSERT_EQ(again.Length(), first.Length());
  EXPECT_EQ(0, std::memcmp(again.Data(), first.Data(), static_cast<size_t>(first.Length())));
}

TEST(PcmResampler, UnusableFormatsConvertNothing) {
  const TBytes input = Noise(64, 5);
  for (const auto& [source, target] :
       {std::pair{Pcm16Format(0, 2), Pcm16Format(44100, 2)}, std::pair{Pcm16Format(44100, 2), Pcm16Format(0, 2)},
        std::pair{MakeFormat(1, 2, 44100, 12), Pcm16Format(44100, 2)},
        std::pair{Pcm16Format(44100, 2), MakeFormat(1, 2, 44100, 24)},
        std::pair{Pcm16Format(44100, 2), Pcm16Format(44100, 6)}}) {
    TPcmResampler resampler(source, target);
    EXPECT_FALSE(resampler.Valid());
    TLocalBuffer output;
    EXPECT_EQ(resampler.Convert(input, output), 0);
    EXPECT_EQ(output.Length(), 0);
    EXPECT_EQ(resampler.OutputSize(64), 0);
  }
}

}  // namespace
}  // namespace zel
