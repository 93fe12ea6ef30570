#include "core/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zel {

uint64_t TSystemClock::Milliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TSystemClock::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool TSystemClock::WaitFor(TEvent& event, uint32_t timeoutMs) { return event.Wait(timeoutMs); }

// ---------------------------------------------------------------------------

void TVirtualClock::Sleep(uint32_t ms) {
  if (fAutoAdvance) {
    Advance(ms);
    std::this_thread::yield();
  } else if (ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } else {
    std::this_thread::yield();
  }
}

bool TVirtualClock::WaitFor(TEvent& event, uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) return event.Wait(kInfinite);
  if (fAutoAdvance) {
    if (event.Wait(0)) return true;
    Advance(timeoutMs);
    return false;
  }
  return event.Wait(std::min<uint32_t>(timeoutMs, 1));
}

// ---------------------------------------------------------------------------

namespace {

// Constant-initialised, so TickCount works during static initialisation.
std::atomic<TClock*> gClock{nullptr};

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace

TClock& Clock() {
  TClock* clock = gClock.load(std::memory_order_acquire);
  return clock ? *clock : SystemClock();
}

TClock* SetClock(TClock* clock) {
  TClock* previous = gClock.exchange(clock, std::memory_order_acq_rel);
  return previous ? previous : &SystemClock();
}

}  // namespace zel
