// Decoded pictures: a TBitmapStore shared by every handle of one picture
// hands out the picture at any resolution level (0 full size, each further
// level half the size) in the format and bitmap class asked for, making each
// level on first request and caching what it made.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"
#include "core/sync.h"
#include "imaging/bitmap.h"

namespace zel {

// Applied to every native level bitmap a decoder makes (turning a picture
// upright, for example); it may replace the bitmap.
using TPostLoadHook = std::function<void(std::unique_ptr<TBitmap>& bitmap)>;

// What CreateLevel made: a bitmap, owned or not, and the level it is for.
struct TLevelBitmap {
  TBitmap* Bitmap = nullptr;
  std::unique_ptr<TBitmap> Owned;
  int Level = 0;

  static TLevelBitmap Own(std::unique_ptr<TBitmap> bitmap, int level) {
    TLevelBitmap result;
    result.Bitmap = bitmap.get();
    result.Owned = std::move(bitmap);
    result.Level = level;
    return result;
  }
};

class TBitmapStore : public TRefObj {
 public:
  TBitmapStore(TString name, int width, int height, TCommonPixelFormat* format);
  ~TBitmapStore() override;

  // The level's bitmap in the format (the native bitmap's when none) and
  // class (DefBitmapClass when none). The bitmap lives as long as the store.
  TBitmap* GetMipLevel(int level, TCommonPixelFormat* format = nullptr, TBitmapClass bitmapClass = TBitmapClass::None);

  const TString& Name() const { return fName; }
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  TCommonPixelFormat* Format() const { return fFormat; }

  void SetProgress(TBitmapProgress progress) { fProgress = std::move(progress); }
  const TBitmapProgress& Progress() const { return fProgress; }

  // Companion objects that live and die with the store.
  void Attach(std::unique_ptr<TObj> object);
  template <typename T>
  T* FindAttached() const {
    for (const auto& object : fAttached)
      if (auto* found = dynamic_cast<T*>(object.get())) return found;
    return nullptr;
  }

  // What the caches hold: for tests and diagnostics.
  int CachedBitmapCount(int level) const;

 protected:
  // Makes the level's native bitmap.
  virtual TLevelBitmap CreateLevel(int level, TCommonPixelFormat* format, TBitmapClass bitmapClass) = 0;
  // Whether a cached bitmap can be handed out for the request.
  virtual bool Matches(const TBitmap& bitmap, TCommonPixelFormat* format, TBitmapClass bitmapClass) const;

  void SetSize(int width, int height) { fWidth = width, fHeight = height; }
  TCriticalSection& Lock() { return fLock; }

 private:
  struct TCacheEntry {
    TBitmap* Bitmap;
    std::unique_ptr<TBitmap> Owned;
  };
  TCriticalSection fLock;
  std::vector<std::vector<TCacheEntry>> fLevels;
  TString fName;
  int fWidth;
  int fHeight;
  TCommonPixelFormat* fFormat;
  TBitmapProgress fProgress;
  std::vector<std::unique_ptr<TObj>> fAttached;
};

// The base of the decoders' stores: levels the decoder cannot make itself
// are halved from the level above.
class TSysBitmapStore : public TBitmapStore {
 public:
  TSysBitmapStore(TString name, int width, int height, TCommonPixelFormat* format, TPostLoadHook postLoad = {});

 protected:
  TLevelBitmap CreateLevel(int level, TCommonPixelFormat* format, TBitmapClass bitmapClass) override;
  // The decoder's own bitmap for the level, or nothing.
  virtual std::unique_ptr<TBitmap> ReadNativeLevel(int level) = 0;
  void ApplyPostLoad(std::unique_ptr<TBitmap>& bitmap) const {
    if (fPostLoad && bitmap) fPostLoad(bitmap);
  }

 private:
  TPostLoadHook fPostLoad;
};

// Level 0 is a given bitmap.
class TWrapperBitmapStore : public TSysBitmapStore {
 public:
  TWrapperBitmapStore(TString name, std::unique_ptr<TBitmap> bitmap, TPostLoadHook postLoad = {});
  // Not owned: the bitmap must outlive the store.
  TWrapperBitmapStore(TString name, TBitmap* bitmap);

 protected:
  TLevelBitmap CreateLevel(int level, TCommonPixelFormat* format, TBitmapClass bitmapClass) override;
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override;

 private:
  std::unique_ptr<TBitmap> fOwned;
  TBitmap* fBitmap;
};

// A handle on a store: it holds one reference, a copy of the picture's
// parameters and its own companions.
class TImage : public TObj {
 public:
  explicit TImage(TRef<TBitmapStore> store);

  TBitmapStore& Store() const { return *fStore; }
  const TRef<TBitmapStore>& StoreRef() const { return fStore; }
  const TString& Name() const { return fName; }
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  TCommonPixelFormat* Format() const { return fFormat; }

  TBitmap* GetMipLevel(int level, TCommonPixelFormat* format = nullptr, TBitmapClass bitmapClass = TBitmapClass::None) {
    return fStore->GetMipLevel(level, format, bitmapClass);
  }
  // Another handle on the same store.
  std::unique_ptr<TImage> Share() const { return std::make_unique<TImage>(fStore); }

  std::vector<std::unique_ptr<TObj>>& Attached() { return fAttached; }

 private:
  TRef<TBitmapStore> fStore;
  TString fName;
  int fWidth;
  int fHeight;
  TCommonPixelFormat* fFormat;
  std::vector<std::unique_ptr<TObj>> fAttached;
};

// How an animated picture is played as a sprite sheet: frames side by side.
class TTilesTag : public TObj {
 public:
  int FrameWidth = 0;
  int FrameHeight = 0;
  int Columns = 0;  // the frame count
  int Rows = 1;
  int TotalDuration = 0;    // milliseconds
  int AverageDuration = 0;  // TotalDuration div Columns
  TString Durations;        // "100,50,..." in milliseconds
  int LoopCount = 1;        // 0 plays for ever
};

// Halves a 24-bit "R8G8B8" or 32-bit "A8R8G8B8" bitmap: ((w + 1) div 2,
// (h + 1) div 2), each new pixel the 3 x 3 binomial average around (2x, 2y)
// with the borders clamped. Raises EAbort when the progress says stop.
std::unique_ptr<TBitmap> HalveBitmap(const TBitmap& source, TBitmapClass bitmapClass, const TBitmapProgress& progress);

// The smallest level that is still at least as large as the target in one
// dimension (never below 0).
int LevelForSize(int width, int height, int targetWidth, int targetHeight);

}  // namespace zel
