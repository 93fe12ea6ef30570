#include "core/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zel {

// ---------------------------------------------------------------------------
// TStream

int32_t TStream::ClampCount(size_t size) {
  return static_cast<int32_t>(std::min<size_t>(size, std::numeric_limits<int32_t>::max()));
}

int32_t TStream::Read(std::span<uint8_t> buffer, int32_t count, int32_t offset) {
  if (count <= 0 || offset < 0 || static_cast<size_t>(offset) >= buffer.size()) return 0;
  const size_t room = buffer.size() - static_cast<size_t>(offset);
  const auto n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(room)));
  return DoRead(buffer.subspan(static_cast<size_t>(offset), n));
}

int32_t TStream::Write(std::span<const uint8_t> buffer, int32_t count, int32_t offset) {
  if (count <= 0 || offset < 0 || static_cast<size_t>(offset) >= buffer.size()) return 0;
  const size_t room = buffer.size() - static_cast<size_t>(offset);
  const auto n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(room)));
  return DoWrite(buffer.subspan(static_cast<size_t>(offset), n));
}

void TStream::Clear() {
  SetPosition(0);
  SetSize(0);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  constexpr int32_t kBufferSize = 32768;
  uint8_t buffer[kBufferSize];
  int64_t total = 0;
  while (count > 0) {
    const auto want = static_cast<int32_t>(std::min<int64_t>(count, kBufferSize));
    const int32_t got = source.Read(buffer, want);
    if (got <= 0) break;
    if (Write(std::span<const uint8_t>(buffer, static_cast<size_t>(got)), got) != got)
      throw EStreamWriteError();
    total += got;
    count -= got;
  }
  return total;
}

void TStream::LoadFrom(TStream& source) {
  Clear();
  const int64_t sourcePosition = source.GetPosition();
  auto restore = [&] {
    source.SetPosition(sourcePosition);
    SetPosition(0);
  };
  try {
    source.SetPosition(0);
    const int64_t size = source.GetSize();
    if (size == -1) {
      CopyFrom(source, std::numeric_limits<int64_t>::max());
    } else {
      SetSize(size);
      if (CopyFrom(source, size) != size) throw EStreamError();
    }
  } catch (...) {
    try {
      restore();
    } catch (...) {
      // The first failure is the one worth reporting.
    }
    throw;
  }
  restore();
}

void TStream::ReadExact(void* destination, int32_t count) {
  if (Read(std::span<uint8_t>(static_cast<uint8_t*>(destination), static_cast<size_t>(count)), count) != count)
    throw EStreamReadError();
}

void TStream::WriteExact(const void* source, int32_t count) {
  if (Write(std::span<const uint8_t>(static_cast<const uint8_t*>(source), static_cast<size_t>(count)), count) != count)
    throw EStreamWriteError();
}

namespace {

template <typename T>
T FromLittleEndian(const uint8_t* b) {
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(b[i]) << (8 * i));
  return v;
}

template <typename T>
void ToLittleEndian(T v, uint8_t* b) {
  for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint8_t TStream::ReadByte() {
  uint8_t b;
  ReadExact(&b, 1);
  return b;
}

uint16_t TStream::ReadUInt16() {
  uint8_t b[2];
  ReadExact(b, 2);
  return FromLittleEndian<uint16_t>(b);
}

uint32_t TStream::ReadUInt32() {
  uint8_t b[4];
  ReadExact(b, 4);
  return FromLittleEndian<uint32_t>(b);
}

uint64_t TStream::ReadUInt64() {
  uint8_t b[8];
  ReadExact(b, 8);
  return FromLittleEndian<uint64_t>(b);
}

uint16_t TStream::ReadUInt16BE() {
  uint8_t b[2];
  ReadExact(b, 2);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t TStream::ReadUInt32BE() {
  uint8_t b[4];
  ReadExact(b, 4);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

float TStream::ReadFloat() {
  const uint32_t bits = ReadUInt32();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void TStream::WriteByte(uint8_t value) { WriteExact(&value, 1); }

void TStream::WriteUInt16(uint16_t value) {
  uint8_t b[2];
  ToLittleEndian(value, b);
  WriteExact(b, 2);
}

void TStream::WriteUInt32(uint32_t value) {
  uint8_t b[4];
  ToLittleEndian(value, b);
  WriteExact(b, 4);
}

void TStream::WriteAnsiString(std::string_view text) {
  constexpr size_t kChunk = 1024;
  for (size_t i = 0; i < text.size(); i += kChunk) {
    const auto n = static_cast<int32_t>(std::min(kChunk, text.size() - i));
    WriteExact(text.data() + i, n);
  }
}

void TStream::WriteString(TStringView text) {
  constexpr size_t kChunkUnits = 512;  // 1024 bytes
  uint8_t buffer[kChunkUnits * 2];
  for (size_t i = 0; i < text.size(); i += kChunkUnits) {
    const size_t n = std::min(kChunkUnits, text.size() - i);
    for (size_t k = 0; k < n; ++k) ToLittleEndian<uint16_t>(text[i + k], buffer + 2 * k);
    WriteExact(buffer, static_cast<int32_t>(n * 2));
  }
}

int32_t TStream::ReadStringUnits(TString& text, size_t index, int32_t count) {
  if (count <= 0) return 0;
  if (text.size() < index + static_cast<size_t>(count)) text.resize(index + static_cast<size_t>(count));
  constexpr int32_t kChunkUnits = 1024;  // 2048 bytes
  uint8_t buffer[kChunkUnits * 2];
  int32_t done = 0;
  while (done < count) {
    const int32_t want = std::min(kChunkUnits, count - done);
    const int32_t got = Read(buffer, want * 2) / 2;
    for (int32_t k = 0; k < got; ++k) text[index + static_cast<size_t>(done + k)] = FromLittleEndian<uint16_t>(buffer + 2 * k);
    done += got;
    if (got < want) break;
  }
  return done;
}

int32_t TStream::ReadAnsiChars(std::string& text, size_t index, int32_t count) {
  if (count <= 0) return 0;
  if (text.size() < index + static_cast<size_t>(count)) text.resize(index + static_cast<size_t>(count));
  constexpr int32_t kChunk = 1024;
  int32_t done = 0;
  while (done < count) {
    const int32_t want = std::min(kChunk, count - done);
    const int32_t got = Read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data() + index + static_cast<size_t>(done)),
                                                static_cast<size_t>(want)),
                             want);
    done += got;
    if (got < want) break;
  }
  return done;
}

bool TStream::SaveToFile(const std::string& fileName) {
  try {
    const int64_t position = GetPosition();
    auto file = TFileStream::CreateWrite(fileName);
    SetPosition(0);
    const int64_t size = GetSize();
    const int64_t copied = file->CopyFrom(*this, size < 0 ? std::numeric_limits<int64_t>::max() : size);
    SetPosition(position);
    return size < 0 || copied == size;
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::~TMemoryStream() { FreeBuffer(); }

void TMemoryStream::FreeBuffer() noexcept {
  std::free(fMemory);
  fMemory = nullptr;
  fCapacity = 0;
  fSize = 0;
  fPosition = 0;
}

bool TMemoryStream::EnsureCapacity(int64_t needed) {
  if (needed <= fCapacity) return true;
  if (needed > kMaxCapacity) return false;
  int64_t capacity = fCapacity;
  while (capacity < needed) {
    if (capacity < 33) {
      capacity += 16;
    } else if (capacity < 257) {
      capacity += 64;
    } else {
      capacity *= 2;
    }
  }
  auto* grown = static_cast<uint8_t*>(std::realloc(fMemory, static_cast<size_t>(capacity)));
  if (!grown) return false;
  fMemory = grown;
  fCapacity = capacity;
  return true;
}

void TMemoryStream::SetPosition(int64_t position) { fPosition = std::clamp<int64_t>(position, 0, fSize); }

void TMemoryStream::SetSize(int64_t size) {
  if (size <= 0) {
    FreeBuffer();
    return;
  }
  if (size > fSize) {
    auto* grown = static_cast<uint8_t*>(std::realloc(fMemory, static_cast<size_t>(size)));
    if (!grown) throw EStreamError("Out of memory: a memory stream cannot grow to " + std::to_string(size) + " bytes");
    fMemory = grown;
    fCapacity = size;
    // New bytes read as zero rather than as whatever the heap held.
    std::memset(fMemory + fSize, 0, static_cast<size_t>(size - fSize));
  }
  fSize = size;
  fPosition = std::min(fPosition, fSize);
}

int32_t TMemoryStream::DoRead(std::span<uint8_t> destination) {
  const int64_t available = std::max<int64_t>(0, fSize - fPosition);
  const auto n = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(destination.size()), available));
  if (n <= 0) return 0;
  std::memcpy(destination.data(), fMemory + fPosition, static_cast<size_t>(n));
  fPosition += n;
  return n;
}

int32_t TMemoryStream::DoWrite(std::span<const uint8_t> source) {
  const auto n = static_cast<int64_t>(source.size());
  if (n <= 0) return 0;
  if (!EnsureCapacity(fPosition + n)) return 0;
  std::memcpy(fMemory + fPosition, source.data(), static_cast<size_t>(n));
  fPosition += n;
  fSize = std::max(fSize, fPosition);
  return static_cast<int32_t>(n);
}

int64_t TMemoryStream::CopyFrom(TStream& source, int64_t count) {
  const int64_t sourceSize = source.GetSize();
  if (sourceSize == -1) return TStream::CopyFrom(source, count);
  const int64_t n = std::min(count, sourceSize - source.GetPosition());
  if (n <= 0) return 0;
  if (n > std::numeric_limits<int32_t>::max() || !EnsureCapacity(fPosition + n)) throw EStreamWriteError();
  const auto want = static_cast<int32_t>(n);
  if (source.Read(std::span<uint8_t>(fMemory + fPosition, static_cast<size_t>(want)), want) != want)
    throw EStreamReadError();
  fPosition += n;
  fSize = std::max(fSize, fPosition);
  return n;
}

// ---------------------------------------------------------------------------
// TStringStream

TStringStream::TStringStream(std::string_view initial) {
  if (!initial.empty()) {
    Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(initial.data()), initial.size()));
    SetPosition(0);
  }
}

std::string TStringStream::DataString() const {
  const auto bytes = Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// ---------------------------------------------------------------------------
// TPartialStream

TPartialStream::TPartialStream(TStream& source, int64_t windowSize, int64_t windowStart)
    : fSource(&source), fWindowSize(windowSize), fWindowStart(windowStart) {
  Init();
}

TPartialStream::TPartialStream(std::unique_ptr<TStream> source, int64_t windowSize, int64_t windowStart)
    : fOwnedSource(std::move(source)), fSource(fOwnedSource.get()), fWindowSize(windowSize), fWindowStart(windowStart) {
  Init();
}

void TPartialStream::Init() {
  if (!fSource || fWindowSize < 0 || fWindowStart < 0 || fSource->GetSize() - fWindowStart < fWindowSize)
    throw EStreamError("Insufficient Source Size");
  SetProgressCallback(kDefaultChunkSize, nullptr);
  SetPosition(0);
}

void TPartialStream::SetProgressCallback(int32_t requestedChunkSize, TProgressCallback callback) {
  fCallback = std::move(callback);
  const int32_t chunk = fCallback ? std::clamp(requestedChunkSize, 1, kCallbackChunkSize) : kDefaultChunkSize;
  fChunk.assign(static_cast<size_t>(chunk), 0);
  fChunk.shrink_to_fit();
}

int64_t TPartialStream::GetPosition() { return fSource->GetPosition() - fWindowStart; }

void TPartialStream::SetPosition(int64_t position) { fSource->SetPosition(fWindowStart + position); }

void TPartialStream::SetSize(int64_t) { throw EStreamError("Stream Cannot be resized"); }

int32_t TPartialStream::DoRead(std::span<uint8_t> destination) {
  const auto chunk = static_cast<int64_t>(fChunk.size());
  int64_t position = GetPosition();
  size_t done = 0;
  while (done < destination.size() && position < fWindowSize) {
    const int64_t want = std::min({static_cast<int64_t>(destination.size() - done), fWindowSize - position, chunk});
    const auto n = static_cast<int32_t>(want);
    const int32_t got = fSource->Read(destination.subspan(done, static_cast<size_t>(n)), n);
    Progress();
    if (got <= 0) break;
    done += static_cast<size_t>(got);
    position += got;
  }
  return static_cast<int32_t>(done);
}

int32_t TPartialStream::DoWrite(std::span<const uint8_t> source) {
  const auto chunk = static_cast<int64_t>(fChunk.size());
  int64_t position = GetPosition();
  size_t done = 0;
  while (done < source.size() && position < fWindowSize) {
    const int64_t want = std::min({static_cast<int64_t>(source.size() - done), fWindowSize - position, chunk});
    const auto n = static_cast<int32_t>(want);
    const int32_t put = fSource->Write(source.subspan(done, static_cast<size_t>(n)), n);
    Progress();
    if (put <= 0) break;
    done += static_cast<size_t>(put);
    position += put;
  }
  return static_cast<int32_t>(done);
}

int64_t TPartialStream::CopyFrom(TStream& source, int64_t count) {
  // The chunks go through the window's own Write, so a copy never runs past
  // the window's end into the bytes that follow it in the source.
  int64_t total = 0;
  while (count > 0) {
    const auto want = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(fChunk.size())));
    const int32_t got = source.Read(fChunk, want);
    Progress();
    if (got <= 0) break;
    if (Write(fChunk, got) != got) throw EStreamWriteError();
    Progress();
    total += got;
    count -= got;
  }
  return total;
}

// ---------------------------------------------------------------------------
// TCacheStream

TCacheStream::TCacheStream(TStream& source) : fSource(source), fSourceSize(source.GetSize()) {
  fSource.SetPosition(0);
}

void TCacheStream::FillTo(int64_t position) {
  if (position > fSourceSize) throw EAbort();
  while (fCached < position) {
    const int64_t block = std::min(kBlockSize, fSourceSize - fCached);
    const int64_t keep = TMemoryStream::GetPosition();
    TMemoryStream::SetSize(fCached + block);
    const auto n = static_cast<int32_t>(block);
    const int32_t got = fSource.Read(std::span<uint8_t>(Memory() + fCached, static_cast<size_t>(n)), n);
    if (got != n) {
      TMemoryStream::SetSize(fCached);
      TMemoryStream::SetPosition(keep);
      throw EStreamReadError("The cached stream ended before its stated size");
    }
    fCached += block;
    TMemoryStream::SetPosition(keep);
  }
}

void TCacheStream::SetPosition(int64_t position) {
  FillTo(position);
  TMemoryStream::SetPosition(position);
}

void TCacheStream::SetSize(int64_t) { throw EStreamError("Stream Cannot be resized"); }

int64_t TCacheStream::CopyFrom(TStream&, int64_t) { return 0; }

int32_t TCacheStream::DoRead(std::span<uint8_t> destination) {
  const int64_t position = TMemoryStream::GetPosition();
  const int64_t count = std::min(static_cast<int64_t>(destination.size()), fSourceSize - position);
  if (count <= 0) return 0;
  FillTo(position + count);
  return TMemoryStream::DoRead(destination.first(static_cast<size_t>(count)));
}

int32_t TCacheStream::DoWrite(std::span<const uint8_t>) { return 0; }

}  // namespace zel
