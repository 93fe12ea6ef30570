// Projects from text and a controlled ZEL_RANDOM_SEED for the show-option
// and time-table tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "core/streams.h"
#include "ini/ini_parser.h"

namespace zel::show_testing {

inline std::unique_ptr<TIniFile> ParseProject(const std::string& text) {
  auto file = std::make_unique<TIniFile>();
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  stream.SetPosition(0);
  EXPECT_TRUE(file->LoadFromStream(stream));
  return file;
}

// Sets (or with nothing, clears) ZEL_RANDOM_SEED for the life of the guard.
class TScopedRandomSeed {
 public:
  explicit TScopedRandomSeed(std::optional<std::string> value) {
    if (const char* old = std::getenv(kName)) fOld = old;
    if (value)
      setenv(kName, value->c_str(), 1);
    else
      unsetenv(kName);
  }
  ~TScopedRandomSeed() {
    if (fOld)
      setenv(kName, fOld->c_str(), 1);
    else
      unsetenv(kName);
  }
  TScopedRandomSeed(const TScopedRandomSeed&) = delete;
  TScopedRandomSeed& operator=(const TScopedRandomSeed&) = delete;

 private:
  static constexpr const char* kName = "ZEL_RANDOM_SEED";
  std::optional<std::string> fOld;
};

// Slide orders are kept per project path for the whole process: every test
// that wants a fresh one names a path of its own.
inline std::string FreshProjectPath() {
  static int serial = 0;
  return "C:\\Shows\\test_project_" + std::to_string(++serial) + ".zel";
}

}  // namespace zel::show_testing
