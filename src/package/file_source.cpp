#include "package/file_source.h"

#include <algorithm>
#include <atomic>

#include "ini/ini_document.h"
#include "package/name_translation.h"
#include "package/zel_unpack.h"
#include "platform/disk_names.h"

namespace zel {

namespace {

std::atomic<uint32_t> gNextSerial{1};

TString Trimmed(TStringView text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && text[start] == u' ') ++start;
  while (end > start && text[end - 1] == u' ') --end;
  return TString(text.substr(start, end - start));
}

TString Unquoted(TString text) {
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') return text.substr(1, text.size() - 2);
  return text;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAbsoluteName(TStringView name) {
  if (!name.empty() && IsSeparator(name[0])) return true;
  return name.size() >= 2 && name[1] == u':';  // a Windows drive
}

TString JoinFolder(TStringView folder, TStringView name) {
  TString out(folder);
  if (!out.empty() && !IsSeparator(out.back())) out += u'/';
  out.append(name);
  return out;
}

TStringView LastComponent(TStringView name) {
  const size_t separator = name.find_last_of(u"\\/");
  return separator == TStringView::npos ? name : name.substr(separator + 1);
}

std::unique_ptr<TStream> OpenDiskFile(TStringView name) {
  if (!DiskFileExists(name)) return nullptr;
  try {
    return std::make_unique<TFileStreamEx>(DiskNameFor(name), TFileCreation::OpenExisting, fsRead | fsWrite | fsDelete,
                                           faRead);
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

TFileSource::TFileSource() : fSerial(gNextSerial.fetch_add(1)) {}

TFileSource::~TFileSource() {
  // Handles that outlive nothing: they hold a reference to the source, so
  // none can be registered any more by now.
}

std::unique_ptr<TCallbackHandle> TFileSource::RegisterPictureProvider(TPictureProvider provider) {
  std::unique_ptr<TCallbackHandle> handle(new TCallbackHandle(TRef<TFileSource>(this), std::move(provider)));
  std::lock_guard lock(fProvidersLock);
  fProviders.push_back(handle.get());
  return handle;
}

TRef<TRefObj> TFileSource::AskPictureProviders(TStringView name) {
  std::vector<TPictureProvider> providers;
  {
    std::lock_guard lock(fProvidersLock);
    for (auto* handle : fProviders) providers.push_back(handle->Provider());
  }
  for (const auto& provider : providers) {
    if (auto picture = provider(name)) return picture;
  }
  return nullptr;
}

void TFileSource::Unregister(TCallbackHandle* handle) {
  std::lock_guard lock(fProvidersLock);
  fProviders.erase(std::remove(fProviders.begin(), fProviders.end(), handle), fProviders.end());
}

TCallbackHandle::~TCallbackHandle() {
  if (fSource) fSource->Unregister(this);
}

// ---------------------------------------------------------------------------

int32_t TFileStreamEx::DoRead(std::span<uint8_t> destination) {
  try {
    return TBufferedFileStream::DoRead(destination);
  } catch (const EStreamError&) {
    return 0;
  }
}

std::unique_ptr<TStream> TRealFileSource::Open(TStringView name) { return OpenDiskFile(TranslateName(name)); }

// ---------------------------------------------------------------------------

class TMappedFileSource::TMappingKey : public TKeyItem {
 public:
  using TKeyItem::TKeyItem;
  std::vector<TString> targets;  // the first one wins
};

class TMappedFileSource::TRotationKey : public TKeyItem {
 public:
  using TKeyItem::TKeyItem;
  int code = 0;
};

TMappedFileSource::TMappedFileSource()
    : fNameMap(std::make_unique<THashListOf<TMappingKey>>(251)),
      fRotationMap(std::make_unique<THashListOf<TRotationKey>>(251)) {}

TMappedFileSource::~TMappedFileSource() = default;

void TMappedFileSource::AddMapping(TStringView name, TStringView target) {
  fNameMap->FindOrAdd(UpperCase(name))->targets.emplace_back(target);
}

void TMappedFileSource::SetOrientation(TStringView name, int code) {
  fRotationMap->FindOrAdd(UpperCase(name))->code = code;
}

const TString* TMappedFileSource::MappedName(TStringView name) {
  const TMappingKey* key = fNameMap->Find(UpperCase(name));
  return key && !key->targets.empty() ? &key->targets.front() : nullptr;
}

int TMappedFileSource::OrientationFor(TStringView name) const {
  const TRotationKey* key = fRotationMap->Find(UpperCase(name));
  return key ? key->code : 0;
}

void TMappedFileSource::LoadMaps(const TIniStorage& project) {
  auto eachLine = [&](TStringView sectionName, auto&& take) {
    const TIniSection* section = project.FindSection(sectionName);
    if (!section) return;
    for (const TCommonIniItem* item = section->First(); item; item = item->Next()) {
      if (const auto* line = dynamic_cast<const TIniTextLine*>(item)) take(TStringView(line->Text()));
    }
  };
  eachLine(u"FileMap", [&](TStringView line) {
    TString name, target;
    if (ParseFileMapLine(line, name, target)) AddMapping(name, target);
  });
  eachLine(u"RotationState", [&](TStringView line) {
    TString name;
    int code;
    if (ParseRotationLine(line, name, code)) SetOrientation(name, code);
  });
}

std::unique_ptr<TStream> TMappedFileSource::OpenThroughMap(TStringView name) {
  const TString upper = UpperCase(name);
  if (std::find(fOpening.begin(), fOpening.end(), upper) != fOpening.end()) return nullptr;  // a loop
  const TString* target = MappedName(name);
  if (!target) return OpenUnmapped(name);
  const TString next = *target;
  fOpening.push_back(upper);
  std::unique_ptr<TStream> stream;
  try {
    stream = OpenThroughMap(next);
  } catch (...) {
    fOpening.pop_back();
    throw;
  }
  fOpening.pop_back();
  return stream;
}

std::unique_ptr<TStream> TMappedFileSource::Open(TStringView name) { return OpenThroughMap(name); }

std::unique_ptr<TStream> TMappedFileSource::OpenUnmapped(TStringView name) {
  if (IsAbsoluteName(name) || fFolder.empty()) {
    if (auto stream = OpenDiskFile(name)) return stream;
  } else if (auto stream = OpenDiskFile(JoinFolder(fFolder, name))) {
    return stream;
  }
  // Shows move between machines: a file whose folders are gone may lie in
  // the project's own folder.
  if (!fFolder.empty() && LastComponent(name).size() != name.size())
    return OpenDiskFile(JoinFolder(fFolder, LastComponent(name)));
  return nullptr;
}

// ---------------------------------------------------------------------------

TPackedFileSource::TPackedFileSource(std::unique_ptr<TZelUnpack> package) : fPackage(std::move(package)) {}

TPackedFileSource::~TPackedFileSource() = default;

std::unique_ptr<TStream> TPackedFileSource::OpenUnmapped(TStringView name) {
  return fPackage->OpenEntry(name, LoaderProgress());
}

// ---------------------------------------------------------------------------

bool ParseFileMapLine(TStringView line, TString& name, TString& target) {
  if (!line.empty() && line[0] == u';') line.remove_prefix(1);
  bool quoted = false;
  size_t split = TStringView::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (line[i] == u'=' && !quoted) {
      split = i;
      break;
    }
  }
  if (split == TStringView::npos) return false;
  name = Unquoted(Trimmed(line.substr(0, split)));
  target = Unquoted(Trimmed(line.substr(split + 1)));
  return !name.empty() && !target.empty();
}

bool ParseRotationLine(TStringView line, TString& name, int& code) {
  if (line.size() < 5 || line[0] != u';' || line[1] != u'"') return false;
  const size_t close = line.find(u'"', 2);
  if (close == TStringView::npos || close + 2 >= line.size() || line[close + 1] != u'=') return false;
  const TStringView digits = line.substr(close + 2);
  if (digits.find_first_not_of(u"0123456789") != TStringView::npos) return false;
  const auto value = TryStrToInt(digits);
  if (!value || (*value != 1 && *value != 3 && *value != 6 && *value != 8)) return false;
  name.assign(line.substr(2, close - 2));
  code = static_cast<int>(*value);
  return !name.empty();
}

}  // namespace zel
