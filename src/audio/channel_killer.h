// The channel killer: one worker thread for the whole process that frees
// playing instances once their last queued samples have sounded, so that
// stopping a sound never waits for the device.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/thread_event_list.h"
#include "core/obj.h"
#include "core/sync.h"
#include "core/thread.h"

namespace zel {

class TMusicChannel;

// The killer's message queue: the flag tells the loop to stop handling.
class TMusicEventList : public TThreadEventList {
 public:
  explicit TMusicEventList(THandler handler = nullptr) : TThreadEventList(std::move(handler)) {}
  // Wakes the killer when a message arrives.
  void SetWakeEvent(TEvent* event) { fWake = event; }

  std::atomic<bool> StopHandling{false};

 protected:
  void WakeUp(bool sent) override;

 private:
  TEvent* fWake = nullptr;
};

// One instance handed to the killer.
class TAddChannelData : public TObj {
 public:
  explicit TAddChannelData(TMusicChannel* instance) : Instance(instance) {}
  TMusicChannel* const Instance;
};

class TChannelKiller : public TThread {
 public:
  static constexpr uint32_t kMsgEnd = 1025;
  static constexpr uint32_t kMsgAdd = 1026;
  // The pause between passes while instances wait, and the longest idle wait.
  static constexpr uint32_t kPassMs = 10;
  static constexpr uint32_t kIdleWaitMs = 100;
  static constexpr uint32_t kShutdownWaitMs = 1000;

  TChannelKiller();
  ~TChannelKiller() override;

  // Hands an instance over; it is freed once its scheduled end has passed.
  void Add(TMusicChannel* instance);
  // Runs action while no instance is being freed (a file channel that gives
  // up its instances changes their owner under it).
  void WithoutFreeing(const std::function<void()>& action);
  // Ends the loop: posts the end message, wakes the thread and waits up to
  // kShutdownWaitMs. True when the thread ended.
  bool Shutdown();
  // Instances waiting (the killer thread's count, for tests).
  int WaitingCount() const { return fWaitingCount.load(std::memory_order_acquire); }

 protected:
  void Execute() override;

 private:
  void Handle(uint32_t code, TObj* payload);
  // Frees every waiting instance whose end has passed, last to first.
  void FreeDue();
  void Free(TMusicChannel* instance);

  TMusicEventList fQueue;
  TEvent fWake{true, false};
  // Held while instances are freed.
  TCriticalSection fFreeLock;
  // Touched only by the killer thread.
  std::vector<TMusicChannel*> fWaiting;
  std::atomic<int> fWaitingCount{0};
};

// The process's killer, made (and started) on first use, and again after a
// shutdown.
TChannelKiller& ChannelKiller();
// Ends the killer thread (at process end); nothing when there is none.
void ShutdownChannelKiller();

}  // namespace zel
