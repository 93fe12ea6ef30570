#include "core/loader_callback.h"

#include <memory>
#include <mutex>

namespace zel {

namespace {

std::mutex gLock;
std::shared_ptr<TProgressCallback> gCallback;

std::shared_ptr<TProgressCallback> Current() {
  std::lock_guard lock(gLock);
  return gCallback;
}

}  // namespace

void SetLoaderCallback(TProgressCallback callback) {
  auto next = callback ? std::make_shared<TProgressCallback>(std::move(callback)) : nullptr;
  std::lock_guard lock(gLock);
  gCallback = std::move(next);
}

bool LoaderCallbackInstalled() { return Current() != nullptr; }

void CallLoaderCallback() {
  if (const auto callback = Current()) (*callback)();
}

TProgressCallback LoaderProgress() { return [] { CallLoaderCallback(); }; }

}  // namespace zel
