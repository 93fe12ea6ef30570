// The picture cache: one decoded copy of each picture per file source for
// the whole show, shared by every object that shows it.
//
// The decoding itself lives in the imaging layer, which registers it here at
// start-up, together with the maker of the placeholder picture that stands
// in for a missing or broken one. A decoded picture is held as the shared
// store of its bitmaps (the imaging layer's TBitmapStore).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/obj.h"
#include "core/streams.h"
#include "core/sync.h"

namespace zel {

// Decodes a stream; null when it is no picture it can read. orientation is
// the code recorded for the name (0 when none).
using TPictureDecoder =
    std::function<TRef<TRefObj>(std::unique_ptr<TStream> stream, TStringView name, int orientation)>;
// The clearly marked stand-in for a picture (or video) that is missing
// (streamExisted false) or cannot be decoded.
using TPlaceholderMaker = std::function<TRef<TRefObj>(TStringView name, bool streamExisted, bool forVideo)>;

void SetPictureDecoder(TPictureDecoder decoder);
void SetPlaceholderMaker(TPlaceholderMaker maker);
TRef<TRefObj> DecodePicture(std::unique_ptr<TStream> stream, TStringView name, int orientation);
TRef<TRefObj> MakePlaceholder(TStringView name, bool streamExisted, bool forVideo);

// The four lines of the placeholder: what went wrong, the file's name,
// "Path:" and its folder.
struct TPlaceholderText {
  TString lines[4];
};
TPlaceholderText PlaceholderText(TStringView name, bool streamExisted, bool forVideo);

// The global lock of the cache. It is taken before any handle's own lock,
// never after, and never held while decoding.
TSafeCriticalSection& PictureCacheLock();

// One picture for one source.
class TImageHandle : public TRefObj {
 public:
  TImageHandle(TString key, uint32_t serial) : fKey(std::move(key)), fSerial(serial) {}
  // Runs with the cache lock held (see TCachedPicture).
  ~TImageHandle() override;

  uint32_t Serial() const { return fSerial; }
  const TString& Key() const { return fKey; }
  TSafeCriticalSection& Lock() { return fLock; }

  bool Tried() const { return fTried; }
  bool IsPlaceholder() const { return fPlaceholder; }
  const TRef<TRefObj>& Store() const { return fStore; }
  void SetResult(TRef<TRefObj> store, bool placeholder);

 private:
  TSafeCriticalSection fLock;
  TString fKey;
  uint32_t fSerial;
  bool fTried = false;
  bool fPlaceholder = false;
  TRef<TRefObj> fStore;
};

// The handle for the name and source, made when there is none; the caller's
// reference.
TRef<TImageHandle> FindOrMakePictureHandle(TStringView name, uint32_t serial);
// Releases a reference under the cache lock, as every release must be.
void ReleasePictureHandle(TRef<TImageHandle>& handle);
// How many handles exist (for tests and diagnostics).
int PictureHandleCount();

// What an accessor hands out: a reference to a handle with a decoded
// picture. Copies share the handle; each releases it under the cache lock.
class TCachedPicture {
 public:
  explicit TCachedPicture(TRef<TImageHandle> handle) : fHandle(std::move(handle)) {}
  TCachedPicture(const TCachedPicture& other);
  TCachedPicture& operator=(const TCachedPicture& other);
  TCachedPicture(TCachedPicture&&) noexcept = default;
  TCachedPicture& operator=(TCachedPicture&& other) noexcept;
  ~TCachedPicture();

  TImageHandle& Handle() const { return *fHandle; }
  const TRef<TRefObj>& Store() const { return fHandle->Store(); }
  bool IsPlaceholder() const { return fHandle->IsPlaceholder(); }

 private:
  TRef<TImageHandle> fHandle;
};

}  // namespace zel
