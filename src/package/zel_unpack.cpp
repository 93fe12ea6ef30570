#include "package/zel_unpack.h"

#include <cstdint>
#include <cstring>

#include "package/crypt_stream.h"
#include "package/z_streams.h"

namespace zel {

const char* const kEntryKey = "E9D4A7C1035B86F2DA41C07E9B3258FA";
const char* const kPackageNotFound = "Slideshow File not Found";
const char* const kPackageModified = "Slide-show File Modified";
const char* const kPackageDamaged = "Slide-show File Damaged";
const char* const kProtectionSection = "$protection$";

namespace {

constexpr char kMarker[4] = {'.', 'd', 'n', 'e'};
constexpr char16_t kEntryPosition[] = u"_ps";
constexpr char16_t kEntrySize[] = u"_sz";
constexpr char16_t kEntryMethod[] = u"_pm";

bool ReadMarkerAt(TStream& file, int64_t position) {
  if (position < 0) return false;
  char bytes[4];
  file.SetPosition(position);
  if (file.Read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes), 4), 4) != 4) return false;
  return std::memcmp(bytes, kMarker, 4) == 0;
}

int64_t ReadInt64At(TStream& file, int64_t position) {
  file.SetPosition(position);
  return static_cast<int64_t>(file.ReadUInt64());
}

// A decimal number of the index, or -1 when absent or not a number. Read as
// 64 bits so that packages beyond 2 GiB keep their positions.
int64_t IndexNumber(const TIniSection& section, TStringView key) {
  const TIniIdent* ident = section.FindKey(key);
  if (!ident) return -1;
  return TryStrToInt(ident->ValueView()).value_or(-1);
}

TString Protection() { return AsciiToString(kProtectionSection); }

}  // namespace

TString EntryIndexName(TStringView name) {
  TString out(name);
  for (char16_t& c : out) {
    if (c == u'[') c = u'<';
    if (c == u']') c = u'>';
  }
  return out;
}

TZelUnpack::TZelUnpack(const std::string& fileName)
    : fFileName(fileName), fKey(kEntryKey), fInflateLimit(TInflator::kDefaultLimit) {
  Open();
}

void TZelUnpack::Open() {
  std::unique_ptr<TFileStream> file;
  try {
    file = TFileStream::OpenRead(fFileName, fsRead);
  } catch (const std::exception&) {
    fError = kPackageNotFound;
    return;
  }
  try {
    const int64_t fileSize = file->GetSize();
    if (fileSize >= 12 && ReadMarkerAt(*file, fileSize - 4)) {
      fStart = 0;
      fEnd = fileSize;
    } else if (fileSize >= 20 && ReadMarkerAt(*file, fileSize - 12)) {
      fEnd = fileSize - 8;
      const int64_t length = ReadInt64At(*file, fileSize - 8);
      // Checked before any arithmetic: the numbers come from the file.
      if (length < 12 || length > fEnd) {
        fError = kPackageDamaged;
        return;
      }
      fStart = fEnd - length;
    } else {
      return;  // no package: not ready, no message
    }
    const int64_t relativeIndex = ReadInt64At(*file, fEnd - 12);
    if (relativeIndex < 0 || relativeIndex > fEnd - 12 - fStart) {
      fError = kPackageDamaged;
      return;
    }
    const int64_t indexPosition = fStart + relativeIndex;

    auto index = MakeRef<TUnpackStruc>();
    {
      TPartialStream block(*file, fEnd - 12 - indexPosition, indexPosition);
      TInflateStream inflate(block);
      auto text = InflateToMemory(inflate, fInflateLimit);
      if (!index->Index.LoadFromStream(*text)) {
        fError = kPackageDamaged;
        return;
      }
    }

    const TString protection = Protection();
    const TString strucpos = index->Index.ReadString(protection, u"strucpos", u"");
    const TString actual = IntToStr(indexPosition);
    fShift = 0;
    if (!strucpos.empty() && strucpos != actual) {
      if (!index->Index.ReadBool(protection, u"allowmodify", false)) {
        fError = kPackageModified;
        return;
      }
      const auto recorded = TryStrToInt(strucpos);
      if (!recorded || *recorded > indexPosition) {
        fError = kPackageDamaged;
        return;
      }
      fShift = indexPosition - *recorded;
    }
    fVersion = index->Index.ReadString(protection, u"zelversion", u"");
    fIndex = std::move(index);
    fFile = std::move(file);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    // A tail or index that cannot be read as one: the package is damaged.
    fError = kPackageDamaged;
  }
}

std::optional<TPackageEntry> TZelUnpack::FindEntry(TStringView name) const {
  if (!Ready()) return std::nullopt;
  const TIniSection* section = fIndex->Index.FindSection(EntryIndexName(name));
  if (!section) return std::nullopt;
  TPackageEntry entry;
  const int64_t position = IndexNumber(*section, kEntryPosition);
  entry.size = IndexNumber(*section, kEntrySize);
  if (position == -1 || entry.size == -1) return std::nullopt;
  // Positions come from the file: one that cannot lie in any file is no entry.
  if (position < 0 || entry.size < 0 || position > INT64_MAX - fShift) return std::nullopt;
  entry.position = position + fShift;
  const int64_t method = IndexNumber(*section, kEntryMethod);
  entry.method = static_cast<uint8_t>(method == -1 ? 0 : method);
  return entry;
}

std::vector<TString> TZelUnpack::EntryNames() const {
  std::vector<TString> names;
  if (!Ready()) return names;
  std::vector<TString> sections;
  fIndex->Index.SectionNames(sections);
  const TString protection = Protection();
  for (auto& name : sections) {
    if (SameText(name, protection)) continue;
    if (FindEntry(name)) names.push_back(std::move(name));
  }
  return names;
}

std::unique_ptr<TStream> TZelUnpack::OpenEntry(TStringView name, const TProgressCallback& progress) const {
  const auto entry = FindEntry(name);
  if (!entry) return nullptr;
  std::unique_ptr<TFileStream> file;
  try {
    file = TBufferedFileStream::OpenRead(fFileName, fsRead);
  } catch (const std::exception&) {
    return nullptr;
  }
  auto window = std::make_unique<TPartialStream>(std::move(file), entry->size, entry->position);
  switch (entry->method) {
    case pmDeflated: {
      window->SetPosition(0);
      if (progress) window->SetProgressCallback(TPartialStream::kDefaultChunkSize, progress);
      TInflateStream inflate(*window);
      auto memory = InflateToMemory(inflate, fInflateLimit);
      window.reset();
      const int64_t size = memory->GetSize();
      auto whole = std::make_unique<TPartialStream>(std::move(memory), size, 0);
      if (progress) whole->SetProgressCallback(TPartialStream::kDefaultChunkSize, progress);
      return whole;
    }
    case pmScrambled:
      if (progress) window->SetProgressCallback(TPartialStream::kDefaultChunkSize, progress);
      return std::make_unique<TCryptStream>(std::move(window), fKey);
    default:
      if (progress) window->SetProgressCallback(TPartialStream::kDefaultChunkSize, progress);
      return window;
  }
}

bool IsShowPackage(const std::string& fileName, TString* version) {
  try {
    TZelUnpack package(fileName);
    if (!package.Ready()) return false;
    if (version) *version = package.Version();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace zel
