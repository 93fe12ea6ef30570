// A single periodic timer of the interface thread with an enabled switch,
// an interval and a handler; every change re-arms it.
#pragma once

#include <cstdint>
#include <functional>

#include "app/hook_manager.h"
#include "core/exceptions.h"
#include "core/obj.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(ETimerError, TCommonException);

class TApplication;

class TCustomWinTimer : public TObj {
 public:
  using THandler = std::function<void(TCustomWinTimer& timer)>;

  TCustomWinTimer() = default;
  ~TCustomWinTimer() override;
  TCustomWinTimer(const TCustomWinTimer&) = delete;
  TCustomWinTimer& operator=(const TCustomWinTimer&) = delete;

  bool Enabled() const { return fEnabled; }
  uint32_t Interval() const { return fInterval; }
  // Each raises ETimerError when the timer cannot be armed (no application).
  void SetEnabled(bool enabled);
  void SetInterval(uint32_t intervalMs);
  void SetOnTimer(THandler handler);
  // Armed on the application's timers now.
  bool Armed() const { return fArmedOn != nullptr; }

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  void Disarm();
  bool OnTimerMessage(TVxMessage& message);

  bool fEnabled = false;
  uint32_t fInterval = 1000;
  THandler fOnTimer;
  TApplication* fArmedOn = nullptr;
};

class TTimer : public TCustomWinTimer {};

}  // namespace zel
