// Many timed callbacks on one shared timer of the interface thread. Each
// entry keeps its own due time on the millisecond counter; a tick that came
// late tells the entry how many of its periods were lost.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/hook_manager.h"
#include "core/obj.h"

namespace zel {

class TApplication;
class TMultiTimerEvent;

using TMultiTimerHandler = std::function<void(TMultiTimerEvent& entry, void* data)>;

class TMultiTimerEvent : public TRefObj {
 public:
  TMultiTimerEvent(int32_t interval, intptr_t tag, TMultiTimerHandler handler, void* data, uint64_t now)
      : Interval(interval), Tag(tag), Handler(std::move(handler)), Data(data), CreationTime(now),
        NextDue(static_cast<int64_t>(now) + interval) {}

  const int32_t Interval;
  const intptr_t Tag;
  const TMultiTimerHandler Handler;
  void* const Data;
  // Periods lost before the last call (0 when it came on time).
  int64_t Missed = 0;
  // Periods delivered in all, lost ones included.
  int64_t Total = 0;
  const uint64_t CreationTime;
  int64_t NextDue;
  bool Removed = false;
};

class TMultiTimer : public TObj {
 public:
  explicit TMultiTimer(TApplication& application);
  // Every entry must have been removed by now.
  ~TMultiTimer() override;
  TMultiTimer(const TMultiTimer&) = delete;
  TMultiTimer& operator=(const TMultiTimer&) = delete;

  // Null when the interval is below 1 or there is no handler. The entry
  // stays valid until it is removed.
  TMultiTimerEvent* Add(int32_t intervalMs, intptr_t tag, TMultiTimerHandler handler, void* data);
  // Releases the entry; the shared timer stops with the last one. A handler
  // may remove its own entry or others.
  void Remove(TMultiTimerEvent* entry);
  int Count() const { return static_cast<int>(fEntries.size()); }

  // One pass over the entries at the millisecond counter's now: each entry
  // that is due is called once and moved to its next due time in the future.
  void Tick();

 private:
  bool OnTimerMessage(TVxMessage& message);
  void Arm(int64_t inMs, int64_t now);

  TApplication& fApplication;
  std::vector<TMultiTimerEvent*> fEntries;
  bool fArmed = false;
  int64_t fArmedDue = 0;
};

// The application's shared multi-timer; both raise ETimerError when there is
// no application.
TMultiTimerEvent* MultiTimerAdd(int32_t intervalMs, intptr_t tag, TMultiTimerHandler handler, void* data = nullptr);
void MultiTimerRemove(TMultiTimerEvent* entry);

}  // namespace zel
