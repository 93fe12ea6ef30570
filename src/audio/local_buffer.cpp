#include "audio/local_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/stream_gate.h"

namespace zel {

void TLocalBuffer::Grow(int64_t n) {
  if (n <= 0) return;
  fData.resize(fData.size() + static_cast<size_t>(n));
}

void TLocalBuffer::EnsureFree(int64_t n) {
  if (FreeBytes() < n) Grow(n - FreeBytes());
}

bool TLocalBuffer::ReadFrom(TStream& stream, int64_t end) {
  const int64_t position = StreamWrapper().Position(stream);
  // One request reads at most what a 32-bit count can ask for.
  const int64_t wanted = std::min({FreeBytes(), end - position, int64_t{std::numeric_limits<int32_t>::max()}});
  if (wanted <= 0) return false;
  const int32_t got = StreamWrapper().Read(stream, End(), static_cast<int32_t>(wanted));
  if (got <= 0) return false;
  fLength += got;
  return true;
}

void TLocalBuffer::Append(TLocalBuffer& other) {
  ZEL_ASSERT(other.Length() <= FreeBytes(), "Buffer overrun");
  if (other.Length() > 0) std::memcpy(End(), other.Data(), static_cast<size_t>(other.Length()));
  fLength += other.Length();
  other.Clear();
}

void TLocalBuffer::AppendBytes(const uint8_t* bytes, int64_t count) {
  if (count <= 0) return;
  EnsureFree(count);
  std::memcpy(End(), bytes, static_cast<size_t>(count));
  fLength += count;
}

void TLocalBuffer::AppendFill(uint8_t value, int64_t count) {
  if (count <= 0) return;
  EnsureFree(count);
  std::memset(End(), value, static_cast<size_t>(count));
  fLength += count;
}

void TLocalBuffer::Consume(int64_t n) {
  n = std::clamp<int64_t>(n, 0, fLength);
  if (n == 0) return;
  const int64_t rest = fLength - n;
  if (rest > 0) std::memmove(fData.data(), fData.data() + n, static_cast<size_t>(rest));
  fLength = rest;
}

void TLocalBuffer::Commit(int64_t n) {
  ZEL_ASSERT(n >= 0 && n <= FreeBytes(), "Buffer overrun");
  fLength += n;
}

}  // namespace zel
