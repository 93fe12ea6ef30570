#include "audio/pcm_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "audio/wav_files.h"

namespace zel {
namespace {

using namespace zel::testing;

TEST(PcmSamples, EightBitIsUnsignedAroundTheMidpoint) {
  EXPECT_EQ(Pcm8ToInt16(128), 0);
  EXPECT_EQ(Pcm8ToInt16(0), -32768);
  EXPECT_EQ(Pcm8ToInt16(255), 32512);
  EXPECT_EQ(Pcm8ToInt16(129), 256);
  EXPECT_EQ(Pcm8ToInt16(127), -256);
}

TEST(PcmSamples, SilenceByte) {
  EXPECT_EQ(SilenceByte(8), 128);
  EXPECT_EQ(Pcm8ToInt16(SilenceByte(8)), 0);
  EXPECT_EQ(SilenceByte(16), 0);
  EXPECT_EQ(SilenceByte(24), 0);
  EXPECT_EQ(SilenceByte(32), 0);
}

TEST(PcmSamples, WideIntegersKeepTheirUpperSixteenBits) {
  const uint8_t max24[] = {0xFF, 0xFF, 0x7F};
  const uint8_t min24[] = {0x00, 0x00, 0x80};
  const uint8_t minusOne24[] = {0xFF, 0xFF, 0xFF};
  const uint8_t mid24[] = {0x99, 0x34, 0x12};
  EXPECT_EQ(Pcm24ToInt16(max24), 32767);
  EXPECT_EQ(Pcm24ToInt16(min24), -32768);
  EXPECT_EQ(Pcm24ToInt16(minusOne24), -1);  // the upper bits, not rounded
  EXPECT_EQ(Pcm24ToInt16(mid24), 0x1234);

  const uint8_t max32[] = {0xFF, 0xFF, 0xFF, 0x7F};
  const uint8_t min32[] = {0x00, 0x00, 0x00, 0x80};
  const uint8_t mid32[] = {0xAA, 0xBB, 0x34, 0x12};
  const uint8_t low32[] = {0xFF, 0xFF, 0x00, 0x00};  // only low bits: silence
  EXPECT_EQ(Pcm32ToInt16(max32), 32767);
  EXPECT_EQ(Pcm32ToInt16(min32), -32768);
  EXPECT_EQ(Pcm32ToInt16(mid32), 0x1234);
  EXPECT_EQ(Pcm32ToInt16(low32), 0);
}

TEST(PcmSamples, FloatScalesRoundsAndClamps) {
  EXPECT_EQ(FloatToInt16(0.0f), 0);
  EXPECT_EQ(FloatToInt16(1.0f), 32767);
  EXPECT_EQ(FloatToInt16(-1.0f), -32767);
  EXPECT_EQ(FloatToInt16(0.5f), 16384);  // 16383.5 ties to even
  EXPECT_EQ(FloatToInt16(-0.5f), -16384);
  EXPECT_EQ(FloatToInt16(1.5f), 32767);
  EXPECT_EQ(FloatToInt16(-1.5f), -32768);
  EXPECT_EQ(FloatToInt16(std::numeric_limits<float>::infinity()), 32767);
  EXPECT_EQ(FloatToInt16(-std::numeric_limits<float>::infinity()), -32768);
  EXPECT_EQ(FloatToInt16(std::nanf("")), 0);
  EXPECT_EQ(FloatToInt16(1e30f), 32767);
}

TEST(PcmSamples, LayoutValidity) {
  EXPECT_TRUE((TPcmLayout{8, 1, false}.Valid()));
  EXPECT_TRUE((TPcmLayout{24, 6, false}.Valid()));
  EXPECT_TRUE((TPcmLayout{32, 2, true}.Valid()));
  EXPECT_FALSE((TPcmLayout{16, 2, true}.Valid()));
  EXPECT_FALSE((TPcmLayout{12, 1, false}.Valid()));
  EXPECT_FALSE((TPcmLayout{16, 0, false}.Valid()));
}

TEST(PcmSamples, ConvertBuffers) {
  std::vector<int16_t> out;
  // Two stereo 16-bit frames and a stray byte: the stray byte is left.
  const TBytes pcm16 = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x55};
  EXPECT_EQ(ConvertToInt16(pcm16, {16, 2, false}, out), 8);
  EXPECT_EQ(out, (std::vector<int16_t>{1, -1, -32768, 32767}));

  out.clear();
  const TBytes pcm8 = {0, 128, 255};
  EXPECT_EQ(ConvertToInt16(pcm8, {8, 1, false}, out), 3);
  EXPECT_EQ(out, (std::vector<int16_t>{-32768, 0, 32512}));

  out.clear();
  TBytes floats;
  Put32(floats, 0x3F800000);  // 1.0
  Put32(floats, 0xBF000000);  // -0.5
  EXPECT_EQ(ConvertToInt16(floats, {32, 1, true}, out), 8);
  EXPECT_EQ(out, (std::vector<int16_t>{32767, -16384}));

  out.clear();
  EXPECT_EQ(ConvertToInt16(pcm16, {12, 1, false}, out), 0);
  EXPECT_TRUE(out.empty());
}

TEST(PcmSamples, FramesToStereo) {
  const TBytes mono = {0x00, 0x10};
  TStereoSample s = FrameToStereo(mono.data(), {16, 1, false});
  EXPECT_EQ(s.Left, 0x1000);
  EXPECT_EQ(s.Right, 0x1000);

  const TBytes stereo8 = {0, 255};
  s = FrameToStereo(stereo8.data(), {8, 2, false});
  EXPECT_EQ(s.Left, -32768);
  EXPECT_EQ(s.Right, 32512);

  // 5.1: L=1000, C=200, R=3000, LS=40, RS=500, LFE=6; the sums exceed
  // nothing here, and with full-scale channels they exceed 16 bits
  // unclamped (the resampler clamps after interpolation).
  TBytes six;
  for (int v : {1000, 200, 3000, 40, 500, 6}) Put16(six, static_cast<uint32_t>(v));
  s = FrameToStereo(six.data(), {16, 6, false});
  EXPECT_EQ(s.Left, 1000 + 200 + 40 + 6);
  EXPECT_EQ(s.Right, 200 + 3000 + 500 + 6);
  TBytes loud;
  for (int i = 0; i < 6; ++i) Put16(loud, 30000);
  s = FrameToStereo(loud.data(), {16, 6, false});
  EXPECT_EQ(s.Left, 120000);
  EXPECT_EQ(s.Right, 120000);

  // Four channels keep the first two.
  TBytes four;
  for (int v : {7, 8, 9, 10}) Put16(four, static_cast<uint32_t>(v));
  s = FrameToStereo(four.data(), {16, 4, false});
  EXPECT_EQ(s.Left, 7);
  EXPECT_EQ(s.Right, 8);
}

}  // namespace
}  // namespace zel
