#include "platform/event_loop.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/obj.h"
#include "core/tick_count.h"

namespace zel {

namespace {

// Without windows nothing but other code and signals puts events into SDL's
// queue, so it is looked at this often while the thread waits.
constexpr int kSystemPollMs = 20;

// Registered once per process: SDL never hands the number back.
uint32_t WakeEventType() {
  static const uint32_t type = SDL_RegisterEvents(1);
  return type;
}

bool VideoUp() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

}  // namespace

TEventLoop::TEventLoop() : fEvent(new unsigned char[sizeof(SDL_Event)]) {
  // The process keeps its own SIGINT and SIGTERM handling (temporary folders).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  ZEL_ASSERT(SDL_InitSubSystem(SDL_INIT_EVENTS) == 0, "Error: SDL event subsystem");
  ZEL_ASSERT(WakeEventType() != static_cast<uint32_t>(-1), "Error: SDL user event");
  SDL_FlushEvent(WakeEventType());
}

TEventLoop::~TEventLoop() {
  SDL_FlushEvent(WakeEventType());
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

void TEventLoop::PostPrivate(uint32_t message, uintptr_t wParam, intptr_t lParam, bool urgent) {
  bool pushWake = false;
  {
    std::lock_guard lock(fLock);
    if (urgent) {
      fPrivate.push_front({message, wParam, lParam});
    } else {
      fPrivate.push_back({message, wParam, lParam});
    }
    if (VideoUp() && !fWakePending) pushWake = fWakePending = true;
  }
  fPosted.notify_one();
  if (pushWake) {
    SDL_Event wake{};
    wake.type = WakeEventType();
    // A refused push (full SDL queue) only delays the message until the next
    // system event or poll: the message itself is safe in our queue.
    if (SDL_PushEvent(&wake) != 1) {
      std::lock_guard lock(fLock);
      fWakePending = false;
    }
  }
}

void TEventLoop::DiscardPrivate(uint32_t message) {
  std::lock_guard lock(fLock);
  std::erase_if(fPrivate, [&](const TPrivate& p) { return p.message == message; });
}

size_t TEventLoop::PendingPrivate() {
  std::lock_guard lock(fLock);
  return fPrivate.size();
}

bool TEventLoop::TakePrivate(TNativeMessage& out) {
  std::lock_guard lock(fLock);
  if (fPrivate.empty()) return false;
  const TPrivate p = fPrivate.front();
  fPrivate.pop_front();
  out = {p.message, p.wParam, p.lParam, nullptr};
  return true;
}

bool TEventLoop::TakeSystem(TNativeMessage& out, int waitMs) {
  auto* event = reinterpret_cast<SDL_Event*>(fEvent.get());
  const int got = waitMs > 0 ? SDL_WaitEventTimeout(event, waitMs) : SDL_PollEvent(event);
  if (!got) return false;
  if (event->type == WakeEventType()) {
    std::lock_guard lock(fLock);
    fWakePending = false;
    out = {};
    return false;
  }
  out = {event->type, 0, 0, event};
  return true;
}

bool TEventLoop::Wait(TNativeMessage& out, int timeoutMs) {
  const uint64_t start = TickCount();
  for (;;) {
    if (TakePrivate(out)) return true;
    if (TakeSystem(out, 0)) return true;
    int remaining = kSystemPollMs;
    if (timeoutMs != kNoTimeLimit) {
      const uint64_t elapsed = TickCount() - start;
      if (elapsed >= static_cast<uint64_t>(timeoutMs)) return false;
      remaining = static_cast<int>(static_cast<uint64_t>(timeoutMs) - elapsed);
    }
    if (VideoUp()) {
      // SDL's own wait: woken by window events and by our wake-up event.
      if (TakeSystem(out, remaining)) return true;
    } else {
      // Slices, so that SDL's queue is looked at and a clock that moves by
      // other means than real time is read again.
      std::unique_lock lock(fLock);
      fPosted.wait_for(lock, std::chrono::milliseconds(std::min(remaining, kSystemPollMs)),
                       [&] { return !fPrivate.empty(); });
    }
  }
}

void TEventLoop::ReleaseMouseCapture() {
  if (VideoUp()) SDL_CaptureMouse(SDL_FALSE);
}

}  // namespace zel
