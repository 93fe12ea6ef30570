// Fuzz entry point for the package reader: any bytes, opened as a show
// package, must give a ready package or a refusal, and every entry of a
// ready one must read (or fail with a stream or inflation error) without
// crashing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/z_streams.h"
#include "package/zel_unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("zel-package-fuzz", 0);
  if (fd < 0) return 0;
  size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  {
    zel::TZelUnpack package(name);
    package.SetInflateLimit(16 << 20);  // a crafted entry must not take all memory
    if (package.Ready()) {
      std::vector<uint8_t> buffer(4096);
      for (const auto& entry : package.EntryNames()) {
        try {
          auto stream = package.OpenEntry(entry);
          if (!stream) continue;
          int64_t total = 0;
          int32_t n;
          while ((n = stream->Read(buffer)) > 0 && total < (64 << 20)) total += n;
        } catch (const zel::EStreamError&) {
        } catch (const zel::EZLibError&) {
        }
      }
    }
  }
  close(fd);
  return 0;
}
