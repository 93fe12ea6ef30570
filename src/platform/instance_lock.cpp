#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/hash_list.h"
#include "core/strings.h"
#include "platform/paths.h"

namespace zel {

std::string InstanceLockName(std::string_view playerPath) {
  const std::string folder = ExtractFileDir(playerPath);
  const std::string name = ExtractFileName(playerPath);
  std::string text = "Instance_ID";
  text += std::to_string(ElfHash(Utf8ToString(playerPath)));
  text += std::to_string(ElfHash(Utf8ToString(folder)));
  text += std::to_string(ElfHash(Utf8ToString(name)));
  text += name;
  return text;
}

std::string InstanceLockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime ? runtime : "/tmp";
}

TInstanceLock::TInstanceLock(std::string_view playerPath, std::string folder)
    : fFileName(JoinPath(folder, InstanceLockName(playerPath))) {
  fHandle = ::open(fFileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fHandle < 0) return;
  int rc;
  do {
    rc = ::flock(fHandle, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  fOwned = rc == 0;
}

TInstanceLock::~TInstanceLock() {
  if (fHandle < 0) return;
  // The file stays: removing it would let a third instance lock a new file
  // while a second still waits on the old one.
  if (fOwned) ::flock(fHandle, LOCK_UN);
  ::close(fHandle);
}

}  // namespace zel
