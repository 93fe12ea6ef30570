#include <gtest/gtest.h>

#include "package/crypt_stream.h"

namespace zel {
namespace {

const std::string kKey = "E9D4A7C1035B86F2DA41C07E9B3258FA";

std::vector<uint8_t> Plain(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
  return bytes;
}

// Scrambles through the stream itself: writing is the same transformation.
std::unique_ptr<TMemoryStream> Scrambled(const std::vector<uint8_t>& plain, const std::string& key) {
  auto memory = std::make_unique<TMemoryStream>();
  TCryptStream writer(*memory, key);
  EXPECT_EQ(writer.Write(plain), static_cast<int32_t>(plain.size()));
  memory->SetPosition(0);
  return memory;
}

TEST(CryptStream, EachByteIsCombinedWithTheKeyByteOfItsPosition) {
  const auto plain = Plain(100);
  auto memory = Scrambled(plain, kKey);
  for (size_t i = 0; i < plain.size(); ++i) {
    ASSERT_EQ(memory->Bytes()[i], plain[i] ^ static_cast<uint8_t>(kKey[i % kKey.size()])) << i;
  }
}

TEST(CryptStream, AnyRangeInAnyChunkSizeReadsTheSame) {
  const auto plain = Plain(1000);
  auto memory = Scrambled(plain, kKey);
  TCryptStream reader(*memory, kKey);
  for (int64_t start : {0, 5, 31, 32, 33, 517}) {
    for (int32_t chunk : {1, 3, 32, 100, 1000}) {
      reader.SetPosition(start);
      std::vector<uint8_t> got;
      std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
      int32_t n;
      while ((n = reader.Read(buffer)) > 0) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
      ASSERT_EQ(got, std::vector<uint8_t>(plain.begin() + start, plain.end())) << start << "/" << chunk;
    }
  }
}

TEST(CryptStream, ReadingAtAnOffsetIntoTheSpan) {
  const auto plain = Plain(10);
  auto memory = Scrambled(plain, kKey);
  TCryptStream reader(*memory, kKey);
  reader.SetPosition(5);
  std::vector<uint8_t> buffer(8, 0);
  EXPECT_EQ(reader.Read(buffer, 5, 3), 5);
  EXPECT_EQ(buffer[2], 0);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 3, buffer.end()), std::vector<uint8_t>(plain.begin() + 5, plain.end()));
}

TEST(CryptStream, AOneByteKeyIsAConstantExclusiveOr) {
  const auto plain = Plain(50);
  auto memory = Scrambled(plain, "\x5A");
  for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(memory->Bytes()[i], plain[i] ^ 0x5A);
}

TEST(CryptStream, PositionAndSizeAreTheSources) {
  auto owned = std::make_unique<TMemoryStream>();
  owned->Write(Plain(40));
  TMemoryStream* raw = owned.get();
  TCryptStream stream(std::move(owned), kKey);
  EXPECT_EQ(stream.GetSize(), 40);
  stream.SetPosition(12);
  EXPECT_EQ(raw->GetPosition(), 12);
  stream.SetSize(20);
  EXPECT_EQ(raw->GetSize(), 20);
}

}  // namespace
}  // namespace zel
