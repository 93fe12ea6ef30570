#include "app/session_manager.h"

#include <memory>
#include <mutex>

#include "app/application.h"

namespace zel {

TSessionManager& TSessionManager::Instance() {
  static std::mutex lock;
  static std::unique_ptr<TSessionManager> instance;
  std::lock_guard guard(lock);
  if (!instance) {
    ZEL_ASSERT(Application() != nullptr, "WinApllication not Initializaed");
    instance.reset(new TSessionManager());
  }
  return *instance;
}

bool IsSessionLocked() { return TSessionManager::Instance().Locked(); }

}  // namespace zel
