// The publish-and-subscribe event list: handlers subscribe to 32-bit event
// identifiers and run, oldest subscription first, when the identifier fires.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "core/sync.h"

namespace zel {

using TEventId = uint32_t;

// A handler: a function and the object it works on. Two handlers are the same
// when both parts are, which is how unsubscribing finds a subscription.
struct TEventHandler {
  using TCode = void (*)(void* object, TObj* sender, TEventId id, TObj* param);

  TCode Code = nullptr;
  void* Object = nullptr;

  // The handler that calls object->*Method(sender, id, param).
  template <auto Method, typename T>
  static TEventHandler Of(T* object) {
    return {[](void* self, TObj* sender, TEventId id, TObj* param) {
              (static_cast<T*>(self)->*Method)(sender, id, param);
            },
            object};
  }

  void operator()(TObj* sender, TEventId id, TObj* param) const { Code(Object, sender, id, param); }
  explicit operator bool() const { return Code != nullptr; }
  bool operator==(const TEventHandler& other) const { return Code == other.Code && Object == other.Object; }
};

// One subscription, a link of its bucket's chain.
class TEventListItem : public TRefObj {
 public:
  TEventListItem(TEventId id, TEventHandler handler) : Id(id), Handler(handler) {}

  TEventListItem* Next = nullptr;
  const TEventId Id;
  const TEventHandler Handler;
  // Set when the subscription is removed, so that a fire already under way
  // skips it.
  std::atomic<bool> Removed{false};
};

class TEventList : public TObj {
 public:
  static constexpr int kDefaultBuckets = 16;
  static constexpr int kMaxBuckets = 4096;

  // The bucket count is clamped to 1..4096; identifiers handed out by
  // NewId start after firstId.
  explicit TEventList(int bucketCount = kDefaultBuckets, int32_t firstId = 0);
  ~TEventList() override;
  TEventList(const TEventList&) = delete;
  TEventList& operator=(const TEventList&) = delete;

  int BucketCount() const { return fBucketCount; }

  // The next value of the identifier counter.
  virtual TEventId NewId();
  // The newest subscription goes to the head of its bucket's chain.
  virtual void Subscribe(TEventId id, TEventHandler handler);
  // Removes the first subscription of id with this handler; false when none.
  virtual bool Unsubscribe(TEventId id, TEventHandler handler);
  // Calls every handler subscribed to id, oldest first. The lock is not held
  // while handlers run, so a handler may subscribe, unsubscribe (itself or
  // others: a removed subscription that has not run yet does not run) and
  // fire again.
  virtual void Fire(TObj* sender, TEventId id, TObj* param);
  // Releases every subscription.
  virtual void Clear();

  // A fresh identifier with handler subscribed to it.
  TEventId NewEvent(TEventHandler handler);
  // How many subscriptions id has (for diagnostics and tests).
  int SubscriptionCount(TEventId id);

 protected:
  // Collects, under the lock, first and every later subscription of id in
  // its chain, each held by a reference, in chain order (newest first).
  virtual void CollectChain(TEventListItem* first, TEventId id, std::vector<TRef<TEventListItem>>& out);
  virtual TEventListItem* BucketHead(TEventId id);
  virtual void SetBucketHead(TEventId id, TEventListItem* head);

 private:
  size_t BucketOf(TEventId id) const { return id % static_cast<uint32_t>(fBucketCount); }

  const int fBucketCount;
  // Grows only as far as the highest bucket used.
  std::vector<TEventListItem*> fBuckets;
  TCriticalSection fLock;
  TInterlockedCounter fIdCounter;
};

// An event list that can also hand events to another thread: Post returns at
// once and the queue owns the payload; Send waits until the event has fired
// and the payload stays the caller's.
class TPostEventList : public TEventList {
 public:
  using TEventList::TEventList;
  virtual void Post(TEventId id, std::unique_ptr<TObj> payload) = 0;
  virtual void Send(TEventId id, TObj* payload) = 0;
};

}  // namespace zel
