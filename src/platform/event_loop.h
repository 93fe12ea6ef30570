// The interface thread's native message queue on SDL: system events from
// SDL and private messages that any thread may post.
//
// Private messages live in a queue of our own, so a flood of them can never
// fill SDL's fixed-size event queue, and a post wakes the waiting thread at
// once. While SDL's video subsystem is up (windows exist), the wait is
// SDL's own, and a post also pushes one registered SDL user event to wake it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace zel {

struct TNativeMessage {
  // An SDL event type for system events, else a private message number.
  uint32_t Message = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  // The SDL_Event of a system event (valid until the next wait), else null.
  const void* Event = nullptr;
};

class TEventLoop {
 public:
  static constexpr int kNoTimeLimit = -1;

  // Brings up SDL's event subsystem (no display needed) on the calling
  // thread, which becomes the thread that waits.
  TEventLoop();
  ~TEventLoop();
  TEventLoop(const TEventLoop&) = delete;
  TEventLoop& operator=(const TEventLoop&) = delete;

  // Waits up to timeoutMs (kNoTimeLimit: without limit) for the next
  // message; false when the time ran out. Private messages come first.
  bool Wait(TNativeMessage& out, int timeoutMs);
  // The next message without waiting; false when there is none.
  bool Poll(TNativeMessage& out) { return Wait(out, 0); }

  // Queues a private message; callable from any thread. An urgent one goes
  // before every private message already waiting.
  void PostPrivate(uint32_t message, uintptr_t wParam, intptr_t lParam, bool urgent = false);
  // Drops every waiting private message with this number.
  void DiscardPrivate(uint32_t message);
  size_t PendingPrivate();

  // Lets go of a mouse capture, as after a handler failed mid-drag.
  static void ReleaseMouseCapture();

 private:
  struct TPrivate {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  bool TakePrivate(TNativeMessage& out);
  // One SDL event, without waiting or up to waitMs; false when none came.
  bool TakeSystem(TNativeMessage& out, int waitMs);

  std::mutex fLock;
  std::condition_variable fPosted;
  std::deque<TPrivate> fPrivate;
  // An SDL wake-up event is in SDL's queue and not yet taken.
  bool fWakePending = false;
  // Storage of the last system event handed out.
  std::unique_ptr<unsigned char[]> fEvent;
};

}  // namespace zel
