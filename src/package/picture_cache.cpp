#include "package/picture_cache.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/hash_list.h"

namespace zel {

namespace {

constexpr int kCacheBuckets = 9997;

class TCacheKey : public TKeyItem {
 public:
  using TKeyItem::TKeyItem;
  std::vector<TImageHandle*> handles;  // one per source serial
};

struct TPictureCache {
  TSafeCriticalSection lock;
  THashListOf<TCacheKey> keys{kCacheBuckets};
  int handleCount = 0;
};

TPictureCache& Cache() {
  // Never destroyed: handles may be released by static destructors.
  static TPictureCache* cache = new TPictureCache;
  return *cache;
}

std::mutex gHooksLock;
TPictureDecoder gDecoder;
TPlaceholderMaker gPlaceholder;

TStringView LastComponent(TStringView name) {
  const size_t separator = name.find_last_of(u"\\/");
  return separator == TStringView::npos ? name : name.substr(separator + 1);
}

}  // namespace

void SetPictureDecoder(TPictureDecoder decoder) {
  std::lock_guard lock(gHooksLock);
  gDecoder = std::move(decoder);
}

void SetPlaceholderMaker(TPlaceholderMaker maker) {
  std::lock_guard lock(gHooksLock);
  gPlaceholder = std::move(maker);
}

TRef<TRefObj> DecodePicture(std::unique_ptr<TStream> stream, TStringView name, int orientation) {
  TPictureDecoder decoder;
  {
    std::lock_guard lock(gHooksLock);
    decoder = gDecoder;
  }
  if (!decoder || !stream) return nullptr;
  return decoder(std::move(stream), name, orientation);
}

TRef<TRefObj> MakePlaceholder(TStringView name, bool streamExisted, bool forVideo) {
  TPlaceholderMaker maker;
  {
    std::lock_guard lock(gHooksLock);
    maker = gPlaceholder;
  }
  return maker ? maker(name, streamExisted, forVideo) : nullptr;
}

TPlaceholderText PlaceholderText(TStringView name, bool streamExisted, bool forVideo) {
  TPlaceholderText text;
  if (forVideo) {
    text.lines[0] = streamExisted ? u"Video load error:" : u"Video not found:";
  } else {
    text.lines[0] = streamExisted ? u"Image load error:" : u"Image not found:";
  }
  const TStringView file = LastComponent(name);
  text.lines[1] = TString(file);
  text.lines[2] = u"Path:";
  TStringView folder = name.substr(0, name.size() - file.size());
  while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.remove_suffix(1);
  text.lines[3] = TString(folder);
  return text;
}

TSafeCriticalSection& PictureCacheLock() { return Cache().lock; }

// ---------------------------------------------------------------------------

TImageHandle::~TImageHandle() {
  TPictureCache& cache = Cache();
  std::lock_guard lock(cache.lock);
  if (TCacheKey* key = cache.keys.Find(fKey)) {
    auto& handles = key->handles;
    handles.erase(std::remove(handles.begin(), handles.end(), this), handles.end());
    if (handles.empty()) cache.keys.Delete(fKey);
  }
  --cache.handleCount;
}

void TImageHandle::SetResult(TRef<TRefObj> store, bool placeholder) {
  fStore = std::move(store);
  fPlaceholder = placeholder;
  fTried = true;
}

TRef<TImageHandle> FindOrMakePictureHandle(TStringView name, uint32_t serial) {
  TPictureCache& cache = Cache();
  std::lock_guard lock(cache.lock);
  const TString key = UpperCase(name);
  TCacheKey* entry = cache.keys.FindOrAdd(key);
  for (TImageHandle* handle : entry->handles) {
    // A handle whose count already reached 0 is on its way out: its
    // destructor waits for this lock to unlist it. Make a new one instead.
    if (handle->Serial() == serial && handle->_AddRef() != 0) return TRef<TImageHandle>::Adopt(handle);
  }
  auto handle = MakeRef<TImageHandle>(key, serial);
  entry->handles.push_back(handle.Get());
  ++cache.handleCount;
  return handle;
}

void ReleasePictureHandle(TRef<TImageHandle>& handle) {
  std::lock_guard lock(PictureCacheLock());
  handle.Reset();
}

int PictureHandleCount() {
  std::lock_guard lock(PictureCacheLock());
  return Cache().handleCount;
}

// ---------------------------------------------------------------------------

TCachedPicture::TCachedPicture(const TCachedPicture& other) {
  std::lock_guard lock(PictureCacheLock());
  fHandle = other.fHandle;
}

TCachedPicture& TCachedPicture::operator=(const TCachedPicture& other) {
  if (this != &other) {
    std::lock_guard lock(PictureCacheLock());
    fHandle = other.fHandle;
  }
  return *this;
}

TCachedPicture& TCachedPicture::operator=(TCachedPicture&& other) noexcept {
  if (this != &other) {
    std::lock_guard lock(PictureCacheLock());
    fHandle = std::move(other.fHandle);
  }
  return *this;
}

TCachedPicture::~TCachedPicture() {
  if (fHandle) ReleasePictureHandle(fHandle);
}

}  // namespace zel
