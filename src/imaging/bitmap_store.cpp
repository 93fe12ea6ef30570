#include "imaging/bitmap_store.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace zel {

TBitmapStore::TBitmapStore(TString name, int width, int height, TCommonPixelFormat* format)
    : fName(std::move(name)), fWidth(width), fHeight(height), fFormat(format) {}

// Bitmaps go before the companions, which may describe them.
TBitmapStore::~TBitmapStore() {
  fLevels.clear();
  fAttached.clear();
}

void TBitmapStore::Attach(std::unique_ptr<TObj> object) {
  std::lock_guard guard(fLock);
  fAttached.push_back(std::move(object));
}

int TBitmapStore::CachedBitmapCount(int level) const {
  std::lock_guard guard(const_cast<TCriticalSection&>(fLock));
  if (level < 0 || static_cast<size_t>(level) >= fLevels.size()) return 0;
  return static_cast<int>(fLevels[static_cast<size_t>(level)].size());
}

bool TBitmapStore::Matches(const TBitmap& bitmap, TCommonPixelFormat* format, TBitmapClass bitmapClass) const {
  return bitmap.Format() == format && BitmapIsClass(bitmap, bitmapClass);
}

TBitmap* TBitmapStore::GetMipLevel(int level, TCommonPixelFormat* format, TBitmapClass bitmapClass) {
  std::lock_guard guard(fLock);
  if (level < 0) {
    // The store's own check reports it.
    (void)CreateLevel(level, format, bitmapClass);
    ZEL_ASSERT(false, RefClassName() + ".GetMipLevel - Index<0");
  }
  const size_t index = static_cast<size_t>(level);
  if (index >= fLevels.size()) {
    size_t size = std::max<size_t>(fLevels.size(), 4);
    while (size <= index) size *= 2;
    fLevels.resize(size);
  }
  if (fLevels[index].empty()) {
    TLevelBitmap made = CreateLevel(level, format, bitmapClass);
    ZEL_ASSERT(made.Bitmap != nullptr,
               "\"" + RefClassName() + ".GetMipLevel(" + std::to_string(level) + ")\" Not Assigned");
    ZEL_ASSERT(made.Level == level, "Incorrect MipLevelIndex");
    if (fProgress && !made.Bitmap->Progress()) made.Bitmap->SetProgress(fProgress);
    // CreateLevel may have fetched other levels and grown the caches.
    fLevels[index].push_back({made.Bitmap, std::move(made.Owned)});
  }
  auto& cache = fLevels[index];
  TBitmap* native = cache.front().Bitmap;
  TCommonPixelFormat* wanted = format ? format : native->Format();
  if (bitmapClass == TBitmapClass::None) {
    bitmapClass = DefBitmapClass();
    ZEL_ASSERT(bitmapClass != TBitmapClass::None, "vxBitmap.DefBitmapClass Not Assigned");
  }
  for (const auto& entry : cache)
    if (Matches(*entry.Bitmap, wanted, bitmapClass)) return entry.Bitmap;
  std::unique_ptr<TBitmap> copy = native->CloneAs(wanted, bitmapClass);
  ZEL_ASSERT(copy != nullptr, "Invalid Combination Of Bitmap Parameters");
  TBitmap* result = copy.get();
  cache.push_back({result, std::move(copy)});
  return result;
}

// ---------------------------------------------------------------------------

TSysBitmapStore::TSysBitmapStore(TString name, int width, int height, TCommonPixelFormat* format,
                                 TPostLoadHook postLoad)
    : TBitmapStore(std::move(name), width, height, format), fPostLoad(std::move(postLoad)) {}

TLevelBitmap TSysBitmapStore::CreateLevel(int level, TCommonPixelFormat*, TBitmapClass bitmapClass) {
  ZEL_ASSERT(level >= 0, "TSysBitmapStore.GetMipLevel - Index<0");
  if (std::unique_ptr<TBitmap> native = ReadNativeLevel(level)) {
    ApplyPostLoad(native);
    return TLevelBitmap::Own(std::move(native), level);
  }
  if (level == 0) return {};
  TCommonPixelFormat* working = Format() && Format()->HasAlpha() ? FormatA8R8G8B8() : FormatR8G8B8();
  const TBitmap* above = GetMipLevel(level - 1, working, TBitmapClass::None);
  return TLevelBitmap::Own(HalveBitmap(*above, bitmapClass, Progress()), level);
}

TWrapperBitmapStore::TWrapperBitmapStore(TString name, std::unique_ptr<TBitmap> bitmap, TPostLoadHook postLoad)
    : TSysBitmapStore(std::move(name), bitmap ? bitmap->Width() : 0, bitmap ? bitmap->Height() : 0,
                      bitmap ? bitmap->Format() : nullptr, std::move(postLoad)),
      fOwned(std::move(bitmap)),
      fBitmap(fOwned.get()) {
  ZEL_ASSERT(fBitmap != nullptr, "TWrapperBitmapStore.Create - Bitmap not Assigned");
  // The hook may turn the picture; the store then reports the turned size.
  ApplyPostLoad(fOwned);
  fBitmap = fOwned.get();
  SetSize(fBitmap->Width(), fBitmap->Height());
}

TWrapperBitmapStore::TWrapperBitmapStore(TString name, TBitmap* bitmap)
    : TSysBitmapStore(std::move(name), bitmap ? bitmap->Width() : 0, bitmap ? bitmap->Height() : 0,
                      bitmap ? bitmap->Format() : nullptr),
      fBitmap(bitmap) {
  ZEL_ASSERT(fBitmap != nullptr, "TWrapperBitmapStore.Create - Bitmap not Assigned");
}

TLevelBitmap TWrapperBitmapStore::CreateLevel(int level, TCommonPixelFormat* format, TBitmapClass bitmapClass) {
  if (level == 0) {
    TLevelBitmap result;
    result.Bitmap = fBitmap;
    result.Owned = std::move(fOwned);  // the cache owns it from now on
    return result;
  }
  return TSysBitmapStore::CreateLevel(level, format, bitmapClass);
}

std::unique_ptr<TBitmap> TWrapperBitmapStore::ReadNativeLevel(int) { return nullptr; }

// ---------------------------------------------------------------------------

TImage::TImage(TRef<TBitmapStore> store) : fStore(std::move(store)) {
  ZEL_ASSERT(fStore, "TImage.Create - BitmapStore not Assigned");
  fName = fStore->Name();
  fWidth = fStore->Width();
  fHeight = fStore->Height();
  fFormat = fStore->Format();
}

// ---------------------------------------------------------------------------

std::unique_ptr<TBitmap> HalveBitmap(const TBitmap& source, TBitmapClass bitmapClass, const TBitmapProgress& progress) {
  const int bpp = source.Format()->BytesPerPixel();
  ZEL_ASSERT(bpp == 3 || bpp == 4, "HalveBitmap - Unsupported Pixel Format");
  const int w = source.Width(), h = source.Height();
  const int nw = (w + 1) / 2, nh = (h + 1) / 2;
  std::unique_ptr<TBitmap> result = CreateBitmap(nw, nh, source.Format(), progress, nullptr, bitmapClass);
  // Column offsets of the three taps, clamped at the borders.
  std::vector<int> taps(static_cast<size_t>(nw) * 3);
  for (int x = 0; x < nw; ++x) {
    taps[static_cast<size_t>(x) * 3] = std::max(2 * x - 1, 0) * bpp;
    taps[static_cast<size_t>(x) * 3 + 1] = (2 * x) * bpp;
    taps[static_cast<size_t>(x) * 3 + 2] = std::min(2 * x + 1, w - 1) * bpp;
  }
  for (int y = 0; y < nh; ++y) {
    if (progress && !progress(static_cast<float>(y) / static_cast<float>(nh))) throw EAbort();
    const uint8_t* r0 = source.ScanLine(std::max(2 * y - 1, 0));
    const uint8_t* r1 = source.ScanLine(2 * y);
    const uint8_t* r2 = source.ScanLine(std::min(2 * y + 1, h - 1));
    uint8_t* out = result->ScanLine(y);
    for (int x = 0; x < nw; ++x, out += bpp) {
      const int a = taps[static_cast<size_t>(x) * 3], b = taps[static_cast<size_t>(x) * 3 + 1],
                c = taps[static_cast<size_t>(x) * 3 + 2];
      for (int k = 0; k < bpp; ++k) {
        const int sum = r0[a + k] + 2 * r0[b + k] + r0[c + k] + 2 * (r1[a + k] + 2 * r1[b + k] + r1[c + k]) +
                        r2[a + k] + 2 * r2[b + k] + r2[c + k];
        out[k] = static_cast<uint8_t>((sum + 8) >> 4);
      }
    }
  }
  if (progress) progress(1.0f);
  return result;
}

int LevelForSize(int width, int height, int targetWidth, int targetHeight) {
  ZEL_ASSERT(targetWidth > 0 && targetHeight > 0, "LevelForSize - Target Size must be positive");
  int level = -1;
  int64_t w = width, h = height;
  while (w > targetWidth && h > targetHeight) {
    ++level;
    w = (w + 1) / 2;
    h = (h + 1) / 2;
  }
  return std::max(level, 0);
}

}  // namespace zel
