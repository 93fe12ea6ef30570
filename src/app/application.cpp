#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/multi_timer.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/tick_count.h"

namespace zel {

namespace {

std::atomic<TApplication*> gApplication{nullptr};

// The private message that tells the interface thread an event is queued.
uint32_t QueueMessageNumber() {
  static const uint32_t message = HookManager().NamedMessage(u"TWinAppEventList");
  return message;
}

}  // namespace

TApplication* Application() { return gApplication.load(std::memory_order_acquire); }

TApplication::TApplication()
    : TPostEventList(kBuckets), fThreadId(CurrentThreadId()), fQueueMessage(QueueMessageNumber()) {
  TApplication* expected = nullptr;
  ZEL_ASSERT(gApplication.compare_exchange_strong(expected, this), "Error: a second application object");
  HookManager().Hook(ApplicationWindow(), {fQueueMessage}, TMsgHandler::Of<&TApplication::OnQueueMessage>(this));
}

TApplication::~TApplication() {
  if (!fFinalised) {
    ReportAssertion("Application MUST be finalesed before destroy!", __FILE__, __LINE__);
    // Still let every waiting sender go and free what the queue owns.
    CloseQueue();
  }
  fMultiTimer.reset();
  HookManager().UnhookWindow(ApplicationWindow());
  TApplication* self = this;
  gApplication.compare_exchange_strong(self, nullptr);
}

// ---------------------------------------------------------------------------
// The loop.

void TApplication::Run() {
  while (!fTerminated) {
    const auto due = fTimers.NextDueIn(TickCount());
    const int timeout = due ? static_cast<int>(std::min<uint64_t>(*due, 0x7FFFFFFF)) : TEventLoop::kNoTimeLimit;
    TNativeMessage message;
    const bool got = fLoop.Wait(message, timeout);
    try {
      if (got && message.Event == nullptr && message.Message == kQuitMessage) {
        fTerminated = true;
        break;
      }
      if (got) Dispatch(message);
      FireDueTimers();
    } catch (const std::exception& e) {
      HandleException(&e);
    } catch (...) {
      HandleException(nullptr);
    }
  }
  Fire(this, kAppTerminatingEvent, nullptr);
  Finalise();
}

void TApplication::ProcessMessages() {
  try {
    FireDueTimers();
  } catch (const std::exception& e) {
    HandleException(&e);
  } catch (...) {
    HandleException(nullptr);
  }
  TNativeMessage message;
  while (fLoop.Poll(message)) {
    if (message.Event == nullptr && message.Message == kQuitMessage) {
      fTerminated = true;
      return;
    }
    try {
      Dispatch(message);
    } catch (const std::exception& e) {
      HandleException(&e);
    } catch (...) {
      HandleException(nullptr);
    }
  }
}

void TApplication::Terminate() { fLoop.PostPrivate(kQuitMessage, 0, 0); }

void TApplication::Dispatch(const TNativeMessage& native) {
  TVxMessage message{native.Message, native.WParam, native.LParam, native.Event, 0};
  HookManager().Dispatch(ApplicationWindow(), message);
}

void TApplication::FireDueTimers() {
  for (const void* id : fTimers.TakeDue(TickCount())) {
    // A handler may have killed a later timer meanwhile.
    if (!fTimers.IsSet(id)) continue;
    TVxMessage message{kTimerMessage, reinterpret_cast<uintptr_t>(id), 0, nullptr, 0};
    HookManager().Dispatch(ApplicationWindow(), message);
  }
}

void TApplication::HandleException(const std::exception* e) {
  TEventLoop::ReleaseMouseCapture();
  if (fExceptionHandler) {
    fExceptionHandler(e);
    return;
  }
  const std::string text = e ? ExceptionClassName(*e) + ": " + e->what() : std::string("unknown exception");
  Log().Write("Exception in the interface thread: " + text);
  std::fprintf(stderr, "Exception in the interface thread: %s\n", text.c_str());
}

// ---------------------------------------------------------------------------
// Handing events to the interface thread.

void TApplication::Post(TEventId id, std::unique_ptr<TObj> payload) {
  uint64_t serial;
  {
    std::lock_guard lock(fQueueLock);
    // A closed queue drops the payload: it is freed when this returns.
    if (fQueueClosed) return;
    serial = ++fNextSerial;
    fQueue.push_back(MakeRef<TEventItem>(id, serial, std::move(payload)));
  }
  fLoop.PostPrivate(fQueueMessage, 0, static_cast<intptr_t>(serial));
  fWakeUp.Set();
}

void TApplication::Send(TEventId id, TObj* payload) {
  if (IsInterfaceThread()) {
    {
      std::lock_guard lock(fQueueLock);
      if (fQueueClosed) return;
    }
    Fire(this, id, payload);
    return;
  }
  TRef<TEventItem> item;
  {
    std::lock_guard lock(fQueueLock);
    if (fQueueClosed) return;
    item = MakeRef<TEventItem>(id, ++fNextSerial, payload);
    // Ahead of every posted event, as a sent message is.
    fQueue.push_front(item);
  }
  fLoop.PostPrivate(fQueueMessage, 0, static_cast<intptr_t>(item->Serial), true);
  fWakeUp.Set();
  item->Done->Wait(kInfinite);
}

bool TApplication::OnQueueMessage(TVxMessage& message) {
  const auto serial = static_cast<uint64_t>(message.LParam);
  TRef<TEventItem> item;
  {
    std::lock_guard lock(fQueueLock);
    for (auto it = fQueue.begin(); it != fQueue.end(); ++it) {
      if ((*it)->Serial != serial) continue;
      item = std::move(*it);
      fQueue.erase(it);
      break;
    }
  }
  // Finalise fires what is queued without waiting for the messages, so
  // there a message may find its item gone.
  if (!item) {
    ZEL_ASSERT(fFinalising || fFinalised, "Error: queued event item not found");
    return true;
  }
  FireItem(item);
  return true;
}

void TApplication::FireItem(const TRef<TEventItem>& item) {
  // The sender is let go even when a handler fails.
  struct TRelease {
    const TRef<TEventItem>& item;
    ~TRelease() {
      if (item->IsSent()) item->Done->Set();
    }
  } release{item};
  Fire(this, item->Id, item->Payload());
}

void TApplication::FireQueued() {
  for (;;) {
    TRef<TEventItem> item;
    {
      std::lock_guard lock(fQueueLock);
      if (fQueue.empty()) return;
      item = std::move(fQueue.front());
      fQueue.pop_front();
    }
    try {
      FireItem(item);
    } catch (const std::exception& e) {
      HandleException(&e);
    } catch (...) {
      HandleException(nullptr);
    }
  }
}

void TApplication::CloseQueue() {
  std::deque<TRef<TEventItem>> dropped;
  {
    std::lock_guard lock(fQueueLock);
    fQueueClosed = true;
    dropped.swap(fQueue);
  }
  for (const auto& item : dropped) {
    if (item->IsSent()) item->Done->Set();
  }
  fLoop.DiscardPrivate(fQueueMessage);
  // Posted payloads are freed as dropped goes, outside the lock.
}

int TApplication::PendingEvents() {
  std::lock_guard lock(fQueueLock);
  return static_cast<int>(fQueue.size());
}

// ---------------------------------------------------------------------------
// Busy objects and the shut-down barrier.

void TApplication::RegisterBusyObject(TObj* object) {
  std::lock_guard lock(fBusyLock);
  if (!fBusy) fBusy = std::make_unique<TList>();
  fBusy->Add(object);
}

void TApplication::UnregisterBusyObject(TObj* object) {
  bool found;
  {
    std::lock_guard lock(fBusyLock);
    found = fBusy && fBusy->Remove(object) >= 0;
    if (fBusy && fBusy->Count() == 0) fBusy.reset();
  }
  // Finalise may be waiting for exactly this.
  fWakeUp.Set();
  ZEL_ASSERT(found, "Error: unregistering an object that is not busy");
}

int TApplication::BusyCount() {
  std::lock_guard lock(fBusyLock);
  return fBusy ? fBusy->Count() : 0;
}

void TApplication::Finalise() {
  if (fFinalised) return;
  fFinalising = true;
  const uint64_t start = TickCount();
  bool timedOut = false;
  for (;;) {
    if (TickCount() - start >= kFinaliseTimeoutMs) {
      timedOut = true;
      break;
    }
    FireQueued();
    if (BusyCount() == 0) break;
    Clock().WaitFor(fWakeUp, kFinaliseWaitMs);
    fWakeUp.Reset();
  }
  CloseQueue();
  fFinalised = true;
  fFinalising = false;
  if (timedOut) {
    ReportAssertion("Application finalisation timed out: busy objects did not finish", __FILE__, __LINE__);
    std::fflush(nullptr);
    std::_Exit(fExitCode);
  }
}

TMultiTimer& TApplication::MultiTimer() {
  if (!fMultiTimer) fMultiTimer = std::make_unique<TMultiTimer>(*this);
  return *fMultiTimer;
}

}  // namespace zel
