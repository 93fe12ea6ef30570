// zeltool inflate and descramble over real files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "integration/run_program.h"
#include "package/deflate_helpers.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;

class ToolFiles : public testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("zel_tool_streams_" + std::to_string(getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = (folder / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::vector<uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  std::string Tool(const std::string& arguments) { return std::string(ZELTOOL_PATH) + " " + arguments; }

  fs::path folder;
};

TEST_F(ToolFiles, InflateRawAndZlibData) {
  const auto plain = testing_support::Sample(123456);
  const auto raw = Write("raw.bin", testing_support::Deflate(plain, -15));
  const auto zlib = Write("zlib.bin", testing_support::Deflate(plain, 15));
  const auto out = (folder / "out.bin").string();

  auto result = RunProgram(Tool("inflate " + raw + " " + out));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "123456\n");
  EXPECT_EQ(Read(out), plain);

  result = RunProgram(Tool("inflate " + zlib + " " + out + " --zlib"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(Read(out), plain);

  result = RunProgram(Tool("inflate " + zlib + " " + out));  // a zlib header is not raw deflate
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.output, "zeltool inflate: data error\n");

  result = RunProgram(Tool("inflate " + (folder / "missing").string() + " " + out));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot open"), std::string::npos);
}

TEST_F(ToolFiles, DescrambleTwiceGivesTheOriginalBack) {
  const auto plain = testing_support::Sample(5000);
  const auto in = Write("plain.bin", plain);
  const auto scrambled = (folder / "s.bin").string();
  const auto back = (folder / "back.bin").string();
  EXPECT_EQ(RunProgram(Tool("descramble " + in + " " + scrambled + " KEY1")).exitCode, 0);
  const auto middle = Read(scrambled);
  ASSERT_EQ(middle.size(), plain.size());
  EXPECT_EQ(middle[0], plain[0] ^ 'K');
  EXPECT_EQ(middle[4], plain[4] ^ 'K');
  EXPECT_EQ(RunProgram(Tool("descramble " + scrambled + " " + back + " KEY1")).exitCode, 0);
  EXPECT_EQ(Read(back), plain);
  EXPECT_EQ(RunProgram(Tool("descramble " + in + " " + back)).exitCode, 2);
}

}  // namespace
}  // namespace zel
