// A growable byte block holding sound data of one wave format: the
// decoders' input and output buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/media_info.h"
#include "core/streams.h"

namespace zel {

class TLocalBuffer {
 public:
  TLocalBuffer() = default;
  explicit TLocalBuffer(int64_t capacity) { Grow(capacity); }

  int64_t Capacity() const { return static_cast<int64_t>(fData.size()); }
  // Bytes in use, from the start.
  int64_t Length() const { return fLength; }
  int64_t FreeBytes() const { return Capacity() - fLength; }
  TWaveFormat Format;

  // Makes room for n more bytes of capacity.
  void Grow(int64_t n);
  // Grows so that at least n bytes are free.
  void EnsureFree(int64_t n);
  // Reads into the free room from the stream's position, never past the
  // stream offset end; true when anything was read.
  bool ReadFrom(TStream& stream, int64_t end);
  // Appends other's content and empties it; a content that does not fit
  // the free room is the programming error "Buffer overrun".
  void Append(TLocalBuffer& other);
  // Appends bytes, growing as needed.
  void AppendBytes(const uint8_t* bytes, int64_t count);
  // Appends count copies of value, growing as needed.
  void AppendFill(uint8_t value, int64_t count);
  // Drops n bytes from the front (at most Length); the rest moves down.
  void Consume(int64_t n);
  void Clear() { fLength = 0; }
  // Marks n more bytes of the free room as in use (after writing at End).
  void Commit(int64_t n);

  uint8_t* Data() { return fData.data(); }
  const uint8_t* Data() const { return fData.data(); }
  uint8_t* End() { return fData.data() + fLength; }

 private:
  std::vector<uint8_t> fData;
  int64_t fLength = 0;
};

}  // namespace zel
