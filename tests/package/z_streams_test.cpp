#include <gtest/gtest.h>

#include "package/deflate_helpers.h"
#include "package/z_streams.h"

namespace zel {
namespace {

using testing_support::Deflate;
using testing_support::Sample;

std::unique_ptr<TMemoryStream> MemoryWith(const std::vector<uint8_t>& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(bytes);
  stream->SetPosition(0);
  return stream;
}

std::vector<uint8_t> ReadAll(TStream& stream, size_t piece = 1000) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(piece);
  int32_t n;
  while ((n = stream.Read(buffer)) > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  return out;
}

TEST(ZDecompression, ReadsZlibAndRawDeflate) {
  const auto plain = Sample(200000);
  auto zlibSource = MemoryWith(Deflate(plain, 15));
  TZDecompressionStream zlibStream(*zlibSource);
  EXPECT_EQ(ReadAll(zlibStream, 777), plain);
  EXPECT_EQ(zlibStream.GetSize(), -1);
  EXPECT_EQ(zlibStream.GetPosition(), 200000);

  auto rawSource = MemoryWith(Deflate(plain, -15));
  TInflateStream rawStream(*rawSource);
  EXPECT_EQ(ReadAll(rawStream), plain);
  EXPECT_EQ(rawStream.GetSize(), -1);
  TInflateStream declared(*rawSource, 200000);
  EXPECT_EQ(declared.GetSize(), 200000);
}

TEST(ZDecompression, SeekingToZeroRestartsFromTheFirstCompressedByte) {
  const auto plain = Sample(100000);
  // Compressed data that starts in the middle of its source.
  std::vector<uint8_t> packed(37, 0xEE);
  const auto deflated = Deflate(plain, -15);
  packed.insert(packed.end(), deflated.begin(), deflated.end());
  auto source = MemoryWith(packed);
  source->SetPosition(37);
  TInflateStream stream(*source);
  EXPECT_EQ(ReadAll(stream), plain);
  stream.SetPosition(0);
  EXPECT_EQ(stream.GetPosition(), 0);
  EXPECT_EQ(ReadAll(stream), plain);
}

TEST(ZDecompression, ForwardSeeksSkipAndBackwardSeeksFail) {
  const auto plain = Sample(50000);
  auto source = MemoryWith(Deflate(plain, 15));
  TZDecompressionStream stream(*source);
  std::vector<uint8_t> buffer(200);
  ASSERT_EQ(stream.Read(buffer), 200);
  try {
    stream.SetPosition(100);
    FAIL() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "Invalid ZStream operation!");
  }
  stream.SetPosition(30000);
  ASSERT_EQ(stream.Read(buffer, 1), 1);
  EXPECT_EQ(buffer[0], plain[30000]);
  EXPECT_EQ(stream.SeekToEnd(), 50000);
  EXPECT_THROW(stream.SetPosition(60000), EStreamReadError);
}

TEST(ZDecompression, WritingAndResizingAreRefused) {
  auto source = MemoryWith(Deflate(Sample(10), -15));
  TInflateStream stream(*source);
  const uint8_t byte = 1;
  EXPECT_THROW(stream.Write(std::span<const uint8_t>(&byte, 1)), EZDecompressionError);
  EXPECT_THROW(stream.SetSize(5), EZDecompressionError);
  EXPECT_THROW(stream.Clear(), EZDecompressionError);
  TZDecompressionStream zlibStream(*source);
  EXPECT_NO_THROW(zlibStream.SetSize(5));  // does nothing
}

TEST(ZDecompression, ReadersSharingASourceEachKeepTheirPlace) {
  const auto plainA = Sample(300000);
  auto source = MemoryWith(Deflate(plainA, -15));
  TInflateStream first(*source);
  TInflateStream second(*source);
  std::vector<uint8_t> a(1000), b(1000);
  ASSERT_EQ(first.Read(a), 1000);
  ASSERT_EQ(second.Read(b), 1000);
  EXPECT_EQ(a, b);
  const auto restA = ReadAll(first);
  const auto restB = ReadAll(second);
  EXPECT_EQ(restA.size(), 299000u);
  EXPECT_EQ(restA, restB);
}

TEST(ZDecompression, CorruptDataRaisesZlibsText) {
  auto bytes = Deflate(Sample(100000), 15);
  bytes[0] = 0x00;  // no longer a zlib header
  auto source = MemoryWith(bytes);
  TZDecompressionStream stream(*source);
  std::vector<uint8_t> buffer(100);
  try {
    stream.Read(buffer);
    FAIL() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "data error");
  }
}

TEST(ZDecompression, ATruncatedSourceGivesFewerBytes) {
  const auto plain = Sample(100000);
  auto bytes = Deflate(plain, -15);
  bytes.resize(bytes.size() / 2);
  auto source = MemoryWith(bytes);
  TInflateStream stream(*source);
  const auto got = ReadAll(stream);
  EXPECT_LT(got.size(), plain.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
}

TEST(ZDecompression, ProgressIsNotifiedPerSourceBlock) {
  auto source = MemoryWith(Deflate(Sample(2000000), -15));
  const int64_t compressed = source->GetSize();
  TInflateStream stream(*source);
  int blocks = 0;
  stream.SetProgressCallback([&] { ++blocks; });
  ReadAll(stream, 65536);
  EXPECT_EQ(blocks, static_cast<int>((compressed + 65535) / 65536));
}

TEST(ZDecompression, InflatingToMemoryIsBounded) {
  const auto plain = Sample(100000);
  auto source = MemoryWith(Deflate(plain, -15));
  TInflateStream stream(*source);
  auto whole = InflateToMemory(stream);
  EXPECT_EQ(whole->GetSize(), 100000);
  source->SetPosition(0);
  TInflateStream again(*source);
  EXPECT_THROW(InflateToMemory(again, 99999), EZDecompressionError);
}

// --------------------------------------------------------------------------

TEST(Inflator, InflatesRawDeflateWhole) {
  const auto plain = Sample(500000);
  auto source = MemoryWith(Deflate(plain, -15));
  TMemoryStream target;
  TInflator inflator;
  int reads = 0;
  inflator.SetProgressCallback([&] { ++reads; });
  inflator.InflateWhole(*source, target);
  ASSERT_EQ(target.GetSize(), 500000);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), target.Bytes().begin()));
  EXPECT_GE(reads, static_cast<int>((source->GetSize() + 32767) / 32768));
}

TEST(Inflator, CorruptOrTruncatedInputAndTheLimitRaise) {
  const auto plain = Sample(100000);
  auto bytes = Deflate(plain, -15);
  auto truncated = MemoryWith(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)));
  TMemoryStream target;
  TInflator inflator;
  EXPECT_THROW(inflator.InflateWhole(*truncated, target), EZDecompressionError);

  auto garbage = MemoryWith(std::vector<uint8_t>(100, 0xFF));
  TMemoryStream target2;
  EXPECT_THROW(inflator.InflateWhole(*garbage, target2), EZDecompressionError);

  auto whole = MemoryWith(bytes);
  TMemoryStream target3;
  inflator.SetLimit(1000);
  try {
    inflator.InflateWhole(*whole, target3);
    FAIL() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_NE(e.Message().find("limit of 1000 bytes"), std::string::npos);
  }
}

TEST(Inflator, AnAbortFromTheCallbackPassesThrough) {
  auto source = MemoryWith(Deflate(Sample(500000), -15));
  TMemoryStream target;
  TInflator inflator;
  inflator.SetProgressCallback([] { throw EAbort(); });
  EXPECT_THROW(inflator.InflateWhole(*source, target), EAbort);
}

}  // namespace
}  // namespace zel
