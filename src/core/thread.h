// A worker thread with a body, a terminate flag and waiting with a time-out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "core/obj.h"
#include "core/sync.h"

namespace zel {

class TThread : public TObj {
 public:
  static constexpr uint32_t kStopTimeoutMs = 3000;

  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Stops a thread that still runs (see Stop). A class whose body uses its
  // own members must call Stop in its own destructor, before those members
  // are gone.
  ~TThread() override;

  // Starts the operating-system thread; a thread that ran before may be
  // started again once it has ended.
  void Start();
  // Only raises the terminate flag; the body polls Terminated().
  virtual void Terminate();
  bool Terminated() const noexcept { return fState && fState->terminated.load(std::memory_order_acquire); }
  // The thread has started and not yet ended.
  bool Running() const;
  // Waits for the thread to start and then to end; true when it has ended
  // (or never started) within the time-out.
  bool WaitFor(uint32_t timeoutMs = kInfinite);
  // Terminate, then wait up to timeoutMs. A thread that does not end in
  // time cannot be killed here: it is reported and left to run detached.
  void Stop(uint32_t timeoutMs = kStopTimeoutMs);

  uint32_t ThreadId() const noexcept { return fState ? fState->threadId.load() : 0; }

 protected:
  // The thread body.
  virtual void Execute() = 0;

 private:
  // What the running thread touches after its body: it outlives this object
  // when a thread is left detached.
  struct TState {
    std::atomic<bool> terminated{false};
    std::atomic<uint32_t> threadId{0};
    std::mutex lock;
    std::condition_variable changed;
    bool started = false;
    bool finished = false;
  };

  static void Run(TThread* self, std::shared_ptr<TState> state);

  std::shared_ptr<TState> fState;
  std::thread fThread;
};

// Writes the report of an exception that left a thread body: the thread id
// and "Thread Exception at: " with the exception's class and message to the
// log and stderr, then the "Application Error" report.
void ReportThreadException(const std::exception* e);

}  // namespace zel
