#include "audio/wav_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "audio/adpcm_converter.h"
#include "audio/decoder_factory.h"
#include "audio/media_info_extractor.h"
#include "audio/pcm_samples.h"
#include "audio/wav_files.h"
#include "audio/dll_converter.h"
#include "audio/mpeg_converter.h"
#include "audio/wave_out.h"
#include "core/obj.h"

namespace zel {
namespace {

using namespace zel::testing;

// A WAV file in memory, identified and opened.
struct TOpened {
  std::unique_ptr<TMemoryStream> Stream;
  TMediaInfo Info;
  TWavConverter Decoder;

  explicit TOpened(const TBytes& wav) : Stream(StreamOf(wav)), Decoder(Stream.get()) {
    EXPECT_TRUE(TMediaInfoExtractor().IdentifyWav(*Stream, Info));
    EXPECT_TRUE(Decoder.Open(Info));
  }

  // Fills n bytes, takes them out and returns them with Fill's result.
  std::pair<bool, TBytes> Take(int64_t n) {
    const bool result = Decoder.Fill(n);
    EXPECT_GE(Decoder.Output.Length(), n);
    TBytes bytes(Decoder.Output.Data(), Decoder.Output.Data() + n);
    Decoder.Output.Consume(n);
    return {result, bytes};
  }
};

TBytes Slice(const TBytes& bytes, size_t from, size_t count) {
  return TBytes(bytes.begin() + static_cast<ptrdiff_t>(from), bytes.begin() + static_cast<ptrdiff_t>(from + count));
}

TEST(WavConverter, PassesPcmOnAndPadsTheEndWithSilence) {
  for (const uint16_t bits : {8, 16}) {
    const TWaveFormat format = MakeFormat(1, 2, 8000, bits);
    const TBytes data = Noise(10000, bits);
    TOpened file(Riff({Chunk("fmt ", FormatContent(format)), Chunk("data", data), ListChunk()}));
    EXPECT_EQ(file.Decoder.OutputFormat(), format);
    EXPECT_EQ(file.Take(6000), std::make_pair(true, Slice(data, 0, 6000)));
    // Position counts what was decoded: two chunks of 4096 bytes.
    EXPECT_DOUBLE_EQ(file.Decoder.Position, 8192 * 1000.0 / format.AvgBytesPerSec);
    // The rest, then silence up to the size asked for (the LIST chunk after
    // the data is never read); the next call finds nothing.
    auto [more, rest] = file.Take(6000);
    EXPECT_TRUE(more);
    EXPECT_EQ(Slice(rest, 0, 4000), Slice(data, 6000, 4000));
    EXPECT_EQ(Slice(rest, 4000, 2000), TBytes(2000, SilenceByte(bits)));
    EXPECT_EQ(file.Take(100), std::make_pair(false, TBytes(100, SilenceByte(bits))));
  }
}

// The stream moves to the block at or before the rounded byte offset of the
// time, clamped to the data; Position is the time asked for.
TEST(WavConverter, SeekPositionsOnBlocks) {
  const TWaveFormat format = MakeFormat(1, 2, 1000, 16);  // 4000 bytes a second
  const TBytes data = Noise(400, 7);
  TOpened file(PcmWav(format, data));
  file.Decoder.Fill(10);
  file.Decoder.Seek(1.9);  // 7.6 bytes -> 8
  EXPECT_EQ(file.Decoder.Output.Length(), 0);
  EXPECT_DOUBLE_EQ(file.Decoder.Position, 1.9);
  EXPECT_EQ(file.Take(8).second, Slice(data, 8, 8));
  file.Decoder.Seek(1.6);  // 6.4 bytes -> 6 -> block 4
  EXPECT_EQ(file.Take(8).second, Slice(data, 4, 8));
  file.Decoder.Seek(-50);
  EXPECT_EQ(file.Take(8).second, Slice(data, 0, 8));
  file.Decoder.Seek(1e12);
  EXPECT_FALSE(file.Take(8).first);
}

// Float data is converted to the global output format, one frame late.
TEST(WavConverter, FloatStereoBecomes16Bit) {
  std::vector<float> samples(2 * 3000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(std::sin(0.01 * i) * 1.2);
  TBytes data(samples.size() * 4);
  std::memcpy(data.data(), samples.data(), data.size());
  TOpened file(PcmWav(MakeFormat(3, 2, 44100, 32), data));
  EXPECT_EQ(file.Decoder.OutputFormat(), GlobalOutputFormat());
  const TBytes out = file.Take(4 * 3000).second;
  EXPECT_EQ(Slice(out, 0, 4), TBytes(4, 0));
  for (size_t i = 2; i < samples.size(); ++i) {
    const int16_t got = static_cast<int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
    ASSERT_EQ(got, FloatToInt16(samples[i - 2])) << i;
  }
  EXPECT_NEAR(file.Decoder.Position, 3000 * 1000.0 / 44100, 1e-9);
}

// 24-bit data is read 12288 bytes at a time; whatever the reads, the output
// is the resampler's conversion of all the data at once. A very low rate
// keeps each read's output bounded.
TEST(WavConverter, ResampledOutputEqualsOneConversion) {
  for (const uint32_t rate : {22050u, 100u}) {
    const TWaveFormat format = MakeFormat(1, 1, rate, 24);
    const TBytes data = Noise(3 * (rate == 100 ? 1001 : 10001), rate);
    TOpened file(PcmWav(format, data));
    TPcmResampler resampler(format, GlobalOutputFormat());
    TLocalBuffer expected;
    resampler.Convert(data, expected);
    if (rate == 22050) {
      ASSERT_TRUE(file.Decoder.ReadMore());
      EXPECT_EQ(file.Decoder.Input.Length(), TWavConverter::kChunkSize24);
      file.Decoder.Seek(0);
    }
    TBytes out;
    bool more = true;
    while (more) {
      auto [result, bytes] = file.Take(65536);
      more = result;
      Append(out, bytes);
    }
    ASSERT_GE(out.size(), static_cast<size_t>(expected.Length()));
    EXPECT_EQ(0, std::memcmp(out.data(), expected.Data(), static_cast<size_t>(expected.Length()))) << rate;
  }
}

// With a resampler a partial frame stays at the front of the input.
TEST(WavConverter, DecodeKeepsPartialFrames) {
  TOpened file(PcmWav(MakeFormat(1, 2, 44100, 24), {}));
  const TBytes bytes = Noise(8, 1);
  file.Decoder.Input.AppendBytes(bytes.data(), 8);
  ASSERT_TRUE(file.Decoder.Decode(file.Decoder.Input));
  EXPECT_EQ(file.Decoder.Output.Length(), 4);
  ASSERT_EQ(file.Decoder.Input.Length(), 2);
  EXPECT_EQ(TBytes(file.Decoder.Input.Data(), file.Decoder.Input.Data() + 2), Slice(bytes, 6, 2));
}

TEST(WavConverter, FailedDecodePadsWithZeros) {
  TOpened file(PcmWav(MakeFormat(1, 1, 8000, 8), Noise(100, 2)));
  // An 8-bit target of three channels cannot be made.
  file.Decoder.SetTargetFormat(MakeFormat(1, 3, 8000, 8));
  EXPECT_EQ(file.Take(50), std::make_pair(false, TBytes(50, 0)));
}

TEST(WavConverter, OpenRefusesWhatItCannotDecode) {
  const TWaveFormat good = MakeFormat(1, 1, 8000, 16);
  std::vector<TWaveFormat> refused(6, good);
  refused[0].FormatTag = 2;
  refused[1].BitsPerSample = 12;
  refused[2].FormatTag = 3;  // float of 16 bits
  refused[3].Channels = 0;
  refused[4].SamplesPerSec = 0;
  refused[5].BlockAlign = 0;
  TMediaInfo info;
  info.Kind = TMediaKind::Pcm;
  for (const TWaveFormat& format : refused) {
    info.Format = format;
    EXPECT_FALSE(TWavConverter(nullptr).Open(info));
  }
  info.Format = good;
  EXPECT_TRUE(TWavConverter(nullptr).Open(info));
}

TEST(LocalBuffer, AppendMovesWhatFitsAndConsumeShiftsDown) {
  TLocalBuffer target(4), source;
  source.AppendBytes(TBytes{1, 2, 3}.data(), 3);
  target.Append(source);
  EXPECT_EQ(source.Length(), 0);
  target.Consume(1);
  EXPECT_EQ(TBytes(target.Data(), target.Data() + target.Length()), (TBytes{2, 3}));
  source.AppendFill(9, 3);  // 2 free bytes in target
  const auto hook = SetAssertionHook([](const std::string&) {});
  EXPECT_THROW(target.Append(source), EAssertionFailed);
  SetAssertionHook(hook);
  EXPECT_EQ(source.Length(), 3);
}

TEST(DecoderFactory, MakesTheDecoderOfEachKind) {
  TMemoryStream stream;
  TMediaInfo info;
  auto make = [&](TMediaKind kind) {
    info.Kind = kind;
    return CreateDecoder(&stream, u"x.mp3", info);
  };
  auto type = [&](TMediaKind kind) -> const std::type_info& {
    const auto decoder = make(kind);
    return decoder ? typeid(*decoder) : typeid(nullptr);
  };
  EXPECT_EQ(type(TMediaKind::Pcm), typeid(TWavConverter));
  EXPECT_EQ(type(TMediaKind::IeeeFloat), typeid(TWavConverter));
  EXPECT_EQ(type(TMediaKind::MsAdpcm), typeid(TAdpcmConverter));
  // MPEG audio and Ogg Vorbis are built in; the others come from
  // registered makers.
  EXPECT_EQ(type(TMediaKind::Mpeg), typeid(TMpegConverter));
  EXPECT_EQ(type(TMediaKind::Ogg), typeid(TDllConverter));
  const auto builtInOgg = SetDllDec(TMediaKind::Ogg, nullptr);
  const TMediaKind compressed[] = {TMediaKind::Mpeg, TMediaKind::Wma, TMediaKind::Ogg, TMediaKind::MediaLibrary};
  for (const TMediaKind kind : {TMediaKind::Wma, TMediaKind::Ogg, TMediaKind::MediaLibrary}) EXPECT_FALSE(make(kind));

  std::vector<TMediaKind> asked;
  const auto maker = [&](TStream* s, TStringView name, const TMediaInfo& i) {
    EXPECT_EQ(s, &stream);
    EXPECT_EQ(name, u"x.mp3");
    asked.push_back(i.Kind);
    return i.Kind == TMediaKind::Ogg ? nullptr : std::make_unique<TAdpcmConverter>(s);
  };
  // Each kind asks only its own maker.
  for (const TMediaKind kind : compressed) EXPECT_FALSE(SetDecoderMaker(kind, maker));
  EXPECT_TRUE(SetDecoderMaker(TMediaKind::Wma, nullptr));  // takes it back
  for (const TMediaKind kind : compressed) {
    EXPECT_EQ(type(kind), kind == TMediaKind::Ogg || kind == TMediaKind::Wma ? typeid(nullptr) : typeid(TAdpcmConverter));
  }
  EXPECT_EQ(asked, (std::vector<TMediaKind>{TMediaKind::Mpeg, TMediaKind::Ogg, TMediaKind::MediaLibrary}));
  // A maker that gives none leaves the kind to its built-in decoder.
  SetDllDec(TMediaKind::Ogg, builtInOgg);
  EXPECT_EQ(type(TMediaKind::Ogg), typeid(TDllConverter));
  for (const TMediaKind kind : compressed) SetDecoderMaker(kind, nullptr);

  std::vector<std::string> reports;
  const auto hook = SetAssertionHook([&](const std::string& report) { reports.push_back(report); });
  EXPECT_FALSE(make(TMediaKind::Composite));
  EXPECT_FALSE(make(static_cast<TMediaKind>(77)));
  SetAssertionHook(hook);
  EXPECT_EQ(reports.size(), 2u);
}

}  // namespace
}  // namespace zel
