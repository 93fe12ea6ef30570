// Reading what is left of a stream into memory, for decoders that parse a
// whole file at once or keep it for decoding later.
#pragma once

#include <cstdint>
#include <vector>

#include "core/streams.h"

namespace zel {

// Appends the bytes from the stream's position to its end. False when there
// are more than limit bytes (the stream is then left where reading stopped).
bool ReadRemaining(TStream& stream, std::vector<uint8_t>& bytes, int64_t limit = int64_t{1} << 31);

// Little-endian reads from memory; the caller checks the bounds.
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace zel
