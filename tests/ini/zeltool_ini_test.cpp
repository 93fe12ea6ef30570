// The project text subcommands of zeltool, run as a show author runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "integration/run_program.h"

namespace zel {
namespace {

using testing_support::RunProgram;

class ZeltoolIni : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "zeltool_ini_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    files_.push_back(path);
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Tool(const std::string& arguments, int expectedCode = 0) {
    const auto result = RunProgram(std::string(ZELTOOL_PATH) + " " + arguments);
    EXPECT_EQ(result.exitCode, expectedCode) << arguments << "\n" << result.output;
    return result.output;
  }
  void TearDown() override {
    for (const auto& f : files_) std::remove(f.c_str());
  }
  std::vector<std::string> files_;
};

const char* kShow =
    "; show\r\n[Slide3]\r\nDelay=$1F\r\n  object Title: Text\r\n    Color=300,-5,128\r\n    Rect=0,0,1,1,0.5,0.25\r\n"
    "    List=1,x,3\r\n    Opacity=0.1\r\n  end\r\n[Other]\r\n";

TEST_F(ZeltoolIni, GetTypedValues) {
  const std::string in = Write("get.ini", kShow);
  EXPECT_EQ(Tool("ini-get " + in + " Slide3 delay --as integer"), "31\n");
  EXPECT_EQ(Tool("ini-get " + in + " slide3/title Color --as color"), "255,0,128\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Title Rect --as rectangle"), "0,0,1,1;0.5,0.25\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Title List --as integers"), "-2:1\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Title List --as strings"), "3:1|x|3\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Title Opacity --as float"), "0.1\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Title Opacity --as integer --default 7"), "7\n");
  EXPECT_EQ(Tool("ini-get " + in + " Nope Color --as color --default 1,2,3"), "1,2,3\n");
  EXPECT_EQ(Tool("ini-get " + in + " Slide3/Missing Color --as string --default 'a b'"), "a b\n");
  EXPECT_EQ(Tool("ini-get " + in + " - x --as boolean --default -3"), "1\n");
  Tool("ini-get " + in + " Slide3 Delay --as nonsense", 1);
}

TEST_F(ZeltoolIni, RoundTripSectionsErrorsAndSet) {
  const std::string in = Write("in.ini", std::string("end\n") + kShow + "bad line\n");
  const std::string out = ::testing::TempDir() + "zeltool_ini_out.ini";
  files_.push_back(out);
  Tool("ini-roundtrip " + in + " " + out);
  EXPECT_EQ(Read(out), std::string("\xEF\xBB\xBF") + kShow);
  EXPECT_EQ(Tool("ini-sections " + in), "Slide3\nOther\n");
  EXPECT_EQ(Tool("ini-errors " + in), "0 1 0\n2 1 11\n");
  Tool("ini-set " + in + " " + out + " Slide3/Title Opacity 55");
  Tool("ini-set " + out + " " + out + " New Key 1");
  EXPECT_EQ(Tool("ini-get " + out + " Slide3/Title Opacity --as integer"), "55\n");
  EXPECT_EQ(Tool("ini-get " + out + " new key"), "1\n");
  Tool("ini-set " + out + " " + out + " Slide3/Nobody Key 1", 1);
  const std::string invalid = Write("invalid.ini", "\xEF\xBB\xBF\x80");
  Tool("ini-roundtrip " + invalid + " " + out, 1);
}

}  // namespace
}  // namespace zel
