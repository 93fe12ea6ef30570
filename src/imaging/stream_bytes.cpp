#include "imaging/stream_bytes.h"

#include <algorithm>

namespace zel {

bool ReadRemaining(TStream& stream, std::vector<uint8_t>& bytes, int64_t limit) {
  const int64_t size = stream.GetSize();
  const int64_t position = stream.GetPosition();
  if (size >= 0 && size - position > limit) return false;
  if (size >= 0 && size > position) bytes.reserve(bytes.size() + static_cast<size_t>(size - position));
  const size_t start = bytes.size();
  constexpr int32_t kChunk = 65536;
  for (;;) {
    const size_t at = bytes.size();
    if (static_cast<int64_t>(at - start) >= limit + 1) return false;
    bytes.resize(at + kChunk);
    const int32_t got = stream.Read(std::span<uint8_t>(bytes.data() + at, kChunk));
    bytes.resize(at + static_cast<size_t>(std::max(got, 0)));
    if (got <= 0) break;
  }
  return static_cast<int64_t>(bytes.size() - start) <= limit;
}

}  // namespace zel
