// The message queue of a worker thread: any thread posts (asynchronous) or
// sends (the sender waits) messages; the worker hands them to its handler
// when its loop calls Process.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/event_list.h"
#include "core/sync.h"

namespace zel {

class TThreadEventList;

// One queued message. A posted message owns its payload; a sent one only
// points at the sender's and carries the event the sender waits on.
class TMessageItem : public TRefObj {
 public:
  TMessageItem(uint32_t code, std::unique_ptr<TObj> owned) : Code(code), fOwned(std::move(owned)) {}
  TMessageItem(uint32_t code, TObj* borrowed) : Code(code), fBorrowed(borrowed), Done(std::in_place, true, false) {}

  TObj* Payload() const { return fOwned ? fOwned.get() : fBorrowed; }
  bool IsSent() const { return Done.has_value(); }

  const uint32_t Code;

 private:
  std::unique_ptr<TObj> fOwned;
  TObj* fBorrowed = nullptr;

 public:
  // Set when a sent message has been handled or the queue closed.
  std::optional<TEvent> Done;
  // A handler had the message (rather than the queue closing on it).
  std::atomic<bool> Delivered{false};
};

class TThreadEventList : public TPostEventList {
 public:
  // The handler of each message: the queue it came from, its code, whether
  // the handler took care of it (false: it is fired on the queue's own event
  // list instead), and the payload.
  using THandler = std::function<void(TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload)>;

  explicit TThreadEventList(THandler handler = nullptr, int bucketCount = kDefaultBuckets);
  ~TThreadEventList() override;

  void SetHandler(THandler handler) { fHandler = std::move(handler); }

  // On a closed queue the payload is freed at once.
  void Post(uint32_t code, std::unique_ptr<TObj> payload) override;
  // Waits until the message was handled, or the queue closed. On a closed
  // queue it returns at once. The payload stays the caller's. Never send to
  // the queue of the calling thread: it would wait for itself.
  void Send(uint32_t code, TObj* payload) override { SendWait(code, payload); }
  // Send that tells whether the message reached the handler: false when the
  // queue was or became closed before it did.
  bool SendWait(uint32_t code, TObj* payload);

  // Hands every waiting message to the handler, oldest first, on the calling
  // thread; returns how many were handled. Stops when the queue closes.
  int Process();
  // Releases every waiting sender and frees the waiting posted payloads;
  // later posts free their payload, later sends return at once.
  void Close();
  bool Closed();
  int PendingCount();

 protected:
  // Called after each append: sent is true for a Send. The owner may wake
  // its thread here; by default messages wait for the next loop pass.
  virtual void WakeUp(bool sent) { (void)sent; }

 private:
  bool Append(const TRef<TMessageItem>& item);

  THandler fHandler;
  TSafeCriticalSection fLock;
  // Gone once the queue is closed.
  std::unique_ptr<std::deque<TRef<TMessageItem>>> fItems;
};

}  // namespace zel
