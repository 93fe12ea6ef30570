#include "core/hash_list.h"

namespace zel {

uint32_t ElfHash(TStringView text) {
  uint32_t h = 0;
  for (char16_t unit : text) {
    h = (h << 4) + (static_cast<uint32_t>(unit) & 0xFFu);
    const uint32_t top = h & 0xF0000000u;
    if (top != 0) {
      h ^= top >> 24;
      h &= ~top;
    }
  }
  return h;
}

// ---------------------------------------------------------------------------

THashItem::~THashItem() {
  while (fFirst) Destroy(fFirst);
}

TKeyItem* THashItem::Find(TStringView key) const {
  for (TKeyItem* item = fFirst; item; item = item->fNext) {
    if (item->fKey == key) return item;
  }
  return nullptr;
}

void THashItem::PushFront(std::unique_ptr<TKeyItem> owned) {
  TKeyItem* item = owned.release();
  item->fPrev = nullptr;
  item->fNext = fFirst;
  if (fFirst) fFirst->fPrev = item;
  fFirst = item;
}

void THashItem::Destroy(TKeyItem* item) {
  if (item->fPrev) {
    item->fPrev->fNext = item->fNext;
  } else {
    fFirst = item->fNext;
  }
  if (item->fNext) item->fNext->fPrev = item->fPrev;
  delete item;
}

// ---------------------------------------------------------------------------

THashList::THashList(int bucketCount) : fBuckets(static_cast<size_t>(bucketCount < 1 ? 1 : bucketCount)) {}

THashList::~THashList() { Clear(); }

TKeyItem* THashList::Lookup(TStringView key, int& bucket) {
  if (fLastBucket >= 0 && key == fLastKey) {
    bucket = fLastBucket;
    return fLastItem;
  }
  fLastKey.assign(key);
  bucket = BucketOf(key);
  auto& slot = fBuckets[static_cast<size_t>(bucket)];
  if (!slot) slot = std::make_unique<THashItem>();
  fLastBucket = bucket;
  fLastItem = slot->Find(key);
  return fLastItem;
}

TKeyItem* THashList::Find(TStringView key) {
  int bucket;
  return Lookup(key, bucket);
}

TKeyItem* THashList::FindOrAdd(TStringView key, bool* added) {
  int bucket;
  TKeyItem* item = Lookup(key, bucket);
  if (added) *added = item == nullptr;
  if (item) return item;
  auto created = CreateItem(TString(key));
  item = created.get();
  fBuckets[static_cast<size_t>(bucket)]->PushFront(std::move(created));
  ++fCount;
  fLastItem = item;
  return item;
}

bool THashList::Delete(TStringView key) {
  int bucket;
  TKeyItem* item = Lookup(key, bucket);
  if (!item) return false;
  if (item == fLastItem) Forget();
  fBuckets[static_cast<size_t>(bucket)]->Destroy(item);
  --fCount;
  return true;
}

void THashList::Clear() {
  Forget();
  for (auto& bucket : fBuckets) bucket.reset();
  fCount = 0;
}

void THashList::ForEach(const std::function<void(TKeyItem&)>& visit) const {
  for (const auto& bucket : fBuckets) {
    if (!bucket) continue;
    for (TKeyItem* item = bucket->First(); item;) {
      TKeyItem* next = item->fNext;
      visit(*item);
      item = next;
    }
  }
}

}  // namespace zel
