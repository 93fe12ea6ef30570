#include "imaging/pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace zel {

namespace {
constexpr size_t kMapThreshold = size_t{4} << 20;
constexpr size_t kHugePage = size_t{2} << 20;
}  // namespace

TPixelMemory::TPixelMemory(size_t size) : fSize(size) {
  if (size >= kMapThreshold) {
    // Room to start on a huge-page boundary.
    fMappingSize = (size + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
    void* mapping = mmap(nullptr, fMappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping != MAP_FAILED) {
      fMapping = mapping;
      const auto address = reinterpret_cast<uintptr_t>(mapping);
      const uintptr_t aligned = (address + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
      fData = reinterpret_cast<uint8_t*>(aligned);
#ifdef MADV_HUGEPAGE
      madvise(fData, fMappingSize - (aligned - address), MADV_HUGEPAGE);
#endif
      return;
    }
    fMappingSize = 0;
  }
  fData = static_cast<uint8_t*>(std::calloc(size > 0 ? size : 1, 1));
  if (!fData) throw std::bad_alloc();
}

TPixelMemory::TPixelMemory(TPixelMemory&& other) noexcept
    : fData(std::exchange(other.fData, nullptr)),
      fSize(std::exchange(other.fSize, 0)),
      fMapping(std::exchange(other.fMapping, nullptr)),
      fMappingSize(std::exchange(other.fMappingSize, 0)) {}

TPixelMemory& TPixelMemory::operator=(TPixelMemory&& other) noexcept {
  if (this != &other) {
    Release();
    fData = std::exchange(other.fData, nullptr);
    fSize = std::exchange(other.fSize, 0);
    fMapping = std::exchange(other.fMapping, nullptr);
    fMappingSize = std::exchange(other.fMappingSize, 0);
  }
  return *this;
}

TPixelMemory::~TPixelMemory() { Release(); }

void TPixelMemory::Release() noexcept {
  if (fMapping)
    munmap(fMapping, fMappingSize);
  else
    std::free(fData);
  fData = nullptr;
  fMapping = nullptr;
}

}  // namespace zel
