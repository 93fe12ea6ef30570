// Runs a fuzz entry point in every test run, without libFuzzer: each file
// of a seed corpus, then random mutations of them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace zel::fuzzing {

inline std::vector<std::string> Corpus(const char* folder) {
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    inputs.push_back(s.str());
  }
  return inputs;
}

inline int Feed(const std::string& input) {
  return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// Inserts bytes from the alphabet or from other inputs, erases and
// overwrites; set ZEL_FUZZ_DUMP to a file name to keep the input being run.
inline void FeedMutations(const std::vector<std::string>& inputs, const std::string& alphabet, int rounds,
                          uint32_t seed) {
  std::mt19937 random(seed);
  for (int round = 0; round < rounds; ++round) {
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

}  // namespace zel::fuzzing
