// Runs the parser's fuzz entry point in every test run, without libFuzzer:
// every file of the seed corpus, then random mutations of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> Corpus() {
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(ZEL_INI_CORPUS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    inputs.push_back(s.str());
  }
  return inputs;
}

int Feed(const std::string& input) {
  return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

TEST(IniParserFuzz, SeedCorpus) {
  const auto inputs = Corpus();
  ASSERT_GE(inputs.size(), 5u);
  for (const auto& input : inputs) EXPECT_EQ(Feed(input), 0);
}

TEST(IniParserFuzz, RandomMutations) {
  const auto inputs = Corpus();
  std::mt19937 random(20240611);
  const std::string alphabet = "[]=;:/ \t\r\nobjectendOBJECTEND\xEF\xBB\xBF\xFF\xFE\x80\xC3\xF0\x9F";
  for (int round = 0; round < 4000; ++round) {
    std::string input = inputs[random() % inputs.size()];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
      const size_t at = input.empty() ? 0 : random() % (input.size() + 1);
      switch (random() % 4) {
        case 0: input.insert(at, 1, alphabet[random() % alphabet.size()]); break;
        case 1: if (at < input.size()) input.erase(at, 1 + random() % 4); break;
        case 2: if (at < input.size()) input[at] = static_cast<char>(random()); break;
        default: input.insert(at, inputs[random() % inputs.size()].substr(0, random() % 64)); break;
      }
    }
    if (const char* dump = std::getenv("ZEL_FUZZ_DUMP")) std::ofstream(dump, std::ios::binary) << input;
    ASSERT_EQ(Feed(input), 0);
  }
}

}  // namespace
