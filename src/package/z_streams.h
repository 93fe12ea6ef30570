// Decompressing streams over zlib: zlib-format and raw-deflate reading
// streams, and the one-shot inflater of the deflated picture container.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/streams.h"

namespace zel {

// A failure inside zlib; the message is zlib's text for the result code.
class EZLibError : public std::exception {
 public:
  explicit EZLibError(std::string message) : fMessage(std::move(message)) {}
  const char* what() const noexcept override { return fMessage.c_str(); }
  const std::string& Message() const noexcept { return fMessage; }

 private:
  std::string fMessage;
};

class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

// zlib's text for a result code ("data error", "buffer error", ...).
std::string ZLibErrorText(int code);

// What a decompressing stream says about a move it cannot make and about
// writing to it.
extern const char* const kInvalidZStreamOperation;

// The common part: the source (not owned), where the stream last left it,
// a progress notification and zlib's state with a 65536-byte input buffer.
class TCustomZStream : public TStream {
 public:
  static constexpr size_t kInputBufferSize = 65536;

  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;
  ~TCustomZStream() override;

  // Called after each block taken from the source; may raise EAbort.
  void SetProgressCallback(TProgressCallback callback) { fProgress = std::move(callback); }

 protected:
  TCustomZStream(TStream& source, int windowBits);

  TStream& fSource;
  int64_t fCreationPosition;
  int64_t fSourcePosition;
  TProgressCallback fProgress;
  z_stream fZ{};
  std::vector<uint8_t> fInput;
  bool fEnded = false;
  int64_t fProduced = 0;
};

// zlib-format data (with its header and trailer).
class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream& source) : TZDecompressionStream(source, MAX_WBITS) {}

  int64_t GetPosition() override { return fProduced; }
  // Only a seek to 0 and forward moves; only the low 32 bits of the target count.
  void SetPosition(int64_t position) override { Seek(position); }
  int64_t GetSize() override { return -1; }
  void SetSize(int64_t) override {}
  // Reads and discards until the data ends; the number of bytes produced.
  int64_t SeekToEnd();

 protected:
  TZDecompressionStream(TStream& source, int windowBits) : TCustomZStream(source, windowBits) {}
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;
  int64_t Seek(int64_t position);

 private:
  void Restart();
};

// Raw deflate data (no header, no trailer), with an optional declared size
// (-1 when not given) and its own position.
class TInflateStream : public TZDecompressionStream {
 public:
  explicit TInflateStream(TStream& source, int64_t declaredSize = -1)
      : TZDecompressionStream(source, -MAX_WBITS), fDeclaredSize(declaredSize) {}

  int64_t GetPosition() override { return fPosition; }
  void SetPosition(int64_t position) override;
  int64_t GetSize() override { return fDeclaredSize; }
  void SetSize(int64_t) override;

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;

 private:
  int64_t fDeclaredSize;
  int64_t fPosition = 0;
};

// Inflates raw deflate data from a source into a memory stream in one call,
// through zlib's call-back interface.
class TInflator : public TObj {
 public:
  static constexpr size_t kBufferSize = 32768;
  static constexpr int64_t kDefaultLimit = int64_t{2} << 30;  // 2 GiB

  // Called after each block taken from the source; may raise EAbort.
  void SetProgressCallback(TProgressCallback callback) { fProgress = std::move(callback); }
  // The most bytes one call may produce; more raises EZDecompressionError,
  // so that a crafted file cannot exhaust memory.
  void SetLimit(int64_t limit) { fLimit = limit; }

  // Appends the inflated bytes to target at its position.
  void InflateWhole(TStream& source, TMemoryStream& target);

 private:
  TProgressCallback fProgress;
  int64_t fLimit = kDefaultLimit;
};

// Copies a whole decompressing stream into memory, refusing to produce more
// than limit bytes (EZDecompressionError).
std::unique_ptr<TMemoryStream> InflateToMemory(TStream& decompressing, int64_t limit = TInflator::kDefaultLimit);

}  // namespace zel
