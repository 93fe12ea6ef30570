// The binary fields of the cached vector texts and glyph caches in a show
// package: little-endian 32-bit integers and floats, and counts checked
// against what the rest of the stream can hold.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/streams.h"

namespace zel::stream_fields {

inline int32_t ReadInt(TStream& s) { return static_cast<int32_t>(s.ReadUInt32()); }
inline void WriteInt(TStream& s, int32_t v) { s.WriteUInt32(static_cast<uint32_t>(v)); }
inline void WriteFloat(TStream& s, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  s.WriteUInt32(bits);
}

// The count when the rest of the stream can hold that many items of
// bytesEach bytes; otherwise EStreamReadError with the message, so that a
// damaged entry never makes a huge allocation.
inline int32_t CheckedCount(TStream& s, int32_t count, int64_t bytesEach, const char* message) {
  const int64_t size = s.GetSize();
  if (count < 0 || (size >= 0 && int64_t{count} * bytesEach > size - s.GetPosition())) throw EStreamReadError(message);
  return count;
}

}  // namespace zel::stream_fields
