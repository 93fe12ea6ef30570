#include "audio/mpeg_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/media_info_extractor.h"
#include "audio/mpeg_frames.h"
#include "audio/wav_files.h"

namespace zel {
namespace {

using namespace zel::testing;

// The MPEG audio standard's tables, written out here on their own.
constexpr int kMpeg1Rates[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
constexpr int kMpeg2Rates[3][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};

TMediaInfo Parse(const TBytes& bytes, bool expected = true) {
  auto stream = StreamOf(bytes);
  TMediaInfo info;
  EXPECT_EQ(ParseMpeg(*stream, 0, info), expected);
  return info;
}

TMediaInfo Identify(const TBytes& bytes, const char16_t* name) {
  TMediaInfoExtractor extractor;
  extractor.SetMpegParser(ParseMpeg);
  auto stream = StreamOf(bytes);
  TMediaInfo info;
  extractor.Identify(*stream, name, info);
  return info;
}

// Every header of every version and layer against the standard's formula:
// samples per frame / 8 x bit rate / rate, in 4-byte slots for layer I.
TEST(MpegHeader, FrameLengthsFollowTheStandard) {
  const int sampleRates[4][3] = {{11025, 12000, 8000}, {}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  int checked = 0;
  for (const int versionBits : {3, 2, 0}) {
    for (int layer = 1; layer <= 3; ++layer) {
      for (int bitRate = 1; bitRate <= 14; ++bitRate) {
        for (int rate = 0; rate < 3; ++rate) {
          for (const bool padding : {false, true}) {
            const TBytes bytes = HeaderBytes({versionBits, layer, bitRate, rate, padding, 1});
            TMpegHeader header;
            ASSERT_TRUE(TMpegHeader::Decode(bytes.data(), header));
            const int kbps = (versionBits == 3 ? kMpeg1Rates : kMpeg2Rates)[layer - 1][bitRate];
            const int hz = sampleRates[versionBits][rate];
            const int samples = layer == 1 ? 384 : (layer == 3 && versionBits != 3) ? 576 : 1152;
            const int length = layer == 1 ? (12 * kbps * 1000 / hz + padding) * 4
                                          : samples / 8 * kbps * 1000 / hz + padding;
            EXPECT_EQ(header.BitRate, kbps);
            EXPECT_EQ(header.SampleRate, hz);
            EXPECT_EQ(header.SamplesPerFrame(), samples);
            EXPECT_EQ(header.FrameLength(), length) << versionBits << " " << layer << " " << bitRate << " " << rate;
            EXPECT_LE(header.FrameLength(), TMpegHeader::kMaxFrameLength);
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_EQ(checked, 3 * 3 * 14 * 3 * 2);
  // Known frames: 128 kbit/s MPEG-1 layer III at 44.1 kHz, and MPEG-2
  // layer II, whose frames are as long as MPEG-1's.
  TMpegHeader header;
  ASSERT_TRUE(TMpegHeader::Decode(HeaderBytes({}).data(), header));
  EXPECT_EQ(header.FrameLength(), 417);
  ASSERT_TRUE(TMpegHeader::Decode(HeaderBytes({2, 2, 8, 0, false}).data(), header));
  EXPECT_EQ(header.FrameLength(), 144 * 64000 / 22050);
}

TEST(MpegHeader, ValidityRule) {
  const TBytes good = HeaderBytes({});
  EXPECT_TRUE(TMpegHeader::Valid(good.data()));
  const std::vector<THeaderFields> bad = {
      {1, 3, 9, 0},                   // reserved version
      {3, 3, 0, 0},                   // free format
      {3, 3, 15, 0},                  // forbidden bit rate
      {3, 3, 9, 3},                   // reserved sample rate
      {3, 3, 9, 0, false, 0, false, 2},  // reserved emphasis
  };
  for (const auto& fields : bad) EXPECT_FALSE(TMpegHeader::Valid(HeaderBytes(fields).data()));
  TBytes noLayer = good;
  noLayer[1] &= 0xF9;
  EXPECT_FALSE(TMpegHeader::Valid(noLayer.data()));
  for (const uint8_t first : {0xFE, 0x7F}) {
    TBytes noSync = good;
    noSync[0] = first;
    EXPECT_FALSE(TMpegHeader::Valid(noSync.data()));
  }
  TBytes shortSync = good;
  shortSync[1] = 0xDB;
  EXPECT_FALSE(TMpegHeader::Valid(shortSync.data()));
}

TEST(MpegInfo, ConstantBitRateDurationFromDataSize) {
  const TMediaInfo info = Parse(CbrFrames(1000000));
  EXPECT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_EQ(info.DataOffset, 0);
  EXPECT_EQ(info.DataSize, 1000000);
  EXPECT_EQ(info.Duration, 62500);
  EXPECT_EQ(info.StreamDuration, 62500);
  EXPECT_EQ(info.FirstFrameLength, 418);  // the longest of the first three
  EXPECT_DOUBLE_EQ(info.FrameTime, 62500.0 / 1000000 * 418);
  EXPECT_EQ(info.ExtraFormat[1], 0);
  EXPECT_EQ(info.Format, Pcm16Format(44100, 2));
  // Single channel mode decodes to one channel.
  EXPECT_EQ(Parse(CbrFrames(5000, 3)).Format, Pcm16Format(44100, 1));
}

TEST(MpegInfo, XingHeaderGivesFramesAndIsSkipped) {
  // MPEG-1 stereo: after 32 bytes of side information.
  TBytes mp3 = XingFrame({}, 417, 36, 1000, 400000);
  Append(mp3, CbrFrames(20000));
  TMediaInfo info = Parse(mp3);
  EXPECT_EQ(info.Duration, 26122);  // 1000 x 1152 / 44100 s
  EXPECT_EQ(info.ExtraFormat[1], 1);
  EXPECT_EQ(info.DataOffset, 417);
  EXPECT_EQ(info.DataSize, 20000);
  EXPECT_NEAR(info.FrameTime, 1152 * 1000.0 / 44100, 1e-9);
  // MPEG-2 single channel: 9 bytes of side information, 576 samples.
  const THeaderFields mono{2, 3, 8, 0, false, 3};  // 64 kbit/s at 22.05 kHz
  mp3 = XingFrame(mono, 208, 13, 1000, 100000);
  for (int n = 0; n < 20; ++n) Append(mp3, Frame(mono, 208));
  info = Parse(mp3);
  EXPECT_EQ(info.Duration, static_cast<int32_t>(std::lround(1000 * 576 * 1000.0 / 22050)));
  EXPECT_EQ(info.Format, Pcm16Format(22050, 1));
  EXPECT_EQ(info.DataOffset, 208);
  // An "Info" header (constant bit rate) is skipped but keeps the data-size rule.
  mp3 = XingFrame({}, 417, 36, 1000, 400000, "Info");
  Append(mp3, CbrFrames(16000));
  info = Parse(mp3);
  EXPECT_EQ(info.ExtraFormat[1], 0);
  EXPECT_EQ(info.DataOffset, 417);
  EXPECT_EQ(info.Duration, 1000);
}

TEST(MpegInfo, VbriHeaderGivesFrames) {
  TBytes mp3 = VbriFrame({}, 417, 500, 300000);
  Append(mp3, CbrFrames(20000));
  const TMediaInfo info = Parse(mp3);
  EXPECT_EQ(info.Duration, static_cast<int32_t>(std::lround(500 * 1152 * 1000.0 / 44100)));
  EXPECT_EQ(info.ExtraFormat[1], 1);
  EXPECT_EQ(info.DataOffset, 0);  // the decoder plays this frame
}

TEST(MpegInfo, TagsAreOutsideTheData) {
  TBytes mp3 = Id3v2Tag(4096);
  Append(mp3, CbrFrames(50000));
  Append(mp3, Id3v1Tag());
  const TMediaInfo info = Parse(mp3);
  EXPECT_EQ(info.DataOffset, 4106);
  EXPECT_EQ(info.DataSize, static_cast<int64_t>(mp3.size()) - 4106 - 128);
  EXPECT_EQ(info.Duration, std::lround(50000 * 8 / 128.0));
  EXPECT_EQ(info.StreamDuration, std::lround(mp3.size() * 8 / 128.0));
}

TEST(MpegInfo, FirstHeaderMustBeFollowedByAnother) {
  // A lone header-like pattern and junk before the stream are skipped.
  TBytes mp3 = {1, 2, 0xFF, 0xFB, 0x90, 0x00, 7, 8, 9};
  Append(mp3, CbrFrames(4000));
  EXPECT_EQ(Parse(mp3).DataOffset, 9);
  // One frame that ends exactly at the end of the data counts.
  EXPECT_EQ(Parse(Frame({}, 417)).DataSize, 417);
  EXPECT_EQ(Parse(Frame({}, 416), false).Kind, TMediaKind::None);
  // A frame followed by a header of another layer does not.
  TBytes mixed = Frame({}, 417);
  Append(mixed, Frame({3, 2, 9, 0}, 417));
  Parse(mixed, false);
}

TEST(MpegInfo, ScanForTheFirstHeaderIsCapped) {
  for (const size_t junk : {size_t{TMpegInfo::kScanLimit - 1}, size_t{TMpegInfo::kScanLimit}}) {
    TBytes mp3(junk, 0);
    Append(mp3, CbrFrames(3000));
    const bool inside = junk < TMpegInfo::kScanLimit;
    EXPECT_EQ(Parse(mp3, inside).DataOffset, inside ? static_cast<int64_t>(junk) : 0);
  }
  // The limit counts from the end of an ID3v2 tag.
  TBytes tagged = Id3v2Tag(100000);
  Append(tagged, TBytes(1000, 0));
  Append(tagged, CbrFrames(3000));
  EXPECT_EQ(Parse(tagged).DataOffset, 100010 + 1000);
}

TEST(MpegInfo, IdentificationRejectsTooShortAndHeaderlessFiles) {
  // Seven bytes: a header and a little more.
  TBytes seven = HeaderBytes({});
  seven.resize(7);
  EXPECT_FALSE(Identify(seven, u"short.mp3").Identified());
  Parse(seven, false);
  EXPECT_FALSE(Identify(Noise(3000, 5), u"noise.mp3").Identified());
  EXPECT_FALSE(Identify(TBytes(3000, 0xFF), u"ff.mp2").Identified());
  const TMediaInfo info = Identify(CbrFrames(3000), u"ok.MP3");
  EXPECT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_FALSE(info.MpegInRiff);
}

// MPEG in a WAV file: the data chunk bounds the scan and the data; the
// stated bytes per second give the bit rate.
TEST(MpegInfo, MpegInsideWavStaysInTheDataChunk) {
  TWaveFormat format = MakeFormat(85, 2, 44100, 0, 1);
  format.AvgBytesPerSec = 20000;  // 160 kbit/s as the file states it
  TBytes data = {0, 0, 0};
  Append(data, CbrFrames(40000));
  const TBytes wav = Riff({Chunk("fmt ", FormatContent(format, true, TBytes(12, 0))), Chunk("data", data),
                           Chunk("LIST", CbrFrames(5000)), Id3v1Tag()});
  const TMediaInfo info = Identify(wav, u"in.wav");
  ASSERT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_TRUE(info.MpegInRiff);
  const int64_t chunk = 12 + 8 + 16 + 2 + 12 + 8;
  EXPECT_EQ(info.DataOffset, chunk + 3);
  EXPECT_EQ(info.DataSize, 40000);
  EXPECT_EQ(info.Duration, 2000);  // 40000 bytes at 160 kbit/s
  // Without frames in the chunk it is not MPEG, though frames follow it.
  const TBytes empty = Riff({Chunk("fmt ", FormatContent(format, true, TBytes(12, 0))), Chunk("data", TBytes(500, 0)),
                             Chunk("LIST", CbrFrames(5000))});
  EXPECT_FALSE(Identify(empty, u"in.wav").Identified());
}

// The frame starts of bytes, walked from first.
std::vector<int64_t> FrameStarts(const TBytes& bytes, int64_t first) {
  std::vector<int64_t> starts;
  TMpegHeader header;
  for (int64_t at = first; at + 4 <= static_cast<int64_t>(bytes.size()); at += header.FrameLength()) {
    if (!TMpegHeader::Decode(&bytes[static_cast<size_t>(at)], header)) break;
    starts.push_back(at);
  }
  return starts;
}

TEST(MpegSeek, ConstantBitRateJumpsToTheNextFrame) {
  TBytes mp3 = Id3v2Tag(300);
  Append(mp3, CbrFrames(400000));
  auto stream = StreamOf(mp3);
  TMediaInfo info;
  ASSERT_TRUE(ParseMpeg(*stream, 0, info));
  const auto starts = FrameStarts(mp3, info.DataOffset);
  for (const double ms : {0.0, 1.0, 1000.0, 12345.6, 24000.0}) {
    const TMpegSeekPoint point = SeekMpeg(*stream, info, ms);
    EXPECT_EQ(stream->GetPosition(), point.Offset);
    const int64_t jump = info.DataOffset + std::llround(static_cast<double>(info.DataSize) / info.Duration * ms);
    // The first frame at or after the proportional offset.
    const auto next = std::lower_bound(starts.begin(), starts.end(), jump);
    ASSERT_NE(next, starts.end());
    EXPECT_EQ(point.Offset, *next) << ms;
    EXPECT_NEAR(point.Correction, -static_cast<double>(*next - jump) / info.FirstFrameLength * info.FrameTime, 1e-9);
    // Within a frame of the frame's real time.
    const double frameTime = (next - starts.begin()) * 1152 * 1000.0 / 44100;
    EXPECT_NEAR(ms - point.Correction, frameTime, 1.0);
  }
}

TEST(MpegSeek, VariableBitRateCountsFrames) {
  TBytes mp3 = XingFrame({}, 417, 36, 300, 0);
  for (int n = 0; n < 300; ++n) {
    THeaderFields f;
    f.BitRateIndex = 5 + n % 9;
    TMpegHeader header;
    TMpegHeader::Decode(HeaderBytes(f).data(), header);
    Append(mp3, Frame(f, static_cast<size_t>(header.FrameLength())));
  }
  auto stream = StreamOf(mp3);
  TMediaInfo info;
  ASSERT_TRUE(ParseMpeg(*stream, 0, info));
  const auto starts = FrameStarts(mp3, info.DataOffset);
  ASSERT_EQ(starts.size(), 300u);
  const TMpegSeekPoint point = SeekMpeg(*stream, info, 10.5 * info.FrameTime);
  EXPECT_EQ(point.Offset, starts[11]);
  EXPECT_NEAR(point.Correction, -0.5 * info.FrameTime, 1e-9);
  EXPECT_EQ(stream->GetPosition(), starts[11]);
  // Past the end: the end of the data.
  EXPECT_EQ(SeekMpeg(*stream, info, 1e9).Offset, static_cast<int64_t>(mp3.size()));
}

TEST(MpegSeek, DegenerateInformationNeverDividesByZero) {
  auto stream = StreamOf(CbrFrames(20000));
  TMediaInfo info;
  ASSERT_TRUE(ParseMpeg(*stream, 0, info));
  const std::vector<TMediaInfo> broken = [&] {
    std::vector<TMediaInfo> list(4, info);
    list[0].Duration = 0;
    list[1].FirstFrameLength = 0;
    list[2].FrameTime = 0;
    list[2].ExtraFormat[1] = 1;
    list[3].DataSize = 0;
    return list;
  }();
  for (const TMediaInfo& bad : broken) {
    for (const double ms : {0.0, 500.0, 1e12, std::nan("")}) {
      const TMpegSeekPoint point = SeekMpeg(*stream, bad, ms);
      EXPECT_TRUE(std::isfinite(point.Correction));
      EXPECT_GE(point.Offset, bad.DataOffset);
      EXPECT_LE(point.Offset, bad.DataOffset + bad.DataSize);
    }
  }
}

}  // namespace
}  // namespace zel
