#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "core/streams.h"

namespace zel {
namespace {

std::vector<uint8_t> Iota(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

std::unique_ptr<TMemoryStream> MemoryWith(const std::vector<uint8_t>& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(bytes);
  stream->SetPosition(0);
  return stream;
}

// A source whose size is not known, like a decompressing stream.
class TUnknownSizeStream : public TStream {
 public:
  explicit TUnknownSizeStream(std::vector<uint8_t> bytes) : fBytes(std::move(bytes)) {}
  int64_t GetPosition() override { return fPosition; }
  void SetPosition(int64_t p) override { fPosition = p; }
  int64_t GetSize() override { return -1; }
  void SetSize(int64_t) override { throw EStreamError(); }

 protected:
  int32_t DoRead(std::span<uint8_t> d) override {
    const size_t n = std::min(d.size(), fBytes.size() - std::min(fBytes.size(), static_cast<size_t>(fPosition)));
    std::copy_n(fBytes.begin() + fPosition, n, d.begin());
    fPosition += static_cast<int64_t>(n);
    return static_cast<int32_t>(n);
  }
  int32_t DoWrite(std::span<const uint8_t>) override { return 0; }

 private:
  std::vector<uint8_t> fBytes;
  int64_t fPosition = 0;
};

// A stream that records where its reads went.
class TRecordingStream : public TMemoryStream {
 public:
  std::vector<size_t> readSizes;

 protected:
  int32_t DoRead(std::span<uint8_t> d) override {
    readSizes.push_back(d.size());
    return TMemoryStream::DoRead(d);
  }
};

class TempFile {
 public:
  TempFile() {
    char name[] = "/tmp/zel_stream_XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path = name;
  }
  ~TempFile() { std::remove(path.c_str()); }
  std::string path;
};

// --------------------------------------------------------------------------

TEST(StreamSpans, ReadIsCutToTheRoomInTheSpan) {
  auto stream = MemoryWith(Iota(16));
  std::array<uint8_t, 4> guarded{0xAA, 0xAA, 0xAA, 0xAA};
  // A span of two bytes in the middle of the array: the guards stay put.
  std::span<uint8_t> two(guarded.data() + 1, 2);
  EXPECT_EQ(stream->Read(two, 4), 2);
  EXPECT_EQ(guarded[0], 0xAA);
  EXPECT_EQ(guarded[3], 0xAA);
  EXPECT_EQ(guarded[1], Iota(16)[0]);
  EXPECT_EQ(stream->GetPosition(), 2);
}

TEST(StreamSpans, OffsetAtOrPastTheEndTransfersNothing) {
  auto stream = MemoryWith(Iota(16));
  std::array<uint8_t, 4> buffer{};
  EXPECT_EQ(stream->Read(buffer, 4, 4), 0);
  EXPECT_EQ(stream->Read(buffer, 4, 100), 0);
  EXPECT_EQ(stream->Read(buffer, -1, 0), 0);
  EXPECT_EQ(stream->Read(buffer, 4, -1), 0);
  EXPECT_EQ(stream->GetPosition(), 0);
  EXPECT_EQ(stream->Read(buffer, 10, 3), 1);
  EXPECT_EQ(buffer[3], Iota(16)[0]);
}

TEST(StreamSpans, WriteIsCutToTheSpanToo) {
  TMemoryStream stream;
  const std::array<uint8_t, 3> bytes{1, 2, 3};
  EXPECT_EQ(stream.Write(bytes, 10, 1), 2);
  EXPECT_EQ(stream.GetSize(), 2);
  EXPECT_EQ(stream.Bytes()[0], 2);
  EXPECT_EQ(stream.Write(bytes, 1, 3), 0);
}

TEST(StreamTypedReads, LittleAndBigEndian) {
  auto stream = MemoryWith({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  EXPECT_EQ(stream->ReadUInt32(), 0x04030201u);
  stream->SetPosition(0);
  EXPECT_EQ(stream->ReadUInt32BE(), 0x01020304u);
  stream->SetPosition(0);
  EXPECT_EQ(stream->ReadUInt64(), 0x0807060504030201ull);
  stream->SetPosition(6);
  EXPECT_EQ(stream->ReadUInt16BE(), 0x0708);
  EXPECT_THROW(stream->ReadByte(), EStreamReadError);
}

TEST(StreamTypedReads, StringsRoundTrip) {
  TMemoryStream stream;
  TString text(3000, u'x');
  text[0] = u'\u00e9';
  text[2999] = u'\u4e2d';
  stream.WriteString(text);
  stream.WriteAnsiString("tail");
  EXPECT_EQ(stream.GetSize(), 6004);
  stream.SetPosition(0);
  TString back;
  EXPECT_EQ(stream.ReadStringUnits(back, 0, 3000), 3000);
  EXPECT_EQ(back, text);
  std::string ansi = "..";
  EXPECT_EQ(stream.ReadAnsiChars(ansi, 2, 10), 4);
  EXPECT_EQ(ansi.substr(0, 6), "..tail");
}

// --------------------------------------------------------------------------

TEST(MemoryStream, CapacityGrowsInTheFixedSequence) {
  TMemoryStream stream;
  std::vector<int64_t> capacities;
  const uint8_t byte = 1;
  for (int i = 0; i < 700; ++i) {
    ASSERT_EQ(stream.Write(std::span<const uint8_t>(&byte, 1), 1), 1);
    if (capacities.empty() || capacities.back() != stream.Capacity()) capacities.push_back(stream.Capacity());
  }
  const std::vector<int64_t> expected{16, 32, 48, 112, 176, 240, 304, 608, 1216};
  EXPECT_EQ(capacities, expected);
}

// Exposes the growth step so that the limit can be checked without
// allocating half a gigabyte.
class TGrowthProbe : public TMemoryStream {
 public:
  bool Grow(int64_t n) { return EnsureCapacity(n); }
};

TEST(MemoryStream, GrowthStopsAtTheLimit) {
  TGrowthProbe probe;
  EXPECT_FALSE(probe.Grow(TMemoryStream::kMaxCapacity + 1));
  EXPECT_EQ(probe.Capacity(), 0);
  EXPECT_TRUE(probe.Grow(1000));
  EXPECT_EQ(probe.Capacity(), 1216);
}

TEST(MemoryStream, PositionIsClampedAndSizeChangesPullItBack) {
  auto stream = MemoryWith(Iota(10));
  stream->SetPosition(50);
  EXPECT_EQ(stream->GetPosition(), 10);
  stream->SetPosition(-5);
  EXPECT_EQ(stream->GetPosition(), 0);
  stream->SetPosition(8);
  stream->SetSize(4);
  EXPECT_EQ(stream->GetPosition(), 4);
  stream->SetSize(20);
  EXPECT_EQ(stream->Capacity(), 20);
  EXPECT_EQ(stream->Bytes()[19], 0);  // grown bytes read as zero
  stream->SetSize(0);
  EXPECT_EQ(stream->GetSize(), 0);
  EXPECT_EQ(stream->Capacity(), 0);
  EXPECT_EQ(stream->Memory(), nullptr);
}

TEST(MemoryStream, CopyFromAKnownSizeReadsOnceAtTheSourcePosition) {
  TRecordingStream source;
  source.Write(Iota(100));
  source.SetPosition(40);
  TMemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 1000), 60);
  ASSERT_EQ(source.readSizes.size(), 1u);
  EXPECT_EQ(source.readSizes[0], 60u);
  EXPECT_EQ(target.Bytes()[0], Iota(100)[40]);
}

TEST(MemoryStream, LoadFromRestoresTheSourcePosition) {
  auto source = MemoryWith(Iota(50));
  source->SetPosition(17);
  TMemoryStream target;
  target.Write(Iota(5));
  target.LoadFrom(*source);
  EXPECT_EQ(target.GetSize(), 50);
  EXPECT_EQ(target.GetPosition(), 0);
  EXPECT_EQ(source->GetPosition(), 17);
  EXPECT_TRUE(std::equal(target.Bytes().begin(), target.Bytes().end(), Iota(50).begin()));
}

TEST(MemoryStream, LoadFromAnUnknownSizeCopiesUntilTheSourceRunsDry) {
  const auto bytes = Iota(100000);
  TUnknownSizeStream source(bytes);
  source.SetPosition(99);
  TMemoryStream target;
  target.LoadFrom(source);
  EXPECT_EQ(target.GetSize(), 100000);
  EXPECT_EQ(target.GetPosition(), 0);
  EXPECT_EQ(source.GetPosition(), 99);
  EXPECT_TRUE(std::equal(target.Bytes().begin(), target.Bytes().end(), bytes.begin()));
}

TEST(StringStream, StartsWithItsStringAndReadsItBack) {
  TStringStream stream("hello");
  EXPECT_EQ(stream.GetSize(), 5);
  EXPECT_EQ(stream.GetPosition(), 0);
  stream.SetPosition(5);
  stream.WriteAnsiString(" world");
  EXPECT_EQ(stream.DataString(), "hello world");
}

// --------------------------------------------------------------------------

TEST(FileStream, WritesReadsResizesAndClears) {
  TempFile file;
  {
    auto out = TFileStream::CreateWrite(file.path);
    out->Write(Iota(1000));
  }
  TFileStream stream(file.path, TFileCreation::OpenExisting, fsRead, faReadWrite);
  EXPECT_EQ(stream.GetSize(), 1000);
  stream.SetPosition(990);
  std::array<uint8_t, 32> buffer{};
  EXPECT_EQ(stream.Read(buffer), 10);
  stream.SetPosition(500);
  stream.SetSize(100);
  EXPECT_EQ(stream.GetSize(), 100);
  EXPECT_EQ(stream.GetPosition(), 500);  // the position is kept
  stream.Clear();
  EXPECT_EQ(stream.GetSize(), 0);
}

TEST(FileStream, OpenErrorCarriesTheFileNameAndStreamErrorsTheSystemText) {
  try {
    TFileStream::OpenRead("/nonexistent/folder/file.bin");
    FAIL() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(e.Message(), "/nonexistent/folder/file.bin");
    EXPECT_NE(e.ErrorCode(), 0);
  }
  TFileStream closed;
  EXPECT_THROW(closed.SetPosition(3), EStreamSeekError);
  EXPECT_THROW(closed.GetSize(), EStreamError);
  std::array<uint8_t, 4> buffer{};
  try {
    closed.Read(buffer);
    FAIL() << "no error";
  } catch (const EStreamReadError& e) {
    EXPECT_EQ(e.Message(), std::strerror(EBADF));
  }
}

TEST(FileStream, CopyFromAnUnknownSizeSourceCopiesEverything) {
  TempFile file;
  const auto bytes = Iota(3 * 1048576 + 5);
  TUnknownSizeStream source(bytes);
  auto out = TFileStream::CreateWrite(file.path);
  EXPECT_EQ(out->CopyFrom(source, std::numeric_limits<int64_t>::max()), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(out->GetSize(), static_cast<int64_t>(bytes.size()));
  TFileStream closed;
  auto again = MemoryWith(bytes);
  EXPECT_EQ(closed.CopyFrom(*again, 10), 0);
}

TEST(FileStream, SaveToFileReportsFailureInsteadOfRaising) {
  auto stream = MemoryWith(Iota(10));
  EXPECT_FALSE(stream->SaveToFile("/nonexistent/folder/out.bin"));
  TempFile file;
  stream->SetPosition(3);
  EXPECT_TRUE(stream->SaveToFile(file.path));
  EXPECT_EQ(stream->GetPosition(), 3);
  EXPECT_EQ(std::filesystem::file_size(file.path), 10u);
}

TEST(BufferedFileStream, ReadsTheSameBytesWhateverTheReadSizesAndSeeks) {
  TempFile file;
  const auto bytes = Iota(300000);
  TFileStream::CreateWrite(file.path)->Write(bytes);
  auto stream = TBufferedFileStream::OpenRead(file.path);
  EXPECT_EQ(stream->GetSize(), 300000);
  uint32_t x = 7;
  std::vector<uint8_t> buffer(200000);
  for (int i = 0; i < 300; ++i) {
    x = x * 1664525u + 1013904223u;
    const int64_t at = (x >> 8) % 300100;  // sometimes past the end
    const int32_t count = static_cast<int32_t>(i % 10 == 0 ? 100000 + (x % 100000) : 1 + (x % 700));
    stream->SetPosition(at);
    const int32_t got = stream->Read(buffer, count);
    const int64_t expected = std::max<int64_t>(0, std::min<int64_t>(count, 300000 - at));
    ASSERT_EQ(got, expected) << at << " " << count;
    ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + got, bytes.begin() + std::min<int64_t>(at, 300000)));
    ASSERT_EQ(stream->GetPosition(), at + got);
  }
  EXPECT_THROW(stream->SetPosition(-1), EStreamSeekError);
}

TEST(BufferedFileStream, WritesAreSeenByLaterReads) {
  TempFile file;
  TFileStream::CreateWrite(file.path)->Write(Iota(1000));
  TBufferedFileStream stream(file.path, TFileCreation::OpenExisting, fsRead, faReadWrite);
  std::array<uint8_t, 16> buffer{};
  ASSERT_EQ(stream.Read(buffer), 16);  // fills the read-ahead
  stream.SetPosition(4);
  const std::array<uint8_t, 2> patch{0xAB, 0xCD};
  ASSERT_EQ(stream.Write(patch), 2);
  EXPECT_EQ(stream.GetPosition(), 6);
  stream.SetPosition(0);
  ASSERT_EQ(stream.Read(buffer), 16);
  EXPECT_EQ(buffer[4], 0xAB);
  EXPECT_EQ(buffer[5], 0xCD);
  EXPECT_EQ(buffer[6], Iota(1000)[6]);
}

// --------------------------------------------------------------------------

TEST(PartialStream, RefusesAWindowPastTheSourceEnd) {
  auto source = MemoryWith(Iota(100));
  try {
    TPartialStream window(*source, 60, 50);
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Insufficient Source Size");
  }
  EXPECT_NO_THROW(TPartialStream(*source, 50, 50));
}

TEST(PartialStream, ReadsOnlyItsWindowAndMapsPositions) {
  auto source = MemoryWith(Iota(100));
  TPartialStream window(*source, 20, 30);
  EXPECT_EQ(source->GetPosition(), 30);
  EXPECT_EQ(window.GetSize(), 20);
  std::vector<uint8_t> buffer(64);
  EXPECT_EQ(window.Read(buffer), 20);
  EXPECT_EQ(buffer[0], Iota(100)[30]);
  EXPECT_EQ(buffer[19], Iota(100)[49]);
  EXPECT_EQ(window.GetPosition(), 20);
  EXPECT_EQ(source->GetPosition(), 50);
  window.SetPosition(5);
  EXPECT_EQ(source->GetPosition(), 35);
  EXPECT_THROW(window.SetSize(10), EStreamError);
}

TEST(PartialStream, AReadAtTheEndDoesNotTouchTheSource) {
  TRecordingStream source;
  source.Write(Iota(100));
  TPartialStream window(source, 10, 0);
  window.SetPosition(10);
  std::array<uint8_t, 8> buffer{};
  EXPECT_EQ(window.Read(buffer), 0);
  EXPECT_TRUE(source.readSizes.empty());
}

TEST(PartialStream, ChunkSizeFollowsTheCallback) {
  auto source = MemoryWith(Iota(100000));
  TPartialStream window(*source, 100000, 0);
  EXPECT_EQ(window.ChunkSize(), 32768);
  int calls = 0;
  window.SetProgressCallback(32768, [&] { ++calls; });
  EXPECT_EQ(window.ChunkSize(), 256);
  std::vector<uint8_t> buffer(1000);
  EXPECT_EQ(window.Read(buffer), 1000);
  EXPECT_EQ(calls, 4);  // 256 + 256 + 256 + 232
  window.SetProgressCallback(100, [&] { ++calls; });
  EXPECT_EQ(window.ChunkSize(), 100);
  window.SetProgressCallback(100, nullptr);
  EXPECT_EQ(window.ChunkSize(), 32768);
}

TEST(PartialStream, ACallbackCanAbortTheRead) {
  auto source = MemoryWith(Iota(10000));
  TPartialStream window(*source, 10000, 0);
  int calls = 0;
  window.SetProgressCallback(256, [&] {
    if (++calls == 3) throw EAbort();
  });
  std::vector<uint8_t> buffer(10000);
  EXPECT_THROW(window.Read(buffer), EAbort);
  EXPECT_EQ(window.GetPosition(), 768);
}

TEST(PartialStream, WritesAndCopiesStopAtTheWindowEnd) {
  auto source = MemoryWith(std::vector<uint8_t>(100, 0));
  TPartialStream window(*source, 10, 20);
  const auto bytes = Iota(50);
  EXPECT_EQ(window.Write(bytes), 10);
  EXPECT_EQ(source->Bytes()[30], 0);  // the byte after the window is untouched
  window.SetPosition(0);
  auto from = MemoryWith(bytes);
  EXPECT_THROW(window.CopyFrom(*from, 50), EStreamWriteError);
  EXPECT_EQ(source->Bytes()[30], 0);
  window.SetPosition(0);
  from->SetPosition(0);
  EXPECT_EQ(window.CopyFrom(*from, 10), 10);
  EXPECT_EQ(source->Bytes()[29], bytes[9]);
}

TEST(PartialStream, AnOwnedSourceGoesWithTheWindow) {
  auto window = std::make_unique<TPartialStream>(MemoryWith(Iota(10)), 5, 5);
  std::array<uint8_t, 5> buffer{};
  EXPECT_EQ(window->Read(buffer), 5);
  EXPECT_EQ(buffer[0], Iota(10)[5]);
  window.reset();  // the sanitizer build catches a leak or a double free here
}

// --------------------------------------------------------------------------

TEST(CacheStream, FillsInBlocksAsReadingReachesThem) {
  const auto bytes = Iota(10000);
  TUnknownSizeStream unknown(bytes);
  auto source = MemoryWith(bytes);
  TCacheStream cache(*source);
  EXPECT_EQ(cache.GetSize(), 10000);
  EXPECT_EQ(cache.CachedSize(), 0);
  std::array<uint8_t, 10> buffer{};
  EXPECT_EQ(cache.Read(buffer), 10);
  EXPECT_EQ(cache.CachedSize(), 4096);
  cache.SetPosition(5000);
  EXPECT_EQ(cache.CachedSize(), 8192);
  EXPECT_EQ(cache.Read(buffer), 10);
  EXPECT_EQ(buffer[0], bytes[5000]);
  cache.SetPosition(9995);
  EXPECT_EQ(cache.Read(buffer), 5);
  EXPECT_EQ(cache.CachedSize(), 10000);
  EXPECT_EQ(buffer[4], bytes[9999]);
}

TEST(CacheStream, PositioningBeyondTheSourceIsSilentlyAborted) {
  auto source = MemoryWith(Iota(100));
  TCacheStream cache(*source);
  EXPECT_THROW(cache.SetPosition(101), EAbort);
  EXPECT_NO_THROW(cache.SetPosition(100));
}

TEST(CacheStream, ASourceShorterThanItsSizeIsAReadError) {
  // A window claims 100 bytes; shrink its source afterwards so the bytes are missing.
  auto source = MemoryWith(Iota(100));
  TPartialStream window(*source, 100, 0);
  TCacheStream cache(window);
  source->SetSize(50);
  std::array<uint8_t, 80> buffer{};
  EXPECT_THROW(cache.Read(buffer), EStreamReadError);
}

}  // namespace
}  // namespace zel
