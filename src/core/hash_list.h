// A hash list keyed by text: a fixed number of buckets, each a doubly
// linked chain of entries. Keys are compared exactly; callers that want
// case-free keys convert them first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

// The classic ELF hash over the low byte of each UTF-16 unit.
uint32_t ElfHash(TStringView text);

// One entry: its key and, in descendants, its own data (freed with it).
class TKeyItem : public TObj {
 public:
  explicit TKeyItem(TString key) : fKey(std::move(key)) {}
  const TString& Key() const { return fKey; }

 private:
  friend class THashList;
  friend class THashItem;
  TString fKey;
  TKeyItem* fPrev = nullptr;
  TKeyItem* fNext = nullptr;
};

// One bucket: the chain of its entries, newest first.
class THashItem {
 public:
  THashItem() = default;
  THashItem(const THashItem&) = delete;
  THashItem& operator=(const THashItem&) = delete;
  ~THashItem();

  TKeyItem* First() const { return fFirst; }
  TKeyItem* Find(TStringView key) const;
  void PushFront(std::unique_ptr<TKeyItem> item);
  // Unlinks and frees the entry.
  void Destroy(TKeyItem* item);

 private:
  TKeyItem* fFirst = nullptr;
};

class THashList : public TObj {
 public:
  explicit THashList(int bucketCount);
  THashList(const THashList&) = delete;
  THashList& operator=(const THashList&) = delete;
  ~THashList() override;

  int BucketCount() const { return static_cast<int>(fBuckets.size()); }
  int BucketOf(TStringView key) const { return static_cast<int>(ElfHash(key) % fBuckets.size()); }
  int Count() const { return fCount; }

  bool Has(TStringView key) { return Find(key) != nullptr; }
  TKeyItem* Find(TStringView key);
  // Adds a new entry at the head of the key's chain when none matches.
  TKeyItem* FindOrAdd(TStringView key, bool* added = nullptr);
  // Frees the key's entry; false when there was none.
  bool Delete(TStringView key);
  // Frees every entry (and with it what each entry owns).
  void Clear();

  // Visits every entry, bucket by bucket, each chain from its head.
  void ForEach(const std::function<void(TKeyItem&)>& visit) const;

 protected:
  // Descendants choose the entry class.
  virtual std::unique_ptr<TKeyItem> CreateItem(TString key) { return std::make_unique<TKeyItem>(std::move(key)); }

 private:
  // The bucket of the key, found and remembered; the entry when one matches.
  TKeyItem* Lookup(TStringView key, int& bucket);
  void Forget() {
    fLastBucket = -1;
    fLastItem = nullptr;
    fLastKey.clear();
  }

  std::vector<std::unique_ptr<THashItem>> fBuckets;
  int fCount = 0;
  TString fLastKey;
  int fLastBucket = -1;
  TKeyItem* fLastItem = nullptr;
};

// A hash list whose entries are Item (a TKeyItem descendant made from a key).
template <typename Item>
class THashListOf : public THashList {
 public:
  using THashList::THashList;
  Item* Find(TStringView key) { return static_cast<Item*>(THashList::Find(key)); }
  Item* FindOrAdd(TStringView key, bool* added = nullptr) {
    return static_cast<Item*>(THashList::FindOrAdd(key, added));
  }

 protected:
  std::unique_ptr<TKeyItem> CreateItem(TString key) override { return std::make_unique<Item>(std::move(key)); }
};

}  // namespace zel
