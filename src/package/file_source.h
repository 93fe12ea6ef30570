// File sources: where an accessor's names are opened. A plain disk source,
// a disk source with the project's name and rotation maps, and the package
// source that opens entries.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <vector>

#include "core/hash_list.h"
#include "core/obj.h"
#include "core/streams.h"
#include "core/loader_callback.h"
#include "core/sync.h"

namespace zel {

class TCallbackHandle;
class TIniStorage;
class TZelUnpack;

// A picture a provider hands out: the shared store of its bitmaps (the
// imaging layer's TBitmapStore), or null for none.
using TPictureProvider = std::function<TRef<TRefObj>(TStringView name)>;

class TFileSource : public TRefObj {
 public:
  TFileSource();
  ~TFileSource() override;

  // Gives a stream for the name or none; never raises for a missing file.
  // Callers hold Lock() around it.
  virtual std::unique_ptr<TStream> Open(TStringView name) = 0;

  TSafeCriticalSection& Lock() { return fLock; }
  // Unique for the life of the process: tells the picture cache which
  // source a picture came from.
  uint32_t Serial() const { return fSerial; }

  // The orientation code (1, 3, 6 or 8) recorded for a picture, 0 for none.
  virtual int OrientationFor(TStringView name) const { (void)name; return 0; }

  // Providers are asked for pictures, in registration order, before any
  // file is opened. Freeing the handle unregisters the provider.
  std::unique_ptr<TCallbackHandle> RegisterPictureProvider(TPictureProvider provider);
  // The first picture a provider gives, or null.
  TRef<TRefObj> AskPictureProviders(TStringView name);

 private:
  friend class TCallbackHandle;
  void Unregister(TCallbackHandle* handle);

  TSafeCriticalSection fLock;
  uint32_t fSerial;
  std::mutex fProvidersLock;
  std::vector<TCallbackHandle*> fProviders;
};

class TCallbackHandle : public TObj {
 public:
  ~TCallbackHandle() override;
  const TPictureProvider& Provider() const { return fProvider; }

 private:
  friend class TFileSource;
  TCallbackHandle(TRef<TFileSource> source, TPictureProvider provider)
      : fSource(std::move(source)), fProvider(std::move(provider)) {}
  TRef<TFileSource> fSource;
  TPictureProvider fProvider;
};

// A file stream whose reads give 0 instead of raising when they fail. It
// reads through a buffer: the loading windows above it move small chunks
// (so that their progress callback runs often), and each would otherwise
// be a system call of its own.
class TFileStreamEx : public TBufferedFileStream {
 public:
  using TBufferedFileStream::TBufferedFileStream;

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
};

// Plain disk files, after name translation ("%styles%", environment folders).
class TRealFileSource : public TFileSource {
 public:
  std::unique_ptr<TStream> Open(TStringView name) override;
};

// Disk files named by a project, with the project's "FileMap" (a name opens
// as its first target) and "RotationState" (pictures to turn upright).
class TMappedFileSource : public TFileSource {
 public:
  TMappedFileSource();
  ~TMappedFileSource() override;

  std::unique_ptr<TStream> Open(TStringView name) override;
  int OrientationFor(TStringView name) const override;

  // Relative names are looked for here (the project's folder); a name whose
  // folders do not exist is looked for here by its last component.
  void SetFolder(TStringView folder) { fFolder.assign(folder); }
  const TString& Folder() const { return fFolder; }

  // Reads both maps from a project document.
  void LoadMaps(const TIniStorage& project);
  void AddMapping(TStringView name, TStringView target);
  void SetOrientation(TStringView name, int code);
  // The first target recorded for the name, or nothing.
  const TString* MappedName(TStringView name);

 protected:
  // Opens a name that the map does not redirect.
  virtual std::unique_ptr<TStream> OpenUnmapped(TStringView name);
  // Follows the name map, refusing a chain that comes back to a name being
  // opened already.
  std::unique_ptr<TStream> OpenThroughMap(TStringView name);

 private:
  class TMappingKey;
  class TRotationKey;
  std::unique_ptr<THashListOf<TMappingKey>> fNameMap;
  std::unique_ptr<THashListOf<TRotationKey>> fRotationMap;
  std::vector<TString> fOpening;  // names on the way through the map
  TString fFolder;
};

// The entries of a show package.
class TPackedFileSource : public TMappedFileSource {
 public:
  explicit TPackedFileSource(std::unique_ptr<TZelUnpack> package);
  ~TPackedFileSource() override;

  TZelUnpack& Package() { return *fPackage; }

 protected:
  std::unique_ptr<TStream> OpenUnmapped(TStringView name) override;

 private:
  std::unique_ptr<TZelUnpack> fPackage;
};

// "FileMap" line rules: ";" may lead; the first "=" outside double quotes
// splits; both sides trimmed and unquoted once; both must be non-empty.
bool ParseFileMapLine(TStringView line, TString& name, TString& target);
// "RotationState" lines: ;"NAME"=N with nothing in between, N in 1, 3, 6, 8.
bool ParseRotationLine(TStringView line, TString& name, int& code);

}  // namespace zel
