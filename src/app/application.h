// The application object: one per process. It owns the interface thread's
// message loop, hands events from any thread to the interface thread (Post
// returns at once, Send waits until the event has fired), keeps the timers
// of the interface thread, and holds the shut-down barrier that waits for
// busy objects before the process ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/event_list.h"
#include "app/hook_manager.h"
#include "app/window_timers.h"
#include "core/list.h"
#include "core/strings.h"
#include "core/sync.h"
#include "platform/event_loop.h"

namespace zel {

class TMultiTimer;

// Fired on the application's event list when the loop ends, before Finalise.
constexpr TEventId kAppTerminatingEvent = 0;

// An event on its way to the interface thread. A posted event owns its
// payload; a sent one only points at the sender's and carries the event the
// sender waits on.
class TEventItem : public TRefObj {
 public:
  TEventItem(TEventId id, uint64_t serial, std::unique_ptr<TObj> owned)
      : Id(id), Serial(serial), fOwned(std::move(owned)) {}
  TEventItem(TEventId id, uint64_t serial, TObj* borrowed)
      : Id(id), Serial(serial), fBorrowed(borrowed), Done(std::in_place, true, false) {}

  TObj* Payload() const { return fOwned ? fOwned.get() : fBorrowed; }
  bool IsSent() const { return Done.has_value(); }

  const TEventId Id;
  const uint64_t Serial;

 private:
  std::unique_ptr<TObj> fOwned;
  TObj* fBorrowed = nullptr;

 public:
  std::optional<TEvent> Done;
};

class TApplication : public TPostEventList {
 public:
  static constexpr int kBuckets = 4096;
  static constexpr uint64_t kFinaliseTimeoutMs = 30000;
  static constexpr uint32_t kFinaliseWaitMs = 100;

  ~TApplication() override;

  // The interface thread is the one that made the application.
  bool IsInterfaceThread() const { return CurrentThreadId() == fThreadId; }

  // The message loop: until Terminate, waits for messages and timers and
  // dispatches them; then fires kAppTerminatingEvent and finalises.
  void Run();
  // Ends the loop; callable from any thread.
  void Terminate();
  bool Terminated() const { return fTerminated; }
  // Handles every waiting message and due timer without blocking; stops
  // early at the quit message (and sets Terminated).
  void ProcessMessages();

  // Hands an event to the interface thread, where it fires with the payload
  // as parameter and the payload is then freed. After Finalise the payload
  // is freed at once and nothing fires. Any thread; events fire in the
  // order they were posted.
  void Post(TEventId id, std::unique_ptr<TObj> payload) override;
  // Fires the event on the interface thread and waits for it; made on the
  // interface thread itself it fires at once. The payload stays the
  // caller's. Never send while holding a lock an interface handler takes.
  void Send(TEventId id, TObj* payload) override;

  // Objects that may still deliver events; Finalise waits for them.
  void RegisterBusyObject(TObj* object);
  void UnregisterBusyObject(TObj* object);
  int BusyCount();

  // The shut-down barrier: fires queued events until no busy object is left,
  // waking at least every 100 ms, for at most 30 seconds; then closes the
  // queue. When time runs out the failure is reported and the process ends
  // at once with ExitCode.
  void Finalise();
  bool Finalised() const { return fFinalised; }

  // An exception that escaped a message handler: the mouse capture is let go
  // and the exception shown (by the handler installed, else in the log).
  void HandleException(const std::exception* e);
  using TExceptionHandler = std::function<void(const std::exception* e)>;
  void SetExceptionHandler(TExceptionHandler handler) { fExceptionHandler = std::move(handler); }

  // What stands for the application's own window in hooks and timers.
  const void* ApplicationWindow() const { return this; }
  TWindowTimers& Timers() { return fTimers; }
  // The shared multi-timer, made on first use.
  TMultiTimer& MultiTimer();

  int ExitCode() const { return fExitCode; }
  void SetExitCode(int code) { fExitCode = code; }

  // How many events wait for the interface thread.
  int PendingEvents();

 protected:
  TApplication();

 private:
  void Dispatch(const TNativeMessage& message);
  bool OnQueueMessage(TVxMessage& message);
  void FireDueTimers();
  // Fires one item taken from the queue and lets its sender go.
  void FireItem(const TRef<TEventItem>& item);
  void FireQueued();
  void CloseQueue();

  const uint32_t fThreadId;
  const uint32_t fQueueMessage;
  TEventLoop fLoop;
  TWindowTimers fTimers;

  // The queue of events for the interface thread.
  TCriticalSection fQueueLock;
  std::deque<TRef<TEventItem>> fQueue;
  bool fQueueClosed = false;
  uint64_t fNextSerial = 0;
  // Set whenever something is queued: Finalise waits on it.
  TEvent fWakeUp{true, false};

  TCriticalSection fBusyLock;
  std::unique_ptr<TList> fBusy;

  std::atomic<bool> fTerminated{false};
  bool fFinalising = false;
  bool fFinalised = false;
  int fExitCode = 0;
  TExceptionHandler fExceptionHandler;
  std::unique_ptr<TMultiTimer> fMultiTimer;
};

// The toolkit's application: the one the player makes.
class TVxApplication final : public TApplication {
 public:
  TVxApplication() = default;

  const TString& Title() const { return fTitle; }
  void SetTitle(TStringView title) { fTitle = TString(title); }

 private:
  TString fTitle;
};

// The application object, or null when there is none.
TApplication* Application();

}  // namespace zel
