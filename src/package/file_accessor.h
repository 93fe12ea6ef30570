// The file accessor: the one way a file of a show is opened, by name, from
// the package, from disk beside a project or from the styles folder. It also
// hands out the shared decoded pictures.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "package/file_source.h"
#include "package/picture_cache.h"

namespace zel {

class TFileAccessor : public TObj {
 public:
  // Asked by name when the source has no stream.
  using TFallbackOpener = std::function<std::unique_ptr<TStream>(TStringView name)>;
  // Given each stream just opened; may replace it.
  using TLoadHook = std::function<void(TStringView name, std::unique_ptr<TStream>& stream)>;

  explicit TFileAccessor(TRef<TFileSource> source);

  TFileSource& Source() const { return *fSource; }
  const TRef<TFileSource>& SourceRef() const { return fSource; }

  // Where plain file names are looked for on disk, with a trailing separator.
  const TString& BaseFolder() const { return fBaseFolder; }
  void SetBaseFolder(TStringView folder);
  void SetFallbackOpener(TFallbackOpener opener) { fFallback = std::move(opener); }
  void SetLoadHook(TLoadHook hook) { fLoadHook = std::move(hook); }

  // A stream or none; never raises for a missing or unreadable file.
  std::unique_ptr<TStream> OpenStream(TStringView name);
  // The name of an existing disk file for the name: as it is, translated,
  // or its last component in the base folder.
  std::optional<std::string> ResolveDiskName(TStringView name) const;
  std::unique_ptr<TFileStream> OpenDiskFile(TStringView name) const;
  // The shared decoded picture, the placeholder when it is missing or
  // broken (once failed, never decoded again for this source), or none when
  // no placeholder can be made.
  std::optional<TCachedPicture> LoadPicture(TStringView name);
  std::unique_ptr<TCallbackHandle> RegisterPictureProvider(TPictureProvider provider) {
    return fSource->RegisterPictureProvider(std::move(provider));
  }

  // A new accessor on the same source with the same base folder.
  std::unique_ptr<TFileAccessor> Clone() const;

 private:
  // Opening under the source's lock, wrapped in a window with the loader
  // callback (steps without the load hook and the fallback).
  std::unique_ptr<TStream> OpenFromSource(TStringView name);

  TRef<TFileSource> fSource;
  TString fBaseFolder;
  TFallbackOpener fFallback;
  TLoadHook fLoadHook;
};

// The process's accessor over plain disk files.
TFileAccessor& DefaultAccessor();
// Another accessor like it, taking its base folder.
std::unique_ptr<TFileAccessor> NewDefaultAccessor();

}  // namespace zel
