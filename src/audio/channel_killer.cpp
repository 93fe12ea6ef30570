#include "audio/channel_killer.h"

#include <mutex>

#include "audio/channel.h"
#include "audio/music_channel.h"
#include "core/clock.h"
#include "core/log.h"

namespace zel {

void TMusicEventList::WakeUp(bool sent) {
  (void)sent;
  if (fWake) fWake->Set();
}

TChannelKiller::TChannelKiller() {
  fQueue.SetHandler([this](TThreadEventList*, uint32_t code, bool& handled, TObj* payload) {
    Handle(code, payload);
    handled = true;
  });
  fQueue.SetWakeEvent(&fWake);
}

TChannelKiller::~TChannelKiller() {
  if (Running()) Shutdown();
  fQueue.Close();
}

void TChannelKiller::Add(TMusicChannel* instance) {
  fQueue.Post(kMsgAdd, std::make_unique<TAddChannelData>(instance));
}

void TChannelKiller::WithoutFreeing(const std::function<void()>& action) {
  std::lock_guard lock(fFreeLock);
  action();
}

bool TChannelKiller::Shutdown() {
  fQueue.Post(kMsgEnd, nullptr);
  fWake.Set();
  // Waits in real time: the loop ends on the message, whatever the clock.
  const bool ended = WaitFor(kShutdownWaitMs);
  if (!ended) Log().Write("Channel killer did not end in time");
  return ended;
}

void TChannelKiller::Handle(uint32_t code, TObj* payload) {
  if (code == kMsgEnd) {
    fQueue.StopHandling.store(true, std::memory_order_release);
  } else if (code == kMsgAdd) {
    if (auto* data = dynamic_cast<TAddChannelData*>(payload)) {
      fWaiting.push_back(data->Instance);
      fWaitingCount.store(static_cast<int>(fWaiting.size()), std::memory_order_release);
    }
  }
}

void TChannelKiller::Execute() {
  while (!Terminated()) {
    fQueue.Process();
    if (fQueue.StopHandling.load(std::memory_order_acquire)) break;
    if (!fWaiting.empty()) {
      FreeDue();
      Clock().Sleep(kPassMs);
    } else {
      Clock().WaitFor(fWake, kIdleWaitMs);
      fWake.Reset();
    }
  }
  // The owners wait for their instances before they go, so none may remain;
  // those that do are left alone (their owners may be gone).
  if (!fWaiting.empty()) ReportAssertion("", __FILE__, __LINE__);
  fWaiting.clear();
  fWaitingCount.store(0, std::memory_order_release);
}

void TChannelKiller::FreeDue() {
  std::lock_guard lock(fFreeLock);
  const uint64_t now = Clock().Milliseconds();
  for (size_t i = fWaiting.size(); i-- > 0;) {
    TMusicChannel* instance = fWaiting[i];
    if (!instance->DueToFree(now)) continue;
    fWaiting.erase(fWaiting.begin() + static_cast<std::ptrdiff_t>(i));
    Free(instance);
  }
  fWaitingCount.store(static_cast<int>(fWaiting.size()), std::memory_order_release);
}

void TChannelKiller::Free(TMusicChannel* instance) {
  try {
    if (TChannelMusic* owner = instance->Owner()) {
      owner->FreeInstance(instance);
    } else {
      // Given up by its file channel: nobody else holds it.
      delete instance;
    }
  } catch (const std::exception& e) {
    Log().Write(std::string("Channel killer: ") + e.what());
  }
}

namespace {

std::mutex gKillerLock;
TChannelKiller* gKiller = nullptr;

}  // namespace

TChannelKiller& ChannelKiller() {
  std::lock_guard lock(gKillerLock);
  if (!gKiller) {
    gKiller = new TChannelKiller();
    gKiller->Start();
  }
  return *gKiller;
}

void ShutdownChannelKiller() {
  std::lock_guard lock(gKillerLock);
  if (!gKiller) return;
  // A thread that did not end still uses its object: that one is left.
  if (gKiller->Shutdown()) delete gKiller;
  gKiller = nullptr;
}

}  // namespace zel
