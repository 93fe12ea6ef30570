// Packages made by the tests: through the writer, or byte by byte for the
// cases the writer never makes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/package_writer.h"
#include "package/z_compress.h"

namespace zel::testing_support {

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline std::vector<uint8_t> ReadAllBytes(TStream& stream) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(4096);
  int32_t n;
  while ((n = stream.Read(buffer)) > 0) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  return out;
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct TTestEntry {
  TString name;
  std::vector<uint8_t> bytes;
  uint8_t method;
};

// A package file with the entries, optionally behind some executable bytes.
inline void MakePackage(const std::string& path, const std::vector<TTestEntry>& entries,
                        const std::vector<uint8_t>& executable = {}, bool allowModify = false,
                        TStringView version = u"9.1") {
  TFileStream out(path, TFileCreation::CreateAlways, fsRead, faReadWrite);
  out.Write(executable);
  TZelPackWriter writer(out);
  for (const auto& e : entries) {
    TMemoryStream content;
    content.Write(e.bytes);
    content.SetPosition(0);
    writer.AddEntry(e.name, content, e.method);
  }
  writer.Finish(!executable.empty(), allowModify, version);
}

// The tail of a plain package around an index text the test writes itself.
inline std::vector<uint8_t> PackageAroundIndex(std::vector<uint8_t> body, const std::string& indexText) {
  TMemoryStream text;
  text.WriteAnsiString(indexText);
  text.SetPosition(0);
  TMemoryStream deflated;
  DeflateRaw(text, deflated);
  const auto indexPosition = static_cast<uint64_t>(body.size());
  const auto block = deflated.Bytes();
  body.insert(body.end(), block.begin(), block.end());
  for (int i = 0; i < 8; ++i) body.push_back(static_cast<uint8_t>(indexPosition >> (8 * i)));
  for (char c : std::string(".dne")) body.push_back(static_cast<uint8_t>(c));
  return body;
}

class TTempFolder {
 public:
  TTempFolder() {
    path = std::filesystem::temp_directory_path() / ("zel_pkg_" + std::to_string(getpid()) + "_" +
                                                     std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(path);
  }
  ~TTempFolder() { std::filesystem::remove_all(path); }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

}  // namespace zel::testing_support
