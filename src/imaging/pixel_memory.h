// Zeroed memory for bitmap pixels. Large blocks are mapped straight from the
// system as fresh zero pages and marked for huge pages: a 24-megapixel
// picture is 72 MB, and faulting it in 4 KB pages costs about as much as
// decoding it at a reduced size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

class TPixelMemory {
 public:
  TPixelMemory() = default;
  // Raises std::bad_alloc when the memory cannot be had.
  explicit TPixelMemory(size_t size);
  TPixelMemory(const TPixelMemory&) = delete;
  TPixelMemory& operator=(const TPixelMemory&) = delete;
  TPixelMemory(TPixelMemory&& other) noexcept;
  TPixelMemory& operator=(TPixelMemory&& other) noexcept;
  ~TPixelMemory();

  uint8_t* Data() const { return fData; }
  size_t Size() const { return fSize; }

 private:
  void Release() noexcept;
  uint8_t* fData = nullptr;
  size_t fSize = 0;
  void* fMapping = nullptr;  // when mapped: the whole mapping
  size_t fMappingSize = 0;
};

}  // namespace zel
