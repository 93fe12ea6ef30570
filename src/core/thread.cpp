#include "core/thread.h"

#include <cstdio>

#include "core/log.h"

namespace zel {

namespace {

std::string Hex(uint32_t value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", width, value);
  return text;
}

}  // namespace

void ReportThreadException(const std::exception* e) {
  const std::string what = e ? ExceptionClassName(*e) + ": " + e->what() : std::string("unknown exception");
  const std::string line = "#" + Hex(CurrentThreadId(), 4) + " Thread Exception at: " + what;
  Log().Write(line);
  std::fprintf(stderr, "\a%s\nApplication Error: %s\n", line.c_str(), what.c_str());
}

TThread::~TThread() {
  if (fThread.joinable()) Stop();
}

void TThread::Start() {
  if (fThread.joinable()) {
    ZEL_ASSERT(!Running(), "Error: TThread.Start on a running thread");
    fThread.join();
  }
  fState = std::make_shared<TState>();
  fThread = std::thread(&TThread::Run, this, fState);
}

void TThread::Run(TThread* self, std::shared_ptr<TState> state) {
  state->threadId = CurrentThreadId();
  {
    std::lock_guard lock(state->lock);
    state->started = true;
  }
  state->changed.notify_all();
  try {
    self->Execute();
  } catch (const EAbort&) {
    // Silent by design.
  } catch (const std::exception& e) {
    ReportThreadException(&e);
  } catch (...) {
    ReportThreadException(nullptr);
  }
  {
    std::lock_guard lock(state->lock);
    state->finished = true;
  }
  state->changed.notify_all();
}

void TThread::Terminate() {
  if (fState) fState->terminated.store(true, std::memory_order_release);
}

bool TThread::Running() const {
  if (!fState) return false;
  std::lock_guard lock(fState->lock);
  return fState->started && !fState->finished;
}

bool TThread::WaitFor(uint32_t timeoutMs) {
  if (!fState) return true;
  std::unique_lock lock(fState->lock);
  const auto ended = [&] { return fState->finished; };
  if (timeoutMs == kInfinite) {
    fState->changed.wait(lock, ended);
  } else if (!fState->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
    return false;
  }
  lock.unlock();
  if (fThread.joinable()) fThread.join();
  return true;
}

void TThread::Stop(uint32_t timeoutMs) {
  Terminate();
  if (WaitFor(timeoutMs)) return;
  Log().Write("#" + Hex(ThreadId(), 4) + " Thread did not end within " + std::to_string(timeoutMs) +
              " ms; left running detached");
  if (fThread.joinable()) fThread.detach();
}

}  // namespace zel
