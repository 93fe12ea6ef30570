#include "audio/feeder_thread.h"

#include <string>
#include <utility>

#include "core/clock.h"
#include "core/log.h"

namespace zel {

namespace {

// Runs a step; a step that raises is written to the log (a failure that
// repeats only once) and the feeder goes on, so one bad refill does not
// silence the buffer.
void RunStep(const std::function<void()>& step, std::string& lastError) {
  if (!step) return;
  try {
    step();
  } catch (const std::exception& e) {
    const std::string text = ExceptionClassName(e) + ": " + e.what();
    if (text != lastError) Log().Write("TDSEventThread step failed: " + text);
    lastError = text;
  } catch (...) {
    const std::string text = "unknown exception";
    if (text != lastError) Log().Write("TDSEventThread step failed: " + text);
    lastError = text;
  }
}

}  // namespace

TDSEventThread::TDSEventThread(std::function<void()> startStep, std::function<void()> periodicStep)
    : fStartStep(std::move(startStep)), fPeriodicStep(std::move(periodicStep)) {}

TDSEventThread::~TDSEventThread() { Quit(); }

void TDSEventThread::Resume() {
  if (Running()) return;
  Start();
}

void TDSEventThread::Wake() { fWake.Set(); }

bool TDSEventThread::Quit() {
  Terminate();
  fQuit.Set();
  // Cuts the wait short.
  fWake.Set();
  if (WaitFor(kQuitTimeoutMs)) return true;
  ReportAssertion("TDSEventThread did not end in time", __FILE__, __LINE__);
  // A thread cannot be killed here, and the step it is in uses its
  // buffer: it is waited for, however long, rather than left to run on
  // freed memory.
  WaitFor(kInfinite);
  return false;
}

void TDSEventThread::Execute() {
  std::string lastError;
  // A quit that came before the thread started.
  if (Terminated() || fQuit.Wait(0)) return;
  RunStep(fStartStep, lastError);
  for (;;) {
    // Woken or timed out, either way a periodic step is due.
    Clock().WaitFor(fWake, kPeriodMs);
    if (Terminated() || fQuit.Wait(0)) return;
    RunStep(fPeriodicStep, lastError);
  }
}

}  // namespace zel
