#include "app/window_timers.h"

#include <algorithm>

#include "core/tick_count.h"

namespace zel {

bool TWindowTimers::Set(const void* id, uint32_t intervalMs) {
  if (intervalMs == 0) return false;
  const uint64_t due = TickCount() + intervalMs;
  for (TEntry& entry : fTimers) {
    if (entry.id == id) {
      entry.interval = intervalMs;
      entry.due = due;
      return true;
    }
  }
  fTimers.push_back({id, intervalMs, due});
  return true;
}

bool TWindowTimers::Kill(const void* id) {
  return std::erase_if(fTimers, [&](const TEntry& entry) { return entry.id == id; }) > 0;
}

bool TWindowTimers::IsSet(const void* id) const {
  return std::any_of(fTimers.begin(), fTimers.end(), [&](const TEntry& entry) { return entry.id == id; });
}

std::optional<uint64_t> TWindowTimers::NextDueIn(uint64_t now) const {
  std::optional<uint64_t> best;
  for (const TEntry& entry : fTimers) {
    const uint64_t in = entry.due > now ? entry.due - now : 0;
    if (!best || in < *best) best = in;
  }
  return best;
}

std::vector<const void*> TWindowTimers::TakeDue(uint64_t now) {
  std::vector<const void*> due;
  for (TEntry& entry : fTimers) {
    if (entry.due > now) continue;
    due.push_back(entry.id);
    entry.due = now + entry.interval;
  }
  return due;
}

}  // namespace zel
