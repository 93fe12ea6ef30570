#include "app/multi_timer.h"

#include <algorithm>
#include <limits>

#include "app/application.h"
#include "app/timer.h"
#include "core/tick_count.h"

namespace zel {

TMultiTimer::TMultiTimer(TApplication& application) : fApplication(application) {
  HookManager().Hook(fApplication.ApplicationWindow(), {kTimerMessage},
                     TMsgHandler::Of<&TMultiTimer::OnTimerMessage>(this));
}

TMultiTimer::~TMultiTimer() {
  if (!fEntries.empty()) {
    ReportAssertion("Error: TMultiTimer destroyed with entries left", __FILE__, __LINE__);
    for (TMultiTimerEvent* entry : fEntries) {
      entry->Removed = true;
      entry->_Release();
    }
  }
  fApplication.Timers().Kill(this);
  HookManager().Unhook(fApplication.ApplicationWindow(), {kTimerMessage},
                       TMsgHandler::Of<&TMultiTimer::OnTimerMessage>(this));
}

void TMultiTimer::Arm(int64_t inMs, int64_t now) {
  const int64_t interval = std::clamp<int64_t>(inMs, 1, std::numeric_limits<int32_t>::max());
  fApplication.Timers().Set(this, static_cast<uint32_t>(interval));
  fArmed = true;
  fArmedDue = now + interval;
}

TMultiTimerEvent* TMultiTimer::Add(int32_t intervalMs, intptr_t tag, TMultiTimerHandler handler, void* data) {
  if (intervalMs < 1 || !handler) return nullptr;
  const uint64_t now = TickCount();
  auto* entry = new TMultiTimerEvent(intervalMs, tag, std::move(handler), data, now);
  entry->CheckConstructed(typeid(TMultiTimerEvent));
  fEntries.push_back(entry);
  if (!fArmed || entry->NextDue < fArmedDue) Arm(intervalMs, static_cast<int64_t>(now));
  return entry;
}

void TMultiTimer::Remove(TMultiTimerEvent* entry) {
  const auto it = std::find(fEntries.begin(), fEntries.end(), entry);
  if (it == fEntries.end()) return;
  fEntries.erase(it);
  entry->Removed = true;
  if (fEntries.empty()) {
    fApplication.Timers().Kill(this);
    fArmed = false;
  }
  entry->_Release();
}

void TMultiTimer::Tick() {
  const auto now = static_cast<int64_t>(TickCount());
  // Held while handled, so a handler may remove any entry, its own included.
  std::vector<TRef<TMultiTimerEvent>> entries;
  entries.reserve(fEntries.size());
  for (TMultiTimerEvent* entry : fEntries) entries.emplace_back(entry);

  int64_t smallest = std::numeric_limits<int64_t>::max();
  for (const auto& entry : entries) {
    if (entry->Removed) continue;
    if (entry->NextDue - now <= 0) {
      // The number of periods up to the first due time after now.
      const int64_t steps = (now - entry->NextDue) / entry->Interval + 1;
      entry->NextDue += steps * entry->Interval;
      entry->Missed = steps - 1;
      entry->Total += steps;
      entry->Handler(*entry, entry->Data);
    }
    if (!entry->Removed) smallest = std::min(smallest, entry->NextDue - now);
  }
  // The shared timer next fires when the nearest entry falls due.
  if (fEntries.empty()) {
    fApplication.Timers().Kill(this);
    fArmed = false;
  } else if (smallest != std::numeric_limits<int64_t>::max()) {
    Arm(smallest, now);
  }
}

bool TMultiTimer::OnTimerMessage(TVxMessage& message) {
  if (message.WParam != reinterpret_cast<uintptr_t>(this)) return false;
  Tick();
  return true;
}

TMultiTimerEvent* MultiTimerAdd(int32_t intervalMs, intptr_t tag, TMultiTimerHandler handler, void* data) {
  TApplication* application = Application();
  if (!application) throw ETimerError("No application for the multi-timer");
  return application->MultiTimer().Add(intervalMs, tag, std::move(handler), data);
}

void MultiTimerRemove(TMultiTimerEvent* entry) {
  TApplication* application = Application();
  if (!application) throw ETimerError("No application for the multi-timer");
  application->MultiTimer().Remove(entry);
}

}  // namespace zel
