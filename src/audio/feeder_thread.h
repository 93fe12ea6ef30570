// The feeder thread of an output buffer: it runs a start step once, then a
// periodic step whenever it is woken and at least every 100 ms, until it is
// told to quit.
#pragma once

#include <cstdint>
#include <functional>

#include "core/sync.h"
#include "core/thread.h"

namespace zel {

class TDSEventThread : public TThread {
 public:
  static constexpr uint32_t kPeriodMs = 100;
  static constexpr uint32_t kQuitTimeoutMs = 1000;

  // Made suspended: nothing runs before Resume.
  TDSEventThread(std::function<void()> startStep, std::function<void()> periodicStep);
  // Quits (see Quit).
  ~TDSEventThread() override;

  void Resume();
  // Runs the periodic step soon.
  void Wake();
  // Sets the quit event and waits up to kQuitTimeoutMs; a thread that does
  // not end in time is reported and then waited for until it ends (its
  // step uses what its owner is about to free). False when it was late.
  bool Quit();

 protected:
  void Execute() override;

 private:
  std::function<void()> fStartStep;
  std::function<void()> fPeriodicStep;
  TEvent fQuit{false, false};
  TEvent fWake{false, false};
};

}  // namespace zel
