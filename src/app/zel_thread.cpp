#include "app/zel_thread.h"

#include <system_error>

#include "core/log.h"

namespace zel {

TZelThread::TZelThread() {
  fQueue.SetHandler([this](TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload) {
    HandleMessage(sender, code, handled, payload);
  });
}

TZelThread::~TZelThread() { Stop(); }

void TZelThread::HandleMessage(TThreadEventList*, uint32_t, bool&, TObj*) {}

bool TZelThread::Start() {
  try {
    TThread::Start();
    fStarted = true;
  } catch (const std::system_error& e) {
    Log().Write(std::string("Thread start failed: ") + e.what());
    fStarted = false;
  }
  return fStarted;
}

void TZelThread::Stop() {
  if (!fStarted) return;
  TThread::Stop(kInfinite);
  fStarted = false;
}

void TZelThread::Terminate() {
  fQueue.Close();
  TThread::Terminate();
}

void TZelThread::Execute() {
  OnStart();
  try {
    while (!Terminated()) LoopStep();
  } catch (...) {
    // The thread ends; nobody will handle its queue any more, so a sender
    // waiting on it must not wait for ever.
    fQueue.Close();
    throw;
  }
  try {
    OnStop();
  } catch (const std::exception& e) {
    Log().Write(std::string("Thread stop handler failed: ") + e.what());
  } catch (...) {
    Log().Write("Thread stop handler failed");
  }
  fQueue.Close();
}

}  // namespace zel
