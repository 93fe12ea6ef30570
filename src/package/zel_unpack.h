// The show package as the player reads it.
//
// Layout (little-endian): the entries, then the index block (raw deflate of
// a project-syntax text), the index position I (64-bit, from the package
// start), the marker ".dne" and, in the form appended to an executable, the
// number of bytes in front of that last 64-bit value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/obj.h"
#include "core/streams.h"
#include "ini/ini_parser.h"

namespace zel {

// The key of every scrambled entry (32 upper-case hexadecimal characters,
// used as 8-bit text).
extern const char* const kEntryKey;

extern const char* const kPackageNotFound;   // "Slideshow File not Found"
extern const char* const kPackageModified;   // "Slide-show File Modified"
extern const char* const kPackageDamaged;    // "Slide-show File Damaged"
extern const char* const kProtectionSection;  // "$protection$"

enum TPackMethod : uint8_t { pmStored = 0, pmDeflated = 1, pmScrambled = 2 };

// What the index says of one entry. Positions are absolute in the file.
struct TPackageEntry {
  int64_t position = -1;
  int64_t size = -1;
  uint8_t method = pmStored;
};

// The section name of an entry: "[" and "]" become "<" and ">".
TString EntryIndexName(TStringView name);

// The shared holder of the parsed index.
class TUnpackStruc : public TRefObj {
 public:
  TIniFile Index;
};

class TZelUnpack : public TObj {
 public:
  // Opens the package in the file; check Ready() and ErrorMessage().
  explicit TZelUnpack(const std::string& fileName);

  bool Ready() const { return fFile != nullptr; }
  // Empty when the file is simply no package.
  const std::string& ErrorMessage() const { return fError; }
  const std::string& FileName() const { return fFileName; }
  const TString& Version() const { return fVersion; }
  int64_t PackageStart() const { return fStart; }
  int64_t PackageEnd() const { return fEnd; }
  // Added to every entry position: how far the package moved since it was made.
  int64_t PositionShift() const { return fShift; }
  const TIniFile& Index() const { return fIndex->Index; }

  // The entry by name, without regard to case; nothing when the index has
  // no section for it or lacks its position or size.
  std::optional<TPackageEntry> FindEntry(TStringView name) const;
  // The names of the entries in index order (as the index writes them).
  std::vector<TString> EntryNames() const;

  // A stream of the entry's bytes as the show reads them: stored entries
  // through a window on a file handle of their own, deflated ones inflated
  // into memory, scrambled ones descrambled. Nothing when the entry is
  // missing or the file cannot be opened again; a window past the end of
  // the file raises EStreamError, corrupt deflate data EZDecompressionError.
  // The progress callback, when set, is installed on the window.
  std::unique_ptr<TStream> OpenEntry(TStringView name, const TProgressCallback& progress = {}) const;

  // Caps the memory one deflated entry may inflate to.
  void SetInflateLimit(int64_t limit) { fInflateLimit = limit; }

 private:
  void Open();

  std::string fFileName;
  std::unique_ptr<TFileStream> fFile;
  TRef<TUnpackStruc> fIndex;
  int64_t fStart = 0;
  int64_t fEnd = 0;
  int64_t fShift = 0;
  TString fVersion;
  std::string fError;
  std::string fKey;
  int64_t fInflateLimit;
};

// True, with the version text, when the file opens as a ready package.
bool IsShowPackage(const std::string& fileName, TString* version = nullptr);

}  // namespace zel
