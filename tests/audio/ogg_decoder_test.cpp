#include "audio/ogg_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio/stream_gate.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::unique_ptr<TMemoryStream> MemoryStreamOf(const TBytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(std::span<const uint8_t>(bytes));
  stream->SetPosition(0);
  return stream;
}

struct TVariant {
  uint32_t Rate;
  uint16_t Channels;
};

std::string Name(const TVariant& v) { return std::to_string(v.Rate) + "Hz" + std::to_string(v.Channels) + "ch"; }

// An 8-second 440 Hz tone encoded by ffmpeg, and oggdec's raw decoding of
// it (16-bit signed little-endian, interleaved): the reference.
class OggDecoderTest : public ::testing::TestWithParam<TVariant> {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/zel_ogg_test_XXXXXX";
    if (mkdtemp(pattern)) fDir = pattern;
  }
  static void TearDownTestSuite() {
    if (!fDir.empty()) std::filesystem::remove_all(fDir);
    fDir.clear();
  }

  void SetUp() override {
    if (!testing_support::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed: no Ogg files to decode";
    if (!testing_support::HaveProgram("oggdec")) GTEST_SKIP() << "oggdec is not installed: no reference decoding";
    ASSERT_FALSE(fDir.empty());
    const TVariant v = GetParam();
    fOgg = fDir + "/" + Name(v) + ".ogg";
    const std::string raw = fDir + "/" + Name(v) + ".raw";
    const std::string encode = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=8" +
                               (":sample_rate=" + std::to_string(v.Rate)) + " -ac " + std::to_string(v.Channels) +
                               " -c:a libvorbis -q:a 4 " + fOgg;
    if (std::system(encode.c_str()) != 0) GTEST_SKIP() << "ffmpeg cannot encode Vorbis here";
    ASSERT_EQ(std::system(("oggdec -Q -R -o " + raw + " " + fOgg).c_str()), 0);
    fReference = ReadFile(raw);
    ASSERT_FALSE(fReference.empty());
    fFrame = 2 * v.Channels;
    ASSERT_EQ(fReference.size() % fFrame, 0u);
  }

  // The file's information as the library gives it.
  TMediaInfo Identify(TStream& stream) {
    TMediaInfo info;
    int32_t duration = -1;
    int64_t offset = -1;
    EXPECT_TRUE(fLibrary->GetMediaInfo(stream, duration, offset, info.Format));
    info.Kind = TMediaKind::Ogg;
    info.Duration = duration;
    info.DataOffset = offset;
    return info;
  }

  // Fills and takes bytes in pieces of changing sizes until count bytes
  // were taken; each Fill must report data.
  static TBytes TakeAll(TDllConverter& converter, size_t count) {
    static const int64_t kPieces[] = {2, 4097, 65536, 1234, 10};
    TBytes bytes;
    for (size_t i = 0; bytes.size() < count; ++i) {
      const int64_t n = std::min<int64_t>(kPieces[i % std::size(kPieces)], static_cast<int64_t>(count - bytes.size()));
      EXPECT_TRUE(converter.Fill(n)) << "at byte " << bytes.size();
      bytes.insert(bytes.end(), converter.Output.Data(), converter.Output.Data() + n);
      converter.Output.Consume(n);
    }
    return bytes;
  }

  // After the last byte: nothing more, only zeros.
  static void ExpectEnded(TDllConverter& converter) {
    EXPECT_FALSE(converter.Fill(8));
    EXPECT_EQ(TBytes(converter.Output.Data(), converter.Output.Data() + 8), TBytes(8, 0));
  }

  static std::string fDir;
  std::shared_ptr<TOggDec> fLibrary = std::make_shared<TOggDec>();
  std::string fOgg;
  TBytes fReference;
  size_t fFrame = 0;
};

std::string OggDecoderTest::fDir;

// The format and length oggdec finds, then its samples bit for bit, through
// a file stream and Fill.
TEST_P(OggDecoderTest, IdentifiesAndDecodesBitExactlyAsOggdec) {
  const TVariant v = GetParam();
  auto stream = StreamWrapper().Open(Utf8ToString(fOgg));
  const TMediaInfo info = Identify(*stream);
  EXPECT_EQ(info.Format, Pcm16Format(v.Rate, v.Channels));
  EXPECT_EQ(info.DataOffset, 0);
  EXPECT_NEAR(info.Duration, static_cast<double>(fReference.size() / fFrame) * 1000 / v.Rate, 1.0);
  TDllConverter converter(stream.get(), fLibrary);
  ASSERT_TRUE(converter.Open(info));
  const TBytes decoded = TakeAll(converter, fReference.size());
  const auto first = std::mismatch(decoded.begin(), decoded.end(), fReference.begin()).first;
  EXPECT_TRUE(decoded == fReference) << "first difference at byte " << (first - decoded.begin());
  ExpectEnded(converter);
  // The same file cut inside its headers is refused.
  const TBytes file = ReadFile(fOgg);
  auto cut = MemoryStreamOf(TBytes(file.begin(), file.begin() + 200));
  EXPECT_EQ(fLibrary->CreateDecoder(*cut, [](const uint8_t*, int64_t) {}), nullptr);
}

// Seeks land on the sample nearest the time: what follows is the full
// decoding from there, to the same end.
TEST_P(OggDecoderTest, SeeksToTheExactSample) {
  const TVariant v = GetParam();
  auto stream = MemoryStreamOf(ReadFile(fOgg));
  TDllConverter converter(stream.get(), fLibrary);
  ASSERT_TRUE(converter.Open(Identify(*stream)));
  TakeAll(converter, 30000);
  for (const double ms : {5000.0, 1000.013, 0.0, 7999.9}) {
    SCOPED_TRACE(ms);
    converter.Seek(ms);
    EXPECT_EQ(converter.Output.Length(), 0);
    EXPECT_DOUBLE_EQ(converter.Position, ms);
    const auto from = static_cast<size_t>(std::llround(ms * v.Rate / 1000)) * fFrame;
    ASSERT_LE(from, fReference.size());
    const TBytes rest = TakeAll(converter, fReference.size() - from);
    EXPECT_TRUE(rest == TBytes(fReference.begin() + static_cast<ptrdiff_t>(from), fReference.end()));
    ExpectEnded(converter);
  }
  // Past the end, from the middle: nothing more to decode.
  converter.Seek(1000);
  TakeAll(converter, 4000);
  converter.Seek(60000);
  ExpectEnded(converter);
}

INSTANTIATE_TEST_SUITE_P(Tones, OggDecoderTest,
                         ::testing::Values(TVariant{44100, 1}, TVariant{44100, 2}, TVariant{22050, 1},
                                           TVariant{22050, 2}),
                         [](const auto& info) { return Name(info.param); });

TEST(OggDecoder, RefusesStreamsThatAreNotOgg) {
  TBytes wav = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                1,   0,   1,   0,   0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
  TBytes noise(100000);
  uint32_t state = 7;
  for (auto& b : noise) {
    state = state * 1664525 + 1013904223;
    b = static_cast<uint8_t>(state >> 24);
  }
  // A page header alone, its capture pattern and nothing that follows it.
  TBytes capture = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
  TOggDec library;
  for (const TBytes& bytes : {TBytes{}, wav, noise, capture}) {
    auto stream = MemoryStreamOf(bytes);
    int32_t duration = 0;
    int64_t offset = 0;
    TWaveFormat format;
    EXPECT_FALSE(library.GetMediaInfo(*stream, duration, offset, format)) << bytes.size() << " bytes";
    EXPECT_EQ(library.CreateDecoder(*stream, [](const uint8_t*, int64_t) {}), nullptr);
  }
}

TEST(OggDecoder, RegisterInstallsItAsTheOggLibrary) {
  const auto saved = SetDllDec(TMediaKind::Ogg, nullptr);
  RegisterOggDecoder();
  EXPECT_NE(std::dynamic_pointer_cast<TOggDec>(DllDec(TMediaKind::Ogg)), nullptr);
  SetDllDec(TMediaKind::Ogg, saved);
}

}  // namespace
}  // namespace zel
