// Byte streams: the interface every file, package entry, picture and sound
// is read through, and the memory, string, file, window and cache streams.
//
// Positions and sizes are signed 64-bit; a size of -1 means the size is not
// known (a decompressing stream). Read and Write take a buffer span, a count
// and an offset into the span, and never touch a byte outside the span.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/obj.h"
#include "core/stream_errors.h"
#include "core/strings.h"

namespace zel {

class TStream : public TObj {
 public:
  virtual int64_t GetPosition() = 0;
  virtual void SetPosition(int64_t position) = 0;
  virtual int64_t GetSize() = 0;
  virtual void SetSize(int64_t size) = 0;
  // Replaces this stream's content with the whole source. The source's
  // position is restored and this stream's position set to 0, also when an
  // exception passes.
  virtual void LoadFrom(TStream& source);
  virtual void Clear();
  // Copies up to count bytes from the source's position; returns the count
  // copied. Stops early when the source runs dry.
  virtual int64_t CopyFrom(TStream& source, int64_t count);

  // The count is cut to the room between offset and the end of the span; an
  // offset at or past the end (or a negative count) transfers nothing.
  // A result below the count means the end of the data (or, for Write, that
  // the stream could not take more).
  int32_t Read(std::span<uint8_t> buffer, int32_t count, int32_t offset = 0);
  int32_t Write(std::span<const uint8_t> buffer, int32_t count, int32_t offset = 0);
  int32_t Read(std::span<uint8_t> buffer) { return Read(buffer, ClampCount(buffer.size())); }
  int32_t Write(std::span<const uint8_t> buffer) { return Write(buffer, ClampCount(buffer.size())); }

  // Typed reads, little-endian unless named; EStreamReadError when short.
  uint8_t ReadByte();
  uint16_t ReadUInt16();
  uint32_t ReadUInt32();
  uint64_t ReadUInt64();
  uint16_t ReadUInt16BE();
  uint32_t ReadUInt32BE();
  float ReadFloat();
  // Typed writes, little-endian; EStreamWriteError when short.
  void WriteByte(uint8_t value);
  void WriteUInt16(uint16_t value);
  void WriteUInt32(uint32_t value);
  // No terminator and no length; written in chunks of 1024 bytes.
  void WriteAnsiString(std::string_view text);
  void WriteString(TStringView text);  // UTF-16 little-endian
  // Reads up to count units into text at index (growing text as needed),
  // stopping early at the end of the stream; returns how many were read.
  int32_t ReadStringUnits(TString& text, size_t index, int32_t count);
  int32_t ReadAnsiChars(std::string& text, size_t index, int32_t count);

  // Writes the whole content to a new file (replacing one that exists);
  // false when that fails, never raises. The position is kept.
  bool SaveToFile(const std::string& fileName);

 protected:
  // The transfer itself, with the span already clamped to the count.
  virtual int32_t DoRead(std::span<uint8_t> destination) = 0;
  virtual int32_t DoWrite(std::span<const uint8_t> source) = 0;

  static int32_t ClampCount(size_t size);
  void ReadExact(void* destination, int32_t count);
  void WriteExact(const void* source, int32_t count);
};

// ---------------------------------------------------------------------------

class TMemoryStream : public TStream {
 public:
  // Above this a write fails rather than growing the buffer.
  static constexpr int64_t kMaxCapacity = 536870910;

  TMemoryStream() = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  ~TMemoryStream() override;

  int64_t GetPosition() override { return fPosition; }
  void SetPosition(int64_t position) override;
  int64_t GetSize() override { return fSize; }
  void SetSize(int64_t size) override;
  int64_t CopyFrom(TStream& source, int64_t count) override;

  uint8_t* Memory() noexcept { return fMemory; }
  std::span<const uint8_t> Bytes() const noexcept { return {fMemory, static_cast<size_t>(fSize)}; }
  int64_t Capacity() const noexcept { return fCapacity; }

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;
  // Grows the capacity to hold at least needed bytes; false when it cannot.
  bool EnsureCapacity(int64_t needed);
  void FreeBuffer() noexcept;

 private:
  uint8_t* fMemory = nullptr;
  int64_t fSize = 0;
  int64_t fPosition = 0;
  int64_t fCapacity = 0;
};

// A memory stream over an 8-bit string.
class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(std::string_view initial = {});
  std::string DataString() const;
};

// ---------------------------------------------------------------------------

enum class TFileCreation { CreateNew, CreateAlways, OpenExisting, OpenAlways, TruncateExisting };
enum TFileAccess : unsigned { faRead = 1, faWrite = 2, faReadWrite = 3 };
// Kept for the callers' intent; files on this platform are always shared.
enum TFileShare : unsigned { fsNone = 0, fsRead = 1, fsWrite = 2, fsDelete = 4 };

class TFileStream : public TStream {
 public:
  TFileStream() = default;
  // fileName is UTF-8.
  TFileStream(const std::string& fileName, TFileCreation creation, unsigned share, unsigned access);
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  ~TFileStream() override;

  // Opening for reading: open-existing with read access.
  static std::unique_ptr<TFileStream> OpenRead(const std::string& fileName, unsigned share = fsRead | fsWrite | fsDelete);
  // Writing a new file: create-always with write access and read sharing.
  static std::unique_ptr<TFileStream> CreateWrite(const std::string& fileName);

  // Closes a handle that is open first. EFileOpenError (message: the file
  // name) when the file cannot be opened.
  void Open(const std::string& fileName, TFileCreation creation, unsigned share, unsigned access);
  void Close() noexcept;
  bool IsOpen() const noexcept { return fHandle >= 0; }
  const std::string& FileName() const noexcept { return fFileName; }

  int64_t GetPosition() override;
  void SetPosition(int64_t position) override;
  int64_t GetSize() override;
  void SetSize(int64_t size) override;
  void Clear() override;
  int64_t CopyFrom(TStream& source, int64_t count) override;

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;
  int Handle() const noexcept { return fHandle; }

 private:
  int fHandle = -1;
  std::string fFileName;
};

// A file stream that reads ahead in 64 KiB blocks, so that many small reads
// (a window moving 256-byte chunks) do not each cost a system call.
class TBufferedFileStream : public TFileStream {
 public:
  static constexpr size_t kBufferSize = 65536;

  using TFileStream::TFileStream;
  static std::unique_ptr<TBufferedFileStream> OpenRead(const std::string& fileName,
                                                       unsigned share = fsRead | fsWrite | fsDelete);

  int64_t GetPosition() override { return fPosition; }
  void SetPosition(int64_t position) override;
  void SetSize(int64_t size) override;
  void Clear() override;

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;

 private:
  int32_t ReadAt(int64_t offset, std::span<uint8_t> destination);

  std::vector<uint8_t> fBuffer;
  int64_t fBufferStart = 0;
  size_t fBufferFill = 0;
  int64_t fPosition = 0;
};

// ---------------------------------------------------------------------------

// Called after each chunk a window transfers. It may raise EAbort to stop
// the loading thread.
using TProgressCallback = std::function<void()>;

// A window [start, start + size) onto a source stream.
class TPartialStream : public TStream {
 public:
  static constexpr int32_t kDefaultChunkSize = 32768;
  static constexpr int32_t kCallbackChunkSize = 256;

  // EStreamError "Insufficient Source Size" when the source is too short.
  TPartialStream(TStream& source, int64_t windowSize, int64_t windowStart);
  TPartialStream(std::unique_ptr<TStream> source, int64_t windowSize, int64_t windowStart);

  int64_t GetPosition() override;
  // Not range-checked: reads and writes stop at the window's end.
  void SetPosition(int64_t position) override;
  int64_t GetSize() override { return fWindowSize; }
  void SetSize(int64_t size) override;
  int64_t CopyFrom(TStream& source, int64_t count) override;

  // Without a callback the window moves 32768-byte chunks; with one, chunks
  // of at most 256 bytes, so that the callback runs often.
  void SetProgressCallback(int32_t requestedChunkSize, TProgressCallback callback);
  int32_t ChunkSize() const noexcept { return static_cast<int32_t>(fChunk.size()); }

  TStream& Source() noexcept { return *fSource; }
  int64_t WindowStart() const noexcept { return fWindowStart; }

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;

 private:
  void Init();
  void Progress() {
    if (fCallback) fCallback();
  }

  std::unique_ptr<TStream> fOwnedSource;
  TStream* fSource;
  int64_t fWindowSize;
  int64_t fWindowStart;
  TProgressCallback fCallback;
  std::vector<uint8_t> fChunk;
};

// ---------------------------------------------------------------------------

// A memory copy of a source that is filled in 4096-byte blocks as reading
// reaches them. Read-only.
class TCacheStream : public TMemoryStream {
 public:
  static constexpr int64_t kBlockSize = 4096;

  explicit TCacheStream(TStream& source);

  void SetPosition(int64_t position) override;
  int64_t GetSize() override { return fSourceSize; }
  void SetSize(int64_t size) override;
  int64_t CopyFrom(TStream& source, int64_t count) override;  // takes nothing
  int64_t CachedSize() const noexcept { return fCached; }

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;

 private:
  // Makes the first position bytes available; EAbort beyond the source.
  void FillTo(int64_t position);

  TStream& fSource;
  int64_t fCached = 0;
  int64_t fSourceSize;
};

}  // namespace zel
