#include "platform/temp_folders.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "core/obj.h"

namespace zel {

namespace {

std::mutex gLock;
std::vector<std::string>& MadeFolders() {
  static std::vector<std::string> folders;
  return folders;
}

void RemoveAll() {
  std::vector<std::string> folders;
  {
    std::lock_guard lock(gLock);
    folders.swap(MadeFolders());
  }
  for (const auto& folder : folders) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
}

extern "C" void RemoveOnSignal(int signalNumber) {
  // Best effort on the way out: the default action follows at once.
  RemoveAll();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void InstallCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(RemoveAll);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction current {};
      sigaction(s, nullptr, &current);
      // Leave a handler that someone else installed alone.
      if (current.sa_handler == SIG_DFL) std::signal(s, RemoveOnSignal);
    }
  });
}

}  // namespace

std::string NewGuidText() {
  static std::mutex lock;
  static std::mt19937_64 generator{std::random_device{}()};
  uint64_t hi, lo;
  {
    std::lock_guard guard(lock);
    hi = generator();
    lo = generator();
  }
  // Version 4, variant 1.
  hi = (hi & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;
  lo = (lo & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(hi >> 32),
                static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
  return text;
}

std::string TemporaryRoot() {
  static const std::string root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && *tmp ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
  }();
  struct stat st {};
  ZEL_ASSERT(::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode), "Temp Path not Found");
  return root;
}

std::string MakeTemporaryFolder(bool trailingSeparator) {
  InstallCleanup();
  const std::string root = TemporaryRoot();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = root + "[" + NewGuidText() + "]";
    if (::mkdir(folder.c_str(), 0700) != 0) continue;  // exists already, or cannot be made: a new GUID
    {
      std::lock_guard lock(gLock);
      MadeFolders().push_back(folder);
    }
    return trailingSeparator ? folder + "/" : folder;
  }
  AssertionFailed("Cannot create a temporary folder in " + root, __FILE__, __LINE__);
}

void RemoveTemporaryFolders() { RemoveAll(); }

}  // namespace zel
