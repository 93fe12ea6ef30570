// Locks, events and counters shared by the engine, the slide loader and the
// sound code.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zel {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// The operating-system id of the calling thread.
uint32_t CurrentThreadId();

// A plain recursive lock.
class TCriticalSection {
 public:
  void Enter() { fLock.lock(); }
  bool TryEnter() { return fLock.try_lock(); }
  void Leave() { fLock.unlock(); }
  // For std::lock_guard and std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex fLock;
};

enum class TWaitResult { Signaled, Abandoned, Timeout, Failed };

// A recursive mutex that can be taken with a time-out and that tells when
// its owner died while holding it (the lock is then taken all the same).
class TMutex {
 public:
  TMutex();
  ~TMutex();
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  TWaitResult Wait(uint32_t timeoutMs = kInfinite);
  void Release();

 private:
  pthread_mutex_t fMutex;
};

// A lock on a mutex, so that a lock abandoned by a dead thread is still
// acquired rather than blocking for ever.
class TSafeCriticalSection {
 public:
  void Enter();
  void Leave() { fMutex.Release(); }
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  TMutex fMutex;
};

// An event, reset by hand or automatically on a successful wait.
class TEvent {
 public:
  explicit TEvent(bool manualReset = true, bool initialState = false)
      : fManualReset(manualReset), fSignaled(initialState) {}
  void Set();
  void Reset();
  // True when the event was set within the time-out.
  bool Wait(uint32_t timeoutMs = kInfinite);

 private:
  std::mutex fLock;
  std::condition_variable fChanged;
  const bool fManualReset;
  bool fSignaled;
};

// A 32-bit counter changed atomically.
class TInterlockedCounter {
 public:
  explicit TInterlockedCounter(int32_t value = 0) : fValue(value) {}
  int32_t Increment() { return fValue.fetch_add(1, std::memory_order_acq_rel) + 1; }
  int32_t Decrement() { return fValue.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  int32_t Add(int32_t delta) { return fValue.fetch_add(delta, std::memory_order_acq_rel) + delta; }
  int32_t Exchange(int32_t value) { return fValue.exchange(value, std::memory_order_acq_rel); }
  int32_t Value() const { return fValue.load(std::memory_order_acquire); }

 private:
  std::atomic<int32_t> fValue;
};

}  // namespace zel
