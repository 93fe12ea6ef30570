#include "audio/dll_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/obj.h"
#include "log_capture.h"

namespace zel {
namespace {

using TBytes = std::vector<uint8_t>;

// A library over PCM in memory: each Decode hands out the next piece, the
// sizes taken in turn from a list (0: a call that delivers nothing), so
// that pieces split frames anywhere.
class TFakeDec : public TDllDec {
 public:
  TFakeDec(TBytes pcm, TWaveFormat format, std::vector<int64_t> pieces)
      : Pcm(std::move(pcm)), Format(format), Pieces(std::move(pieces)) {}

  struct TFakeDecoder : TDecoder {
    TFakeDec& Owner;
    TOutput Output;
    int64_t Cursor = 0;
    size_t Next = 0;
    TFakeDecoder(TFakeDec& owner, TOutput output) : Owner(owner), Output(std::move(output)) {}
    bool Decode() override {
      const auto size = static_cast<int64_t>(Owner.Pcm.size());
      if (Cursor >= size) return false;
      const int64_t piece = std::min(Owner.Pieces[Next++ % Owner.Pieces.size()], size - Cursor);
      Output(Owner.Pcm.data() + Cursor, piece);
      Cursor += piece;
      return true;
    }
    bool SetPosition(double ms) override {
      Owner.Positions.push_back(ms);
      Cursor = std::llround(ms * Owner.Format.SamplesPerSec / 1000) * Owner.Format.BlockAlign;
      return true;
    }
  };

  bool GetMediaInfo(TStream&, int32_t&, int64_t&, TWaveFormat&) override { return false; }
  std::unique_ptr<TDecoder> CreateDecoder(TStream&, TOutput output) override {
    if (FailCreate) return nullptr;
    return std::make_unique<TFakeDecoder>(*this, std::move(output));
  }

  TBytes Pcm;
  TWaveFormat Format;
  std::vector<int64_t> Pieces;
  std::vector<double> Positions;
  bool FailCreate = false;
};

TBytes Pattern(size_t count) {
  TBytes bytes(count);
  uint32_t state = 12345;
  for (auto& b : bytes) b = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
  return bytes;
}

TMediaInfo InfoOf(const TWaveFormat& format) {
  TMediaInfo info;
  info.Kind = TMediaKind::Ogg;
  info.Format = format;
  return info;
}

// The converter over a fake library, opened.
struct TFixture {
  std::shared_ptr<TFakeDec> Library;
  TMemoryStream Stream;  // never read: the library reads for itself
  TDllConverter Converter;

  TFixture(TBytes pcm, TWaveFormat format, std::vector<int64_t> pieces)
      : Library(std::make_shared<TFakeDec>(std::move(pcm), format, std::move(pieces))),
        Converter(&Stream, Library) {
    EXPECT_TRUE(Converter.Open(InfoOf(format)));
  }

  std::pair<bool, TBytes> Take(int64_t n) {
    const bool result = Converter.Fill(n);
    TBytes bytes(Converter.Output.Data(), Converter.Output.Data() + n);
    Converter.Output.Consume(n);
    return {result, bytes};
  }
};

// Every whole decoded frame, in order, then zeros: the stream ends inside a
// frame, whose broken rest is dropped.
TEST(DllConverter, FillHandsOutExactlyTheDecodedFramesWhateverThePieces) {
  const TWaveFormat format = Pcm16Format(8000, 2);
  const TBytes pcm = Pattern(40003);
  const TBytes whole(pcm.begin(), pcm.begin() + 40000);
  for (const auto& pieces : std::vector<std::vector<int64_t>>{{1}, {3, 0, 5}, {1000, 0, 0, 7}, {4096}, {50000}}) {
    for (const int64_t take : {2, 4, 998, 13000}) {
      SCOPED_TRACE("piece " + std::to_string(pieces[0]) + " take " + std::to_string(take));
      TFixture file(pcm, format, pieces);
      TBytes got;
      for (bool more = true; more;) {
        auto [result, bytes] = file.Take(take);
        more = result;
        got.insert(got.end(), bytes.begin(), bytes.end());
      }
      ASSERT_GE(got.size(), whole.size());
      EXPECT_LE(got.size() - whole.size(), static_cast<size_t>(take));
      EXPECT_EQ(TBytes(got.begin(), got.begin() + 40000), whole);
      EXPECT_EQ(TBytes(got.begin() + 40000, got.end()), TBytes(got.size() - whole.size(), 0));
      // Position counts what was decoded, not the padding.
      EXPECT_DOUBLE_EQ(file.Converter.Position, 40000 * 1000.0 / format.AvgBytesPerSec);
      EXPECT_EQ(file.Take(300), std::make_pair(false, TBytes(300, 0)));
    }
  }
}

TEST(DllConverter, SeekEmptiesTheBuffersAndPositionsTheDecoder) {
  const TWaveFormat format = Pcm16Format(1000, 2);  // 4000 bytes a second
  const TBytes pcm = Pattern(20000);
  TFixture file(pcm, format, {3001});
  file.Take(100);
  file.Converter.Seek(2500.0);
  EXPECT_EQ(file.Converter.Output.Length() + file.Converter.Input.Length(), 0);
  EXPECT_DOUBLE_EQ(file.Converter.Position, 2500.0);
  EXPECT_EQ(file.Library->Positions, (std::vector<double>{2500.0}));
  EXPECT_EQ(file.Take(400).second, TBytes(pcm.begin() + 10000, pcm.begin() + 10400));
  EXPECT_DOUBLE_EQ(file.Converter.Position, 2500.0 + 3000 * 1000.0 / 4000);
  // Back to the start after the end: decoding goes on again.
  while (file.Converter.Fill(4000)) file.Converter.Output.Clear();
  file.Converter.Seek(0);
  EXPECT_EQ(file.Take(8), std::make_pair(true, TBytes(pcm.begin(), pcm.begin() + 8)));
}

TEST(DllConverter, OpenRefusesWhatItCannotDecode) {
  const TWaveFormat format = Pcm16Format(8000, 2);
  TWaveFormat eightBit = format;
  eightBit.BitsPerSample = 8;
  eightBit.BlockAlign = 2;
  TMemoryStream stream;
  auto library = std::make_shared<TFakeDec>(Pattern(100), format, std::vector<int64_t>{10});
  EXPECT_FALSE(TDllConverter(&stream, nullptr).Open(InfoOf(format)));
  EXPECT_FALSE(TDllConverter(nullptr, library).Open(InfoOf(format)));
  EXPECT_FALSE(TDllConverter(&stream, library).Open(InfoOf(eightBit)));
  library->FailCreate = true;
  TDllConverter failed(&stream, library);
  EXPECT_FALSE(failed.Open(InfoOf(format)));
  EXPECT_FALSE(failed.Fill(8));
}

TEST(DllDecRegistry, OnlyTheTwoKindsHoldLibrariesAndSettingGivesThePrevious) {
  const auto savedOgg = SetDllDec(TMediaKind::Ogg, nullptr);
  const auto savedWma = SetDllDec(TMediaKind::Wma, nullptr);
  auto ogg = std::make_shared<TFakeDec>(TBytes{}, Pcm16Format(8000, 1), std::vector<int64_t>{1});
  EXPECT_EQ(DllDec(TMediaKind::Ogg), nullptr);
  EXPECT_EQ(SetDllDec(TMediaKind::Ogg, ogg), nullptr);
  EXPECT_EQ(DllDec(TMediaKind::Ogg), ogg);
  for (const auto kind : {TMediaKind::Wma, TMediaKind::Pcm, TMediaKind::MediaLibrary}) EXPECT_EQ(DllDec(kind), nullptr);
  EXPECT_THROW(SetDllDec(TMediaKind::Mpeg, ogg), EAssertionFailed);
  EXPECT_EQ(SetDllDec(TMediaKind::Ogg, nullptr), ogg);
  SetDllDec(TMediaKind::Ogg, savedOgg);
  SetDllDec(TMediaKind::Wma, savedWma);
}

// Once per process, so in a fresh one: the first converter says it, the
// second does not. The exit code carries both counts.
TEST(DllConverterDeathTest, SaysOnceThatThePlugInLibrariesAreNotLoaded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testing_support::TLogCapture log;
        const TWaveFormat format = Pcm16Format(8000, 1);
        TMemoryStream stream;
        auto library = std::make_shared<TFakeDec>(Pattern(100), format, std::vector<int64_t>{10});
        const std::string text = "Plug-in sound libraries are not loaded";
        TDllConverter first(&stream, library);
        first.Open(InfoOf(format));
        const int afterFirst = log.Containing(text);
        TDllConverter second(&stream, library);
        second.Open(InfoOf(format));
        SetDllDec(TMediaKind::Ogg, library);
        DllDec(TMediaKind::Ogg);
        std::_Exit(10 * afterFirst + log.Containing(text));
      },
      ::testing::ExitedWithCode(11), "");
}

}  // namespace
}  // namespace zel
