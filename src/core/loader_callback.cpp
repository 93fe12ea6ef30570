#include "core/loader_callback.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "core/exceptions.h"

namespace zel {

namespace {

std::mutex gLock;
std::shared_ptr<TProgressCallback> gCallback;
// Read on every chunk: without a hook the call costs one atomic load.
std::atomic<bool> gInstalled{false};
thread_local const std::atomic<bool>* tStopFlag = nullptr;

std::shared_ptr<TProgressCallback> Current() {
  std::lock_guard lock(gLock);
  return gCallback;
}

}  // namespace

void SetLoaderCallback(TProgressCallback callback) {
  auto next = callback ? std::make_shared<TProgressCallback>(std::move(callback)) : nullptr;
  std::lock_guard lock(gLock);
  gInstalled.store(next != nullptr, std::memory_order_release);
  gCallback = std::move(next);
}

bool LoaderCallbackInstalled() { return Current() != nullptr; }

void SetThreadStopFlag(const std::atomic<bool>* flag) { tStopFlag = flag; }

bool ThreadStopRequested() { return tStopFlag && tStopFlag->load(std::memory_order_acquire); }

void CallLoaderCallback() {
  if (ThreadStopRequested()) throw EAbort();
  if (!gInstalled.load(std::memory_order_acquire)) return;
  if (const auto callback = Current()) (*callback)();
}

TProgressCallback LoaderProgress() { return [] { CallLoaderCallback(); }; }

}  // namespace zel
