#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "core/log.h"
#include "core/streams.h"

namespace zel {
namespace {

// A log that keeps its lines.
class TMemoryLog : public TExclLog {
 public:
  std::vector<std::string> lines;

 protected:
  void WriteLine(const std::string& line) override { lines.push_back(line); }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(LogFormat, PrefixesComeInTheirOrder) {
  TMemoryLog log;
  log.Write("plain");
  log.Prefix = "P: ";
  log.ShowThreadId = true;
  log.ShowTime = true;
  log.Write("both");
  log.ShowThreadId = false;
  log.Write(u"time only");
  ASSERT_EQ(log.lines.size(), 3u);
  EXPECT_EQ(log.lines[0], "plain");
  EXPECT_TRUE(std::regex_match(log.lines[1], std::regex("P: #[0-9A-F]{4,} \\[[0-9]+\\] both"))) << log.lines[1];
  EXPECT_TRUE(std::regex_match(log.lines[2], std::regex("P: \\[[0-9]+\\] time only"))) << log.lines[2];
  char id[16];
  std::snprintf(id, sizeof id, "#%04X ", CurrentThreadId());
  EXPECT_NE(log.lines[1].find(id), std::string::npos);
}

TEST(LogFormat, ValuesAndTheirForms) {
  TMemoryLog log;
  log.WriteInt("n = ", -42, " items");
  log.WriteFloat("f = ", 1.5);
  log.WriteFloat("f = ", 2.0);
  log.WriteFloat("f = ", 0.1);
  log.WriteFloat("f = ", -3.25, "!");
  log.WriteBool("b = ", true);
  log.WriteBool("b = ", false);
  const int64_t ints[] = {1, 2, 3};
  log.WriteInts("ints ", ints);
  const double floats[] = {0.5, 10};
  log.WriteFloats("floats ", floats);
  log.WritePoint("size ", 640, 480);
  log.WriteRect("rect ", 1, 2, 3, 4);
  const std::vector<std::string> expected{"n = -42 items", "f = 1.5",         "f = 2",      "f = 0.1",
                                          "f = -3.25!",    "b = True",        "b = False",  "ints 1, 2, 3",
                                          "floats 0.5, 10", "size 640, 480", "rect 1, 2, 3, 4"};
  EXPECT_EQ(log.lines, expected);
}

TEST(LogFormat, DateAndTime) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 0;
  local.tm_mday = 5;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(42);
  EXPECT_EQ(FormatLogDateTime(when), "05.01.2026 07:08:09.042");
}

TEST(LogFrame, HeaderAndFooterIgnoreThePrefixSwitches) {
  TMemoryLog log;
  log.Prefix = "x";
  log.ShowThreadId = true;
  log.ShowTime = true;
  log.WriteHeader("/opt/show/player");
  log.WriteFooter();
  ASSERT_EQ(log.lines.size(), 9u);
  EXPECT_EQ(log.lines[0], "");
  EXPECT_EQ(log.lines[1], std::string(64, '='));
  EXPECT_EQ(log.lines[2], "Program : /opt/show/player");
  EXPECT_TRUE(std::regex_match(log.lines[3], std::regex(R"(started : \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3})")))
      << log.lines[3];
  EXPECT_EQ(log.lines[4], std::string(64, '='));
  EXPECT_EQ(log.lines[5], "");
  EXPECT_EQ(log.lines[6], std::string(64, '-'));
  EXPECT_TRUE(std::regex_match(
      log.lines[7], std::regex(R"(Program stoped : \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} \(work time : \d+ ms\))")))
      << log.lines[7];
  EXPECT_EQ(log.lines[8], std::string(64, '-'));
  // The switches are back on for ordinary lines.
  log.Write("after");
  EXPECT_NE(log.lines.back(), "xafter");
  EXPECT_EQ(log.lines.back().substr(0, 2), "x#");
}

TEST(LogFile, NameIsTheProgramsWithLogExtension) {
  EXPECT_EQ(LogFileNameFor("/opt/shows/Holiday.exe"), "/opt/shows/Holiday.log");
  EXPECT_EQ(LogFileNameFor("/usr/bin/zelplayer"), "/usr/bin/zelplayer.log");
  EXPECT_EQ(LogFileNameFor("/opt/my.shows/player"), "/opt/my.shows/player.log");
}

TEST(LogFile, StartsWithAMarkAndEndsLinesWithCrLf) {
  const std::string path = "/tmp/zel_log_test_" + std::to_string(getpid()) + ".log";
  {
    TFileLog log(path);
    ASSERT_TRUE(log.IsOpen());
    log.Write(u"caf\u00e9");
    log.Write("second");
  }
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF" "caf\xC3\xA9\r\nsecond\r\n");
  {
    // A second run replaces the file.
    TFileLog log(path);
    log.Write("again");
  }
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF" "again\r\n");
  {
    TFileLog log(path, /*append=*/true);
    log.Write("more");
  }
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF" "again\r\nmore\r\n");
  std::remove(path.c_str());
}

TEST(LogFile, AFileThatCannotBeOpenedDiscards) {
  TFileLog log("/nonexistent/folder/x.log");
  EXPECT_FALSE(log.IsOpen());
  EXPECT_NO_THROW(log.Write("nothing happens"));
}

TEST(LogFile, LinesFromTwoThreadsStayWhole) {
  TMemoryStream stream;
  {
    TStreamLog log(&stream);
    auto writer = [&](char c) {
      const std::string line(200, c);
      for (int i = 0; i < 500; ++i) log.Write(line);
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
  }
  const auto bytes = stream.Bytes();
  std::string text(reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3);
  std::istringstream in(text);
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ASSERT_EQ(line.size(), 201u);  // 200 characters and the CR
    ASSERT_TRUE(line.find_first_not_of(line[0]) == 200) << "interleaved line";
    ++count;
  }
  EXPECT_EQ(count, 1000);
}

TEST(GlobalLog, DiscardsUntilALogIsInstalled) {
  TMemoryStream stream;
  Log().Write("dropped");
  InstallLog(std::make_unique<TStreamLog>(&stream));
  Log().Write("kept");
  InstallLog(nullptr);
  Log().Write("dropped too");
  const auto bytes = stream.Bytes();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "\xEF\xBB\xBFkept\r\n");
}

}  // namespace
}  // namespace zel
