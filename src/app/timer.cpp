#include "app/timer.h"

#include "app/application.h"

namespace zel {

TCustomWinTimer::~TCustomWinTimer() { Disarm(); }

void TCustomWinTimer::SetEnabled(bool enabled) {
  fEnabled = enabled;
  UpdateTimer();
}

void TCustomWinTimer::SetInterval(uint32_t intervalMs) {
  fInterval = intervalMs;
  UpdateTimer();
}

void TCustomWinTimer::SetOnTimer(THandler handler) {
  fOnTimer = std::move(handler);
  UpdateTimer();
}

void TCustomWinTimer::Timer() {
  if (fOnTimer) fOnTimer(*this);
}

void TCustomWinTimer::Disarm() {
  if (!fArmedOn) return;
  // The application this timer was armed on may be gone already.
  if (Application() == fArmedOn) {
    fArmedOn->Timers().Kill(this);
    HookManager().Unhook(fArmedOn->ApplicationWindow(), {kTimerMessage},
                         TMsgHandler::Of<&TCustomWinTimer::OnTimerMessage>(this));
  }
  fArmedOn = nullptr;
}

void TCustomWinTimer::UpdateTimer() {
  Disarm();
  if (fInterval == 0 || !fEnabled || !fOnTimer) return;
  TApplication* application = Application();
  if (!application || !application->Timers().Set(this, fInterval)) throw ETimerError("Timer could not be armed");
  HookManager().Hook(application->ApplicationWindow(), {kTimerMessage},
                     TMsgHandler::Of<&TCustomWinTimer::OnTimerMessage>(this));
  fArmedOn = application;
}

bool TCustomWinTimer::OnTimerMessage(TVxMessage& message) {
  if (message.WParam != reinterpret_cast<uintptr_t>(this)) return false;
  Timer();
  return true;
}

}  // namespace zel
