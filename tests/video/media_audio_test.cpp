// The sound decoders on the media library bridge, on files made here with
// the ffmpeg program: their PCM must be the ffmpeg program's own decoding
// of the same file, seeks must land on the sample, and the "?N" suffix must
// pick the audio stream.
#include "video/ffmpeg/media_audio.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "audio/decoder_factory.h"
#include "audio/stream_gate.h"
#include "audio/wave_out.h"
#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

constexpr int kFrameBytes = 4;  // 16-bit stereo
constexpr int kRate = 44100;

// Two channels that never repeat: a warbling tone and a rising chirp.
std::string Chirp(int seconds, int rate = kRate) {
  return "-f lavfi -i aevalsrc=exprs='0.6*sin(440*2*PI*t+3*sin(5*t))|0.5*sin(900*t*t)':s=" + std::to_string(rate) +
         ":d=" + std::to_string(seconds);
}

class MediaAudio : public testing::Test {
 protected:
  void SetUp() override {
    static const bool have = testing_support::HaveProgram("ffmpeg");
    if (!have) GTEST_SKIP() << "the ffmpeg program is not installed";
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_media_audio_" + std::to_string(getpid()) + "_" + test);
    fs::create_directories(fRoot);
  }
  void TearDown() override {
    if (!fRoot.empty()) fs::remove_all(fRoot);
  }

  std::string Make(const std::string& file, const std::string& arguments) {
    const std::string path = (fRoot / file).string();
    Run(arguments + " '" + path + "'");
    return path;
  }
  static void Run(const std::string& arguments) {
    const std::string command = "ffmpeg -v error -nostdin -y " + arguments;
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
  }
  // The ffmpeg program's decoding as 16-bit stereo at 44.1 kHz.
  TBytes Reference(const std::string& path, const std::string& options = "") {
    const std::string raw = (fRoot / "reference.raw").string();
    Run("-i '" + path + "' " + options + " -f s16le -ac 2 -ar 44100 '" + raw + "'");
    std::ifstream in(raw, std::ios::binary);
    return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static std::unique_ptr<TStream> Load(const std::string& path) {
    auto file = TBufferedFileStream::OpenRead(path);
    auto memory = std::make_unique<TMemoryStream>();
    memory->LoadFrom(*file);
    return memory;
  }
  // A converter opened on the file as the music system opens one.
  static std::unique_ptr<TFFMpegConverter> Converter(TStream& stream, const std::string& name) {
    int32_t number = -1;
    const TString fileName = StripStreamSuffix(Utf8ToString(name), &number);
    TMediaInfo info;
    if (!IdentifyWithMediaLibrary(stream, fileName.substr(fileName.rfind(u'.')), number, info)) return nullptr;
    auto converter = std::make_unique<TFFMpegConverter>(&stream, Utf8ToString(name));
    if (!converter->Open(info)) return nullptr;
    return converter;
  }
  // Everything up to the end, without the silence it is padded with.
  static TBytes DecodeAll(TWavConverter& decoder, size_t limit = 1u << 26) {
    TBytes all;
    bool more = true;
    while (more && all.size() < limit) {
      more = decoder.Fill(8192);
      all.insert(all.end(), decoder.Output.Data(), decoder.Output.Data() + decoder.Output.Length());
      decoder.Output.Consume(decoder.Output.Length());
    }
    return all;
  }
  // Whether decoded is reference followed by zeros only (the padding).
  static void ExpectSameSound(const TBytes& decoded, const TBytes& reference) {
    ASSERT_GT(reference.size(), 0u);
    ASSERT_GE(decoded.size(), reference.size());
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), decoded.begin()));
    EXPECT_TRUE(std::all_of(decoded.begin() + static_cast<ptrdiff_t>(reference.size()), decoded.end(),
                            [](uint8_t b) { return b == 0; }));
  }
  // The frame offset near expected (within ms) where piece starts in whole;
  // -1 when it is nowhere there.
  static int64_t FoundAt(const TBytes& whole, const TBytes& piece, int64_t expected, int ms = 1) {
    const size_t length = std::min<size_t>(piece.size(), 4096 * kFrameBytes);
    for (int64_t frame = std::max<int64_t>(expected - kRate * ms / 1000, 0); frame <= expected + kRate * ms / 1000;
         ++frame) {
      const size_t at = static_cast<size_t>(frame) * kFrameBytes;
      if (at + length <= whole.size() && std::equal(piece.begin(), piece.begin() + length, whole.begin() + at)) {
        return frame;
      }
    }
    return -1;
  }

  fs::path fRoot;
};

TEST_F(MediaAudio, DecodesAsTheFFmpegProgramDoes) {
  for (const std::string file : {"chirp.flac", "chirp.ogg", "chirp.wma"}) {
    const std::string codec = file == "chirp.flac" ? "flac -sample_fmt s16" : file == "chirp.ogg" ? "libvorbis" : "wmav2";
    const std::string path = Make(file, Chirp(3) + " -c:a " + codec);
    auto stream = Load(path);
    auto converter = Converter(*stream, file);
    ASSERT_NE(converter, nullptr) << file;
    EXPECT_EQ(converter->OutputFormat(), GlobalOutputFormat());
    ExpectSameSound(DecodeAll(*converter), Reference(path));
  }
}

TEST_F(MediaAudio, WmaLibraryDecodesAsTheFFmpegProgramDoes) {
  const std::string path = Make("tone.wma", Chirp(3) + " -c:a wmav2");
  auto stream = Load(path);
  TWmaDec library;
  int32_t duration = 0;
  int64_t offset = -1;
  TWaveFormat format;
  ASSERT_TRUE(library.GetMediaInfo(*stream, duration, offset, format));
  EXPECT_EQ(format, Pcm16Format(44100, 2));
  EXPECT_NEAR(duration, 3000, 100);
  EXPECT_EQ(offset, 0);
  TBytes decoded;
  auto decoder = library.CreateDecoder(
      *stream, [&](const uint8_t* pcm, int64_t bytes) { decoded.insert(decoded.end(), pcm, pcm + bytes); });
  ASSERT_NE(decoder, nullptr);
  while (decoder->Decode()) {
  }
  const TBytes reference = Reference(path);
  EXPECT_EQ(decoded, reference);

  ASSERT_TRUE(decoder->SetPosition(1500));
  decoded.clear();
  while (decoded.size() < 8192 && decoder->Decode()) {
  }
  // Within the millisecond steps of the file's time stamps.
  EXPECT_NE(FoundAt(reference, decoded, kRate * 3 / 2, 2), -1);

  auto flac = Load(Make("tone.flac", Chirp(1) + " -c:a flac"));
  EXPECT_FALSE(library.GetMediaInfo(*flac, duration, offset, format));
}

TEST_F(MediaAudio, SeeksLandOnTheSample) {
  for (const std::string file : {"long.flac", "long.mkv"}) {
    const std::string path = Make(file, Chirp(10) + " -c:a flac");
    auto stream = Load(path);
    auto converter = Converter(*stream, file);
    ASSERT_NE(converter, nullptr) << file;
    const TBytes whole = DecodeAll(*converter);
    converter->Seek(5000);
    EXPECT_DOUBLE_EQ(converter->Position, 5000);
    converter->Fill(8192);
    const TBytes piece(converter->Output.Data(), converter->Output.Data() + 8192);
    // To the sample where the time stamps count samples, within a
    // millisecond where they count milliseconds (Matroska).
    const int64_t found = FoundAt(whole, piece, kRate * 5);
    if (file == "long.flac") {
      EXPECT_EQ(found, kRate * 5);
    }
    EXPECT_NE(found, -1) << file;
    // Matroska always searches backward by time; others seek the stream.
    const TAudioSeekMode expected = file == "long.mkv" ? TAudioSeekMode::TimeSearch : TAudioSeekMode::StreamSeek;
    EXPECT_EQ(converter->Handle()->Data->AudioSeekMode, expected) << file;
  }
}

TEST_F(MediaAudio, TheSuffixPicksTheAudioStream) {
  const std::string path = Make("two.mkv", Chirp(2) + " -f lavfi -i sine=f=1000:r=44100:d=2 -map 0 -map 1 -ac 2 -c:a flac");
  auto stream = Load(path);
  auto second = Converter(*stream, "two.mkv?1");
  ASSERT_NE(second, nullptr);
  ExpectSameSound(DecodeAll(*second), Reference(path, "-map 0:a:1"));
  second.reset();
  auto first = Converter(*stream, "two.mkv");
  ASSERT_NE(first, nullptr);
  ExpectSameSound(DecodeAll(*first), Reference(path, "-map 0:a:0"));
  first.reset();

  TMediaInfo info;
  EXPECT_FALSE(IdentifyWithMediaLibrary(*stream, u".mkv", 5, info));
  EXPECT_FALSE(info.Identified());
  TFFMpegConverter beyond(stream.get(), u"two.mkv?5");
  EXPECT_FALSE(beyond.Open(info));
}

TEST_F(MediaAudio, IdentificationClosesTheFile) {
  auto stream = Load(Make("id.ogg", Chirp(2) + " -c:a libvorbis"));
  const TFFMpegDllRef held;
  const int32_t references = TFFMpegDll::ReferenceCount();
  TMediaInfo info;
  ASSERT_TRUE(IdentifyWithMediaLibrary(*stream, u".ogg", -1, info));
  EXPECT_EQ(info.Kind, TMediaKind::MediaLibrary);
  EXPECT_NEAR(info.Duration, 2000, 30);
  EXPECT_EQ(info.Format, GlobalOutputFormat());
  EXPECT_EQ(TFFMpegDll::ReferenceCount(), references);

  auto silent = Load(Make("silent.mp4", "-f lavfi -i testsrc=s=64x48 -frames:v 3 -c:v mpeg4"));
  TMediaInfo none;
  EXPECT_FALSE(IdentifyWithMediaLibrary(*silent, u".mp4", -1, none));
}

TEST_F(MediaAudio, OtherFormatsAreConvertedToTheOutputFormat) {
  auto stream = Load(Make("mono.flac", Chirp(2, 22050) + " -ac 1 -c:a flac"));
  auto converter = Converter(*stream, "mono.flac");
  ASSERT_NE(converter, nullptr);
  EXPECT_EQ(converter->OutputFormat(), GlobalOutputFormat());
  const TBytes decoded = DecodeAll(*converter);
  // Two seconds of output, give or take the padding of the last block.
  EXPECT_NEAR(static_cast<double>(decoded.size()) / (kRate * kFrameBytes), 2.0, 0.2);
  EXPECT_NEAR(converter->Position, 2000, 200);
  const size_t loud = static_cast<size_t>(std::count_if(decoded.begin(), decoded.end(), [](uint8_t b) { return b > 64; }));
  EXPECT_GT(loud, decoded.size() / 8);
}

TEST_F(MediaAudio, RegisteredDecoders) {
  RegisterMediaLibraryAudio();
  EXPECT_NE(dynamic_cast<TWmaDec*>(DllDec(TMediaKind::Wma).get()), nullptr);
  auto stream = Load(Make("made.flac", Chirp(1) + " -c:a flac"));
  TMediaInfo info;
  ASSERT_TRUE(IdentifyWithMediaLibrary(*stream, u".flac", -1, info));
  auto decoder = CreateDecoder(stream.get(), u"made.flac", info);
  ASSERT_NE(dynamic_cast<TFFMpegConverter*>(decoder.get()), nullptr);
  EXPECT_TRUE(decoder->Open(info));
  EXPECT_TRUE(decoder->Fill(4096));
  SetDecoderMaker(TMediaKind::MediaLibrary, {});
  SetDllDec(TMediaKind::Wma, nullptr);
}

// A sound that starts long after the picture: the sound decoder reads past
// far more video packets than it would keep read ahead.
TEST_F(MediaAudio, SoundThatStartsLateInAVideo) {
  for (const std::string file : {"late.mkv", "late.mov"}) {
    const std::string codec = file == "late.mkv" ? "flac" : "pcm_s16le";
    const std::string path = Make(file, "-f lavfi -i testsrc=s=64x48:r=30:d=50 -itsoffset 45 " + Chirp(5) +
                                            " -map 0:v -map 1:a -c:v mpeg4 -c:a " + codec);
    auto stream = Load(path);
    auto converter = Converter(*stream, file);
    ASSERT_NE(converter, nullptr) << file;
    const TBytes whole = DecodeAll(*converter);
    ExpectSameSound(whole, Reference(path, "-map 0:a"));

    // Into the sound: 1.5 s after it starts.
    converter->Seek(46500);
    converter->Fill(8192);
    TBytes piece(converter->Output.Data(), converter->Output.Data() + 8192);
    EXPECT_NE(FoundAt(whole, piece, kRate * 3 / 2, 2), -1) << file;
    // Before it: the sound from its start.
    converter->Seek(20000);
    converter->Fill(8192);
    piece.assign(converter->Output.Data(), converter->Output.Data() + 8192);
    EXPECT_EQ(FoundAt(whole, piece, 0, 2), 0) << file;
  }
}

// An AIFF file of 16-bit mono samples (a warbling ramp) at any whole rate.
// FFmpeg reads such a file 2048 samples a packet.
TBytes AiffAudio(uint32_t rate, uint32_t samples) {
  TBytes bytes;
  const auto put = [&](uint64_t value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
  };
  const auto tag = [&](std::string_view name) {
    for (const char c : name) bytes.push_back(static_cast<uint8_t>(c));
  };
  const uint32_t data = samples * 2;
  tag("FORM");
  put(4 + 26 + 16 + data, 4);
  tag("AIFF");
  tag("COMM");
  put(18, 4);
  put(1, 2);  // channels
  put(samples, 4);
  put(16, 2);  // bits
  // The rate as an 80-bit float: exponent, then the mantissa with its
  // leading one.
  int exponent = 0;
  while ((rate >> exponent) > 1) ++exponent;
  put(16383 + exponent, 2);
  put(uint64_t{rate} << (63 - exponent), 8);
  tag("SSND");
  put(8 + data, 4);
  put(0, 8);  // offset and block size
  for (uint32_t i = 0; i < samples; ++i) put(static_cast<uint16_t>((i * 37 + i * i / 50) % 20000 - 10000), 2);
  return bytes;
}

std::unique_ptr<TMemoryStream> InMemory(const TBytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(bytes);
  return stream;
}

// A rate of a few hertz would turn each packet into hundreds of megabytes
// of output: such sound is not played at all.
TEST(MediaAudioRates, RatesOutsideThePlayableOnesAreRefused) {
  TFFMpegDllRef dll;
  for (const uint32_t rate : {1u, 8u, 999u, 1000u, 768000u, 768001u}) {
    const bool playable = rate == 1000 || rate == 768000;
    auto stream = InMemory(AiffAudio(rate, 2048));
    TMediaInfo info;
    EXPECT_EQ(IdentifyWithMediaLibrary(*stream, u".aiff", -1, info), playable) << rate;
    auto handle = dll->OpenMediaFile(u"rate.aiff", *stream);
    ASSERT_NE(handle, nullptr) << rate;
    TAudioStreamInfo audio;
    EXPECT_EQ(dll->GetAudioInfo(*handle, 0, audio), playable) << rate;
    EXPECT_EQ(dll->OpenAudioStream(*handle, 0), playable) << rate;
    if (playable) {
      EXPECT_EQ(audio.SampleRate, static_cast<int32_t>(rate));
      EXPECT_GT(dll->GetNextAudioFrame(*handle), 0) << rate;
    }
    dll->CloseAudioStream(*handle);
    dll->CloseMediaFile(std::move(handle));
  }
}

// Each frame of the bridge's sound is one bounded piece, however many
// output samples a packet makes; all of them still come.
TEST(MediaAudioRates, UpsampledSoundComesInBoundedPieces) {
  constexpr uint32_t kSamples = 3000;
  constexpr int64_t kOutRate = 768000;
  // A quarter of a megabyte: 65536 frames, about 85 ms of sound.
  constexpr int64_t kLargestPiece = 1 << 18;
  TFFMpegDllRef dll;
  auto stream = InMemory(AiffAudio(1000, kSamples));
  auto handle = dll->OpenMediaFile(u"slow.aiff", *stream);
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(dll->OpenAudioStream(*handle, 0));
  dll->SetAudioOutput(*handle, static_cast<int32_t>(kOutRate), 2);
  int64_t total = 0;
  int pieces = 0;
  for (int64_t bytes = 0; (bytes = dll->GetNextAudioFrame(*handle)) > 0 && pieces < 10000; ++pieces) {
    EXPECT_LE(bytes, kLargestPiece);
    EXPECT_EQ(bytes % kFrameBytes, 0);
    total += bytes / kFrameBytes;
  }
  EXPECT_LE(static_cast<int64_t>(handle->AudioBuffer.capacity()), kLargestPiece);
  EXPECT_GT(pieces, 3);
  EXPECT_NEAR(static_cast<double>(total), kSamples * (kOutRate / 1000.0), kOutRate / 100.0);
  // At its end the sound stays ended.
  EXPECT_EQ(dll->GetNextAudioFrame(*handle), 0);
  dll->CloseAudioStream(*handle);
  dll->CloseMediaFile(std::move(handle));
}

// Resampled piece by piece, the sound is the one the ffmpeg program makes
// from the whole file: nothing is lost or flushed between pieces.
TEST_F(MediaAudio, SoundResampledInPiecesIsTheWholeSound) {
  const std::string path = (fRoot / "slow.aiff").string();
  const TBytes bytes = AiffAudio(1000, 3000);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  auto stream = Load(path);
  auto converter = Converter(*stream, "slow.aiff");
  ASSERT_NE(converter, nullptr);
  ExpectSameSound(DecodeAll(*converter), Reference(path));
}

}  // namespace
}  // namespace zel
