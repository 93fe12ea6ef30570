// The millisecond counter and sleeping, behind one interface so that tests
// can run timers, fades and clocks in virtual time.
//
// Everything that reads the time (TickCount) or waits a while goes through
// Clock(). The system clock is in place unless a test installs another.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/sync.h"

namespace zel {

class TClock {
 public:
  virtual ~TClock() = default;
  // Milliseconds of a monotonic counter.
  virtual uint64_t Milliseconds() = 0;
  // Gives up the processor for about ms milliseconds.
  virtual void Sleep(uint32_t ms) = 0;
  // Waits up to timeoutMs for the event; true when it was set. Auto-reset
  // events are reset by a successful wait, as TEvent::Wait does.
  virtual bool WaitFor(TEvent& event, uint32_t timeoutMs) = 0;
};

// The operating system's monotonic clock with real sleeping.
class TSystemClock final : public TClock {
 public:
  uint64_t Milliseconds() override;
  void Sleep(uint32_t ms) override;
  bool WaitFor(TEvent& event, uint32_t timeoutMs) override;
};

// A clock whose time moves only when told to. With auto-advance, sleeping
// and waits that time out move it by their duration at once (for
// single-threaded tests: every sleep counts, whichever thread makes it).
// Without it, sleeping and timed waits only yield the processor for at most
// a millisecond of real time, so loops on other threads keep turning while
// the test decides when time passes.
class TVirtualClock final : public TClock {
 public:
  explicit TVirtualClock(uint64_t start = 0, bool autoAdvance = false) : fNow(start), fAutoAdvance(autoAdvance) {}

  uint64_t Milliseconds() override { return fNow.load(std::memory_order_acquire); }
  void Sleep(uint32_t ms) override;
  bool WaitFor(TEvent& event, uint32_t timeoutMs) override;

  void Advance(uint64_t ms) { fNow.fetch_add(ms, std::memory_order_acq_rel); }
  void Set(uint64_t now) { fNow.store(now, std::memory_order_release); }
  bool AutoAdvance() const { return fAutoAdvance; }

 private:
  std::atomic<uint64_t> fNow;
  const bool fAutoAdvance;
};

// The clock in use.
TClock& Clock();
// Installs a clock (not owned; it must outlive its use) and returns the
// previous one; null puts the system clock back.
TClock* SetClock(TClock* clock);

// Sleeps on the clock in use.
inline void SleepMs(uint32_t ms) { Clock().Sleep(ms); }

// Installs a clock for the life of a scope and then restores the previous.
class TClockOverride {
 public:
  explicit TClockOverride(TClock& clock) : fPrevious(SetClock(&clock)) {}
  ~TClockOverride() { SetClock(fPrevious); }
  TClockOverride(const TClockOverride&) = delete;
  TClockOverride& operator=(const TClockOverride&) = delete;

 private:
  TClock* fPrevious;
};

}  // namespace zel
