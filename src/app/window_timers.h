// The timer source of the interface thread: periodic timers, each known by
// an identifier, that the application's loop turns into timer messages.
// Like the system timers they stand in for, a timer that fell behind fires
// once, not once per lost period; the multi-timer counts what was lost.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zel {

class TWindowTimers {
 public:
  // (Re)arms a timer: first due interval ms from now. False when the
  // interval is 0.
  bool Set(const void* id, uint32_t intervalMs);
  // False when there was no such timer.
  bool Kill(const void* id);
  bool IsSet(const void* id) const;
  size_t Count() const { return fTimers.size(); }

  // Milliseconds until the earliest timer falls due (0 when one is due);
  // nothing when no timer is set.
  std::optional<uint64_t> NextDueIn(uint64_t now) const;
  // The identifiers of the timers due at now, in the order they were set;
  // each is re-armed one interval after now.
  std::vector<const void*> TakeDue(uint64_t now);

 private:
  struct TEntry {
    const void* id;
    uint32_t interval;
    uint64_t due;
  };
  std::vector<TEntry> fTimers;
};

}  // namespace zel
