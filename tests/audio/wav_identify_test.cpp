#include <gtest/gtest.h>

#include <limits>

#include "audio/adpcm_decoder.h"
#include "audio/media_info_extractor.h"
#include "audio/riff_info.h"
#include "audio/wav_files.h"

namespace zel {
namespace {

using namespace zel::testing;

TMediaInfo Identify(const TBytes& file, const TString& name = u"sound.wav",
                    const TMediaInfoExtractor& extractor = TMediaInfoExtractor()) {
  auto stream = StreamOf(file);
  TMediaInfo info;
  const bool identified = extractor.Identify(*stream, name, info);
  EXPECT_EQ(identified, info.Identified());
  return info;
}

const TWaveFormat kMono8 = MakeFormat(1, 1, 22050, 8);
const TWaveFormat kStereo16 = MakeFormat(1, 2, 44100, 16);

TEST(WavIdentify, EightBitMono22050) {
  const TBytes file = PcmWav(kMono8, TBytes(22050, 128));
  const TMediaInfo info = Identify(file);
  EXPECT_EQ(info.Kind, TMediaKind::Pcm);
  EXPECT_EQ(info.Format, kMono8);
  EXPECT_EQ(info.DataOffset, 12 + 8 + 16 + 8);
  EXPECT_EQ(info.DataSize, 22050);
  EXPECT_EQ(info.Duration, 1000);
  EXPECT_FALSE(info.MpegInRiff);
}

TEST(WavIdentify, ListChunksBeforeFormatAndBeforeData) {
  const TBytes file = Riff({ListChunk(), Chunk("fmt ", FormatContent(kStereo16)), ListChunk(),
                            Chunk("data", TBytes(4 * 441, 0))});
  const TMediaInfo info = Identify(file);
  ASSERT_EQ(info.Kind, TMediaKind::Pcm);
  EXPECT_EQ(info.Format.Channels, 2);
  // RIFF header, LIST, fmt, LIST, data header.
  EXPECT_EQ(info.DataOffset, 12 + (8 + 15) + (8 + 16) + (8 + 15) + 8);
  EXPECT_EQ(info.DataSize, 4 * 441);
  EXPECT_EQ(info.Duration, 10);
}

TEST(WavIdentify, OddSizedChunkIsNotPadded) {
  // A 15-byte LIST followed directly by "fmt " (no padding byte): found.
  const TBytes file = Riff({ListChunk(), Chunk("fmt ", FormatContent(kMono8)), Chunk("data", {1, 2, 3})});
  EXPECT_EQ(Identify(file).Kind, TMediaKind::Pcm);
}

TEST(WavIdentify, FormatTagsGiveKinds) {
  const TWaveFormat floatFormat = MakeFormat(3, 2, 48000, 32);
  TMediaInfo info = Identify(PcmWav(floatFormat, TBytes(8, 0)));
  EXPECT_EQ(info.Kind, TMediaKind::IeeeFloat);
  EXPECT_EQ(info.Format, floatFormat);

  TWaveFormat adpcm = MakeFormat(2, 1, 22050, 4, 256);
  adpcm.AvgBytesPerSec = 11155;
  adpcm.ExtraSize = 32;
  const TExtraFormat extra = MakeAdpcmExtra(500);
  info = Identify(AdpcmWav(adpcm, extra, TBytes(512, 0)));
  EXPECT_EQ(info.Kind, TMediaKind::MsAdpcm);
  EXPECT_EQ(info.Format, adpcm);
  EXPECT_EQ(info.ExtraFormat, extra);
  // 12 + fmt (8 + 50) + fact (8 + 4) + data header.
  EXPECT_EQ(info.DataOffset, 12 + 58 + 12 + 8);
  // Two blocks of 500 samples at 22050 Hz; the stated bytes per second
  // (512 / 11155 s = 46 ms) are not used.
  EXPECT_EQ(info.Duration, 45);
  adpcm.AvgBytesPerSec = 16000;  // an encoder's bit rate / 8
  // And a last partial block of 202 samples: 1202 samples.
  EXPECT_EQ(Identify(AdpcmWav(adpcm, extra, TBytes(512 + 7 + 100, 0))).Duration, 55);

  // An unknown tag is not a WAV kind (nor anything else without parsers).
  EXPECT_FALSE(Identify(PcmWav(MakeFormat(0x11, 1, 8000, 4), TBytes(16, 0))).Identified());
}

TEST(WavIdentify, MpegInWavWithoutParserUsesDataChunk) {
  TWaveFormat mpeg = MakeFormat(85, 2, 44100, 0, 1);
  mpeg.AvgBytesPerSec = 16000;  // 128 kbit/s
  const TBytes file = Riff({Chunk("fmt ", FormatContent(mpeg, true, TBytes(12, 0))), Chunk("data", TBytes(32000, 0xFF))});
  TMediaInfoExtractor withoutParser;
  withoutParser.SetMpegParser(nullptr);
  const TMediaInfo info = Identify(file, u"sound.wav", withoutParser);
  EXPECT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_TRUE(info.MpegInRiff);
  EXPECT_EQ(info.DataOffset, 12 + 8 + 30 + 8);
  EXPECT_EQ(info.DataSize, 32000);
  EXPECT_EQ(info.Duration, 2000);
  EXPECT_EQ(info.Format, Pcm16Format(44100, 2));
}

TEST(WavIdentify, MpegInWavGoesToTheMpegParserWithTheBitRateHint) {
  TWaveFormat mpeg = MakeFormat(85, 1, 22050, 0, 1);
  mpeg.AvgBytesPerSec = 4000;
  const TBytes file = Riff({Chunk("fmt ", FormatContent(mpeg)), Chunk("data", TBytes(100, 0xFF))});
  TMediaInfoExtractor extractor;
  int64_t hint = -1;
  int64_t offsetSeen = -1;
  extractor.SetMpegParser([&](TStream&, int64_t bitRateHint, TMediaInfo& info) {
    hint = bitRateHint;
    offsetSeen = info.DataOffset;
    info.Duration = 777;
    return true;
  });
  const TMediaInfo info = Identify(file, u"a.wav", extractor);
  EXPECT_EQ(hint, 32000);
  EXPECT_EQ(offsetSeen, 12 + 8 + 16 + 8);
  EXPECT_EQ(info.Kind, TMediaKind::Mpeg);
  EXPECT_TRUE(info.MpegInRiff);
  EXPECT_EQ(info.Duration, 777);

  extractor.SetMpegParser([](TStream&, int64_t, TMediaInfo&) { return false; });
  EXPECT_FALSE(Identify(file, u"a.wav", extractor).Identified());
}

TEST(WavIdentify, DurationsRoundAndNeverOverflow) {
  EXPECT_EQ(DurationMs(1, 2000), 0);     // 0.5 ms: ties to even
  EXPECT_EQ(DurationMs(3, 2000), 2);     // 1.5 ms
  EXPECT_EQ(DurationMs(1, 1000), 1);
  EXPECT_EQ(DurationMs(176400, 176400), 1000);
  EXPECT_EQ(DurationMs(1000, 0), 0);     // no division by zero
  EXPECT_EQ(DurationMs(-5, 100), 0);
  EXPECT_EQ(DurationMs(0xFFFFFFFFll, 1), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DurationMs(0xFFFFFFFFll, 44100 * 4), 24347887);  // 2^32 - 1 bytes of CD audio
}

TEST(WavIdentify, DataSizeWithTopBitSetIsUnsignedAndCutToTheFile) {
  TBytes file = Riff({Chunk("fmt ", FormatContent(kMono8)), Chunk("data", TBytes(1000, 128), 0x80000000ll)});
  TMediaInfo info = Identify(file);
  ASSERT_EQ(info.Kind, TMediaKind::Pcm);
  EXPECT_EQ(info.DataSize, 1000);
  EXPECT_EQ(info.Duration, 45);  // 1000 / 22050 s

  file = Riff({Chunk("fmt ", FormatContent(kMono8)), Chunk("data", TBytes(10, 128), 0xFFFFFFFFll)});
  info = Identify(file);
  EXPECT_EQ(info.DataSize, 10);
  EXPECT_GT(info.DataOffset, 0);
}

TEST(WavIdentify, HugeChunkSizeEndsTheWalk) {
  // A LIST claiming 2^32 - 8 bytes: a signed walk would step back onto
  // itself for ever; here it jumps past the end and finds no data.
  const TBytes file = Riff({Chunk("fmt ", FormatContent(kMono8)), Chunk("LIST", {}, 0xFFFFFFF8ll),
                            Chunk("data", TBytes(10, 128))});
  TRiffInfo riff;
  auto stream = StreamOf(file);
  EXPECT_EQ(riff.Read(*stream), TRiffOutcome::NoData);
  EXPECT_FALSE(Identify(file).Identified());

  const TBytes hugeFormat = Riff({Chunk("fmt ", FormatContent(kMono8), 0x80000010ll), Chunk("data", TBytes(10, 0))});
  EXPECT_FALSE(Identify(hugeFormat).Identified());
}

TEST(WavIdentify, ZeroFieldsAreNotIdentified) {
  TWaveFormat format = kStereo16;
  format.SamplesPerSec = 0;
  EXPECT_FALSE(Identify(PcmWav(format, TBytes(16, 0))).Identified());
  format = kStereo16;
  format.BlockAlign = 0;
  EXPECT_FALSE(Identify(PcmWav(format, TBytes(16, 0))).Identified());
  format = kStereo16;
  format.Channels = 0;
  EXPECT_FALSE(Identify(PcmWav(format, TBytes(16, 0))).Identified());
  format = kStereo16;
  format.AvgBytesPerSec = 0;
  EXPECT_FALSE(Identify(PcmWav(format, TBytes(16, 0))).Identified());
  // The unchanged format is identified, so each field above was the cause.
  EXPECT_TRUE(Identify(PcmWav(kStereo16, TBytes(16, 0))).Identified());
}

TEST(WavIdentify, SampleSizesTheDecodersHandle) {
  EXPECT_TRUE(Identify(PcmWav(MakeFormat(1, 2, 48000, 24), TBytes(12, 0))).Identified());
  EXPECT_TRUE(Identify(PcmWav(MakeFormat(1, 6, 48000, 32), TBytes(48, 0))).Identified());
  EXPECT_FALSE(Identify(PcmWav(MakeFormat(1, 1, 8000, 12, 2), TBytes(4, 0))).Identified());
  EXPECT_FALSE(Identify(PcmWav(MakeFormat(3, 1, 8000, 64), TBytes(8, 0))).Identified());
  // MS ADPCM with more than two channels, or a block above 2048 bytes.
  TWaveFormat adpcm = MakeFormat(2, 3, 22050, 4, 1024);
  EXPECT_FALSE(Identify(AdpcmWav(adpcm, MakeAdpcmExtra(0), TBytes(1024, 0))).Identified());
  adpcm = MakeFormat(2, 1, 22050, 4, 4096);
  EXPECT_FALSE(Identify(AdpcmWav(adpcm, MakeAdpcmExtra(0), TBytes(4096, 0))).Identified());
  adpcm.BlockAlign = 2048;
  EXPECT_TRUE(Identify(AdpcmWav(adpcm, MakeAdpcmExtra(0), TBytes(2048, 0))).Identified());
}

TEST(WavIdentify, TruncatedFilesAreNotIdentified) {
  const TBytes whole = PcmWav(kMono8, TBytes(100, 128));
  ASSERT_TRUE(Identify(whole).Identified());
  // Every cut before the data chunk's header is complete fails; a cut in
  // the data still finds it (with the bytes there are).
  const size_t dataContent = 12 + 8 + 16 + 8;
  for (size_t length = 0; length < dataContent; ++length) {
    EXPECT_FALSE(Identify(TBytes(whole.begin(), whole.begin() + length)).Identified()) << length;
  }
  const TMediaInfo cut = Identify(TBytes(whole.begin(), whole.begin() + dataContent + 40));
  EXPECT_EQ(cut.DataSize, 40);
  // A "fmt " chunk shorter than a format.
  EXPECT_FALSE(Identify(Riff({Chunk("fmt ", TBytes(14, 1)), Chunk("data", TBytes(4, 0))})).Identified());
}

TEST(WavIdentify, DataBeforeFormatIsNotTaken) {
  const TBytes file = Riff({Chunk("data", TBytes(8, 0)), Chunk("fmt ", FormatContent(kMono8))});
  EXPECT_FALSE(Identify(file).Identified());
}

TEST(WavIdentify, NotRiffAndOtherFormats) {
  const TBytes text = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0};
  EXPECT_FALSE(Identify(text, u"music.ogg").Identified());
  EXPECT_FALSE(Identify(TBytes{'R', 'I', 'F'}).Identified());

  TMediaInfoExtractor extractor;
  TString seenExtension;
  int32_t seenIndex = -2;
  extractor.SetOtherFormatsParser([&](TStream&, const TString& extension, int32_t index, TMediaInfo& info) {
    seenExtension = extension;
    seenIndex = index;
    info.Kind = TMediaKind::Ogg;
    return true;
  });
  EXPECT_EQ(Identify(text, u"dir.v2/Music.OGG?3", extractor).Kind, TMediaKind::Ogg);
  EXPECT_EQ(seenExtension, u".ogg");
  EXPECT_EQ(seenIndex, 3);
  // A RIFF file that is not a WAV file the extractor reads (an AVI) is
  // handed on as well.
  TBytes avi = Riff({});
  avi[8] = 'A', avi[9] = 'V', avi[10] = 'I', avi[11] = ' ';
  EXPECT_EQ(Identify(avi, u"clip.avi", extractor).Kind, TMediaKind::Ogg);
  EXPECT_EQ(seenExtension, u".avi");
  // A name without an extension is not handed on.
  seenExtension.clear();
  EXPECT_FALSE(Identify(text, u"dir.v2/noext", extractor).Identified());
  EXPECT_TRUE(seenExtension.empty());
}

TEST(WavIdentify, MpegExtensionsGoToTheMpegParser) {
  TMediaInfoExtractor extractor;
  int calls = 0;
  extractor.SetMpegParser([&](TStream& stream, int64_t hint, TMediaInfo& info) {
    ++calls;
    EXPECT_EQ(hint, 0);
    EXPECT_EQ(stream.GetPosition(), 0);
    info.Kind = TMediaKind::Mpeg;
    return true;
  });
  const TBytes frames(64, 0xFF);
  EXPECT_EQ(Identify(frames, u"a.MP3", extractor).Kind, TMediaKind::Mpeg);
  EXPECT_EQ(Identify(frames, u"a.mp2", extractor).Kind, TMediaKind::Mpeg);
  EXPECT_EQ(Identify(frames, u"a.mp1", extractor).Kind, TMediaKind::Mpeg);
  EXPECT_FALSE(Identify(frames, u"a.mp4", extractor).Identified());
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(Identify(frames, u"a.mp3").Identified());  // no parser installed
}

TEST(WavIdentify, Extension) {
  EXPECT_EQ(TMediaInfoExtractor::Extension(u"Song.Mp3"), u".mp3");
  EXPECT_EQ(TMediaInfoExtractor::Extension(u"a.b/c"), u"");
  EXPECT_EQ(TMediaInfoExtractor::Extension(u"a\\b.wma?12"), u".wma");
  EXPECT_EQ(TMediaInfoExtractor::Extension(u"noext"), u"");
}

}  // namespace
}  // namespace zel
