// Loads and writes documents from and to byte strings for the INI tests.
#pragma once

#include <string>
#include <vector>

#include "ini/ini_parser.h"

namespace zel::ini_testing {

inline std::string Save(const TIniStorage& document) {
  TMemoryStream stream;
  EXPECT_TRUE(IniSaveToStream(document, stream));
  const auto bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

struct TErrorReport {
  int32_t code, column, line;
  bool operator==(const TErrorReport&) const = default;
};

inline std::vector<TErrorReport> Load(TIniFile& file, const std::string& bytes) {
  std::vector<TErrorReport> errors;
  file.SetErrorCallback([&errors](TIniStorage&, int32_t code, int32_t column, int32_t line) {
    errors.push_back({code, column, line});
  });
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  stream.SetPosition(0);
  file.LoadFromStream(stream);
  return errors;
}

inline const std::string kMark = "\xEF\xBB\xBF";

}  // namespace zel::ini_testing
