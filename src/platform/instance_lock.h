// The single-instance test: a lock file named after the player, held with
// flock for the life of the process. Another player started from the same
// file finds it taken.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// "Instance_ID" followed by the hashes of the player's full path, of its
// folder and of its file name (decimal, one after the other) and the file name.
std::string InstanceLockName(std::string_view playerPath);

// The folder the lock files live in: $XDG_RUNTIME_DIR, else /tmp.
std::string InstanceLockFolder();

class TInstanceLock {
 public:
  // Opens (creating when needed) the lock file and tries to take it.
  explicit TInstanceLock(std::string_view playerPath, std::string folder = InstanceLockFolder());
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  // True when this process holds the lock.
  bool Owned() const { return fOwned; }
  // Another instance holds the lock (a lock file that cannot be opened at
  // all counts as no other instance).
  bool AnotherInstanceRunning() const { return fHandle >= 0 && !fOwned; }
  const std::string& FileName() const { return fFileName; }

 private:
  std::string fFileName;
  int fHandle = -1;
  bool fOwned = false;
};

}  // namespace zel
