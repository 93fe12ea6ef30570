#include "app/thread_event_list.h"

#include <mutex>

#include "core/log.h"

namespace zel {

TThreadEventList::TThreadEventList(THandler handler, int bucketCount)
    : TPostEventList(bucketCount), fHandler(std::move(handler)),
      fItems(std::make_unique<std::deque<TRef<TMessageItem>>>()) {}

TThreadEventList::~TThreadEventList() { Close(); }

bool TThreadEventList::Append(const TRef<TMessageItem>& item) {
  std::lock_guard lock(fLock);
  if (!fItems) return false;
  fItems->push_back(item);
  return true;
}

void TThreadEventList::Post(uint32_t code, std::unique_ptr<TObj> payload) {
  // Checked and appended under one lock, so the payload is either queued or
  // freed here (when the item is dropped), never both.
  if (!Append(MakeRef<TMessageItem>(code, std::move(payload)))) return;
  WakeUp(false);
}

bool TThreadEventList::SendWait(uint32_t code, TObj* payload) {
  auto item = MakeRef<TMessageItem>(code, payload);
  if (!Append(item)) return false;
  WakeUp(true);
  item->Done->Wait(kInfinite);
  return item->Delivered.load(std::memory_order_acquire);
}

int TThreadEventList::Process() {
  int handled = 0;
  for (;;) {
    TRef<TMessageItem> item;
    {
      std::lock_guard lock(fLock);
      if (!fItems || fItems->empty()) break;
      item = std::move(fItems->front());
      fItems->pop_front();
    }
    try {
      bool done = false;
      if (fHandler) fHandler(this, item->Code, done, item->Payload());
      if (!done) Fire(this, item->Code, item->Payload());
    } catch (const EAbort&) {
      // Silent by design.
    } catch (const std::exception& e) {
      Log().Write("Message " + std::to_string(item->Code) + " handler failed: " + ExceptionClassName(e) + ": " +
                  e.what());
    } catch (...) {
      Log().Write("Message " + std::to_string(item->Code) + " handler failed");
    }
    if (item->IsSent()) {
      item->Delivered.store(true, std::memory_order_release);
      item->Done->Set();
    }
    ++handled;
  }
  return handled;
}

void TThreadEventList::Close() {
  std::unique_ptr<std::deque<TRef<TMessageItem>>> items;
  {
    std::lock_guard lock(fLock);
    items = std::move(fItems);
    if (!items) return;
    for (const auto& item : *items) {
      if (item->IsSent()) item->Done->Set();
    }
  }
  // Posted payloads are freed here, outside the lock: their destructors may
  // post again (to a queue that now frees at once).
}

bool TThreadEventList::Closed() {
  std::lock_guard lock(fLock);
  return !fItems;
}

int TThreadEventList::PendingCount() {
  std::lock_guard lock(fLock);
  return fItems ? static_cast<int>(fItems->size()) : 0;
}

}  // namespace zel
