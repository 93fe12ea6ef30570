#include "audio/stream_gate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/mp3_shift_stream.h"
#include "audio/wav_files.h"
#include "core/obj.h"

namespace zel {
namespace {

using namespace zel::testing;

TBytes Counting(size_t size) {
  TBytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

// Collects assertion reports instead of writing them.
class GateTest : public ::testing::Test {
 protected:
  GateTest() {
    fPrevious = SetAssertionHook([this](const std::string& report) { fReports.push_back(report); });
  }
  ~GateTest() override { SetAssertionHook(fPrevious); }

  std::vector<std::string> fReports;

 private:
  TAssertionHook fPrevious;
};

TEST_F(GateTest, SeekOrigins) {
  auto stream = StreamOf(Counting(100));
  TStreamWrapperClass& gate = StreamWrapper();
  EXPECT_EQ(gate.Seek(*stream, 10, 0), 10);
  EXPECT_EQ(gate.Seek(*stream, 5, 1), 15);
  EXPECT_EQ(gate.Seek(*stream, -20, 2), 80);
  EXPECT_EQ(gate.Position(*stream), 80);
  EXPECT_EQ(gate.Size(*stream), 100);
  uint8_t byte = 0;
  EXPECT_EQ(gate.Read(*stream, &byte, 1), 1);
  EXPECT_EQ(byte, 80);
  EXPECT_EQ(gate.Read(*stream, &byte, 0), 0);
  EXPECT_EQ(gate.Read(*stream, &byte, -4), 0);
}

TEST_F(GateTest, UnknownSeekOriginIsAnAssertion) {
  auto stream = StreamOf(Counting(10));
  EXPECT_THROW(StreamWrapper().Seek(*stream, 1, 3), EAssertionFailed);
  EXPECT_THROW(StreamWrapper().Seek(*stream, 1, -1), EAssertionFailed);
  ASSERT_EQ(fReports.size(), 2u);
  EXPECT_NE(fReports[0].find("Unknown seek origin"), std::string::npos) << fReports[0];
  EXPECT_EQ(stream->GetPosition(), 0);  // not moved
}

TEST_F(GateTest, LargeReadsAboveTheLimitAreAnAssertion) {
  auto stream = StreamOf(Counting(10));
  uint8_t buffer[10];
  EXPECT_EQ(StreamWrapper().ReadLarge(*stream, buffer, 10), 10);
  EXPECT_TRUE(fReports.empty());
  stream->SetPosition(0);
  // The limit itself is allowed (only 10 bytes are there).
  EXPECT_EQ(StreamWrapper().ReadLarge(*stream, buffer, TStreamWrapperClass::kMaxReadCount), 10);
  EXPECT_THROW(StreamWrapper().ReadLarge(*stream, buffer, TStreamWrapperClass::kMaxReadCount + 1), EAssertionFailed);
  ASSERT_EQ(fReports.size(), 1u);
  EXPECT_NE(fReports[0].find("'Too many'"), std::string::npos) << fReports[0];
}

TEST_F(GateTest, FunctionTableForCCallers) {
  auto stream = StreamOf(Counting(50));
  const TStreamFunctions& table = StreamFunctions();
  void* handle = stream.get();
  uint8_t buffer[8] = {};
  EXPECT_EQ(table.Seek(handle, 4, 0), 4);
  EXPECT_EQ(table.Read(handle, buffer, 3), 3);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(table.Position(handle), 7);
  EXPECT_EQ(table.Size(handle), 50);
  EXPECT_EQ(table.Seek64(handle, -2, 2), 48);
  EXPECT_EQ(table.Read64(handle, buffer, 8), 2);
  EXPECT_EQ(buffer[1], 49);
  EXPECT_EQ(table.Position64(handle), 50);
  EXPECT_EQ(table.Size64(handle), 50);
  // Failures come back as -1, never as an exception into C; the
  // assertions are still reported.
  EXPECT_EQ(table.Read64(handle, buffer, TStreamWrapperClass::kMaxReadCount + 1), -1);
  EXPECT_EQ(table.Seek(handle, 0, 7), -1);
  ASSERT_EQ(fReports.size(), 2u);
  EXPECT_NE(fReports[0].find("Too many"), std::string::npos);
  EXPECT_NE(fReports[1].find("Unknown seek origin"), std::string::npos);
}

TEST_F(GateTest, OpenThroughOpenerStripsStreamSuffix) {
  TString opened;
  TStreamOpener opener = [&](const TString& name) -> std::unique_ptr<TStream> {
    opened = name;
    return StreamOf(Counting(30));
  };
  auto stream = StreamWrapper().Open(u"music/a.wma?2", opener);
  EXPECT_EQ(opened, u"music/a.wma");
  ASSERT_TRUE(stream);
  TStream* raw = stream.get();
  TStream* closed = nullptr;
  StreamWrapper().Close(std::move(stream), [&](std::unique_ptr<TStream> s) { closed = s.get(); });
  EXPECT_EQ(closed, raw);
}

TEST_F(GateTest, ShiftedStreamHidesTheFirstBytesAndClosesToTheInner) {
  TStream* made = nullptr;
  TStreamOpener opener = [&](const TString&) -> std::unique_ptr<TStream> {
    auto s = StreamOf(Counting(100));
    made = s.get();
    return s;
  };
  auto stream = StreamWrapper().OpenShifted(u"x.wav", 40, opener);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->GetPosition(), 0);
  EXPECT_EQ(stream->GetSize(), 60);
  EXPECT_EQ(stream->ReadByte(), 40);
  stream->SetPosition(10);
  EXPECT_EQ(stream->ReadByte(), 50);
  EXPECT_EQ(made->GetPosition(), 51);
  EXPECT_EQ(StreamWrapper().Seek(*stream, -1, 2), 59);
  EXPECT_EQ(stream->ReadByte(), 99);
  TStream* closed = nullptr;
  StreamWrapper().Close(std::move(stream), [&](std::unique_ptr<TStream> s) { closed = s.get(); });
  EXPECT_EQ(closed, made);  // the closer gets the opener's stream, unwrapped
}

TEST_F(GateTest, ShiftStreamCannotBeResized) {
  TMp3ShiftStream stream(StreamOf(Counting(20)), 5);
  EXPECT_THROW(stream.SetSize(3), EAssertionFailed);
  EXPECT_EQ(stream.GetSize(), 15);
  TMp3ShiftStream beyond(StreamOf(Counting(20)), 30);
  EXPECT_EQ(beyond.GetSize(), 0);
}

TEST_F(GateTest, OpensFilesWithoutOpener) {
  const auto path = std::filesystem::temp_directory_path() / ("zel_gate_" + std::to_string(::getpid()) + ".wav");
  std::ofstream(path, std::ios::binary) << "RIFF1234";
  auto stream = StreamWrapper().Open(Utf8ToString(path.string() + "?1"));
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->GetSize(), 8);
  StreamWrapper().Close(std::move(stream));
  std::filesystem::remove(path);
  EXPECT_THROW(StreamWrapper().Open(Utf8ToString(path.string())), EFileOpenError);
}

TEST(StreamSuffix, Strip) {
  int32_t index = 0;
  EXPECT_EQ(StripStreamSuffix(u"a.avi?12", &index), u"a.avi");
  EXPECT_EQ(index, 12);
  EXPECT_EQ(StripStreamSuffix(u"a.avi", &index), u"a.avi");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(StripStreamSuffix(u"a?.avi", &index), u"a?.avi");
  EXPECT_EQ(StripStreamSuffix(u"a.avi?", &index), u"a.avi?");
  EXPECT_EQ(StripStreamSuffix(u"a.avi?1x", &index), u"a.avi?1x");
  EXPECT_EQ(StripStreamSuffix(u"a.avi?1234567890", &index), u"a.avi?1234567890");
  EXPECT_EQ(index, -1);
}

}  // namespace
}  // namespace zel
