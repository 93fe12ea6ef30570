#include "app/event_list.h"

#include <algorithm>
#include <mutex>

namespace zel {

TEventList::TEventList(int bucketCount, int32_t firstId)
    : fBucketCount(std::clamp(bucketCount, 1, kMaxBuckets)), fIdCounter(firstId) {}

TEventList::~TEventList() { Clear(); }

TEventId TEventList::NewId() { return static_cast<TEventId>(fIdCounter.Increment()); }

TEventListItem* TEventList::BucketHead(TEventId id) {
  const size_t bucket = BucketOf(id);
  return bucket < fBuckets.size() ? fBuckets[bucket] : nullptr;
}

void TEventList::SetBucketHead(TEventId id, TEventListItem* head) {
  const size_t bucket = BucketOf(id);
  if (bucket >= fBuckets.size()) fBuckets.resize(bucket + 1, nullptr);
  fBuckets[bucket] = head;
}

void TEventList::Subscribe(TEventId id, TEventHandler handler) {
  ZEL_ASSERT(static_cast<bool>(handler), "Error: TEventList.Subscribe without a handler");
  auto* item = new TEventListItem(id, handler);
  item->CheckConstructed(typeid(TEventListItem));
  std::lock_guard lock(fLock);
  item->Next = BucketHead(id);
  SetBucketHead(id, item);
}

bool TEventList::Unsubscribe(TEventId id, TEventHandler handler) {
  TEventListItem* found = nullptr;
  {
    std::lock_guard lock(fLock);
    TEventListItem* previous = nullptr;
    for (TEventListItem* item = BucketHead(id); item; previous = item, item = item->Next) {
      if (item->Id != id || !(item->Handler == handler)) continue;
      if (previous) {
        previous->Next = item->Next;
      } else {
        SetBucketHead(id, item->Next);
      }
      item->Next = nullptr;
      item->Removed.store(true, std::memory_order_release);
      found = item;
      break;
    }
  }
  // Released outside the lock: a fire under way may still hold it.
  if (found) found->_Release();
  return found != nullptr;
}

void TEventList::CollectChain(TEventListItem* first, TEventId id, std::vector<TRef<TEventListItem>>& out) {
  for (TEventListItem* item = first; item; item = item->Next) {
    if (item->Id == id) out.emplace_back(item);
  }
}

void TEventList::Fire(TObj* sender, TEventId id, TObj* param) {
  // Newest first in the chain; run from the far end so that the oldest
  // subscription runs first. A list rather than recursion down the chain,
  // so that long chains cannot exhaust the stack.
  std::vector<TRef<TEventListItem>> chain;
  {
    std::lock_guard lock(fLock);
    TEventListItem* first = BucketHead(id);
    while (first && first->Id != id) first = first->Next;
    if (!first) return;
    CollectChain(first, id, chain);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if ((*it)->Removed.load(std::memory_order_acquire)) continue;
    (*it)->Handler(sender, id, param);
  }
}

void TEventList::Clear() {
  std::vector<TEventListItem*> released;
  {
    std::lock_guard lock(fLock);
    for (TEventListItem*& head : fBuckets) {
      for (TEventListItem* item = head; item;) {
        TEventListItem* next = item->Next;
        item->Next = nullptr;
        item->Removed.store(true, std::memory_order_release);
        released.push_back(item);
        item = next;
      }
      head = nullptr;
    }
    fBuckets.clear();
  }
  for (TEventListItem* item : released) item->_Release();
}

TEventId TEventList::NewEvent(TEventHandler handler) {
  const TEventId id = NewId();
  Subscribe(id, handler);
  return id;
}

int TEventList::SubscriptionCount(TEventId id) {
  std::lock_guard lock(fLock);
  int count = 0;
  for (TEventListItem* item = BucketHead(id); item; item = item->Next) count += item->Id == id;
  return count;
}

}  // namespace zel
