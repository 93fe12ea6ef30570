#include "core/sync.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "core/obj.h"

namespace zel {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

// ---------------------------------------------------------------------------

TMutex::TMutex() {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  const int rc = pthread_mutex_init(&fMutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  ZEL_ASSERT(rc == 0, "Error: TMutex.Create");
}

TMutex::~TMutex() { pthread_mutex_destroy(&fMutex); }

TWaitResult TMutex::Wait(uint32_t timeoutMs) {
  int rc;
  if (timeoutMs == kInfinite) {
    rc = pthread_mutex_lock(&fMutex);
  } else if (timeoutMs == 0) {
    rc = pthread_mutex_trylock(&fMutex);
  } else {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    rc = pthread_mutex_clocklock(&fMutex, CLOCK_MONOTONIC, &deadline);
  }
  switch (rc) {
    case 0: return TWaitResult::Signaled;
    case EOWNERDEAD:
      // The owner died holding the lock: it is ours now, and usable again.
      pthread_mutex_consistent(&fMutex);
      return TWaitResult::Abandoned;
    case EBUSY:
    case ETIMEDOUT: return TWaitResult::Timeout;
    default: return TWaitResult::Failed;
  }
}

void TMutex::Release() { pthread_mutex_unlock(&fMutex); }

// ---------------------------------------------------------------------------

void TSafeCriticalSection::Enter() {
  const TWaitResult result = fMutex.Wait(kInfinite);
  ZEL_ASSERT(result == TWaitResult::Signaled || result == TWaitResult::Abandoned, "Error: TSafeCriticalSection.Enter");
}

// ---------------------------------------------------------------------------

void TEvent::Set() {
  {
    std::lock_guard lock(fLock);
    fSignaled = true;
  }
  if (fManualReset) {
    fChanged.notify_all();
  } else {
    fChanged.notify_one();
  }
}

void TEvent::Reset() {
  std::lock_guard lock(fLock);
  fSignaled = false;
}

bool TEvent::Wait(uint32_t timeoutMs) {
  std::unique_lock lock(fLock);
  const auto isSet = [&] { return fSignaled; };
  bool set;
  if (timeoutMs == kInfinite) {
    fChanged.wait(lock, isSet);
    set = true;
  } else {
    set = fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet);
  }
  if (set && !fManualReset) fSignaled = false;
  return set;
}

}  // namespace zel
