// Text readers and encodings.
//
// Readers turn the bytes of one encoding into UTF-16 code units; a registry
// picks the reader for a stream from its byte-order mark; TTextParser cuts
// the characters of a reader into lines and records each line's end kind.
// The writers go the other way (UTF-16 LE and UTF-8, each with its mark).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(EInvalidChar, TCommonException);
ZEL_DECLARE_EXCEPTION(EIncorrectPositionValue, TCommonException);

// Line-end kinds, shared by the line parser and the writers.
enum TLineEnd : int32_t { leLF = 0, leCR = 1, leLFCR = 2, leCRLF = 3, leNone = 4 };

class TTextReader;

// An opaque saved reading position, accepted back only by its reader.
class TTextPosition : public TObj {
 public:
  explicit TTextPosition(const TTextReader* reader) : fReader(reader) {}
  const TTextReader* Reader() const noexcept { return fReader; }

 private:
  const TTextReader* fReader;
};

class TTextReader : public TObj {
 public:
  explicit TTextReader(TStream& stream) : fStream(&stream) {}
  TTextReader(const TTextReader&) = delete;
  TTextReader& operator=(const TTextReader&) = delete;

  // Reads into text from the 1-based index, at most n units; n is cut to
  // what fits behind the index. Fewer than asked only at the end of the
  // stream.
  int32_t ReadChars(TString& text, int32_t index, int32_t n);
  // The raw form: at most n units into destination.
  virtual int32_t Read(char16_t* destination, int32_t n) = 0;
  // Reads n characters into a scratch string in pieces of at most 2,048;
  // returns the number skipped (n below 1 skips nothing).
  virtual int32_t SkipChars(int32_t n);
  virtual std::unique_ptr<TTextPosition> GetPosition() = 0;
  virtual void SetPosition(const TTextPosition& position) = 0;

  TStream& Stream() noexcept { return *fStream; }

 protected:
  TStream* fStream;  // not owned
};

// UTF-16 little-endian.
class TUnicodeReader : public TTextReader {
 public:
  static constexpr int32_t kBufferSize = 32768;
  explicit TUnicodeReader(TStream& stream);
  // At least 2 bytes remain and they are FF FE (consumed on acceptance).
  static bool CheckEncoding(TStream& stream);

  int32_t Read(char16_t* destination, int32_t n) override;
  std::unique_ptr<TTextPosition> GetPosition() override;
  void SetPosition(const TTextPosition& position) override;

 protected:
  // Decodes from the byte buffer into destination; returns units delivered.
  virtual int32_t Decode(char16_t* destination, int32_t n);
  // Moves the unread bytes to the front and reads behind them; false when
  // the stream gave nothing.
  bool Refill();
  void ResetBuffer(int64_t streamOffset);

  int64_t fCharIndex = 0;
  int64_t fBufferOffset = 0;  // stream offset of fBuffer[0]
  std::vector<uint8_t> fBuffer;
  int32_t fFill = 0;
  int32_t fIndex = 0;  // 0-based read index
};

// UTF-16 big-endian.
class TUnicodeBEReader : public TUnicodeReader {
 public:
  using TUnicodeReader::TUnicodeReader;
  static bool CheckEncoding(TStream& stream);

 protected:
  int32_t Decode(char16_t* destination, int32_t n) override;
};

class TUTF8Reader : public TUnicodeReader {
 public:
  using TUnicodeReader::TUnicodeReader;
  static bool CheckEncoding(TStream& stream);

  std::unique_ptr<TTextPosition> GetPosition() override;
  void SetPosition(const TTextPosition& position) override;

 protected:
  int32_t Decode(char16_t* destination, int32_t n) override;

 private:
  bool fPending = false;
  int64_t fPendingOffset = 0;
};

class TUnicodeTextPosition : public TTextPosition {
 public:
  TUnicodeTextPosition(const TTextReader* reader, int64_t charIndex, int64_t streamOffset, int32_t skip)
      : TTextPosition(reader), fCharIndex(charIndex), fStreamOffset(streamOffset), fSkip(skip) {}
  int64_t fCharIndex;
  int64_t fStreamOffset;
  int32_t fSkip;
};

// Double-byte trail table of one lead byte.
struct TDBCSInfo {
  std::array<char16_t, 256> chars{};
};

// The ANSI code page of the process: ZEL_ANSI_CODEPAGE (default 1252),
// built once through iconv.
class TAnsiCodePage {
 public:
  static const TAnsiCodePage& Instance();
  explicit TAnsiCodePage(int codePage);

  int CodePage() const noexcept { return fCodePage; }
  bool IsLeadByte(uint8_t b) const noexcept { return fLead[b] != nullptr; }
  char16_t Single(uint8_t b) const noexcept { return fSingle[b]; }
  char16_t Double(uint8_t lead, uint8_t trail) const noexcept { return fLead[lead]->chars[trail]; }

 private:
  int fCodePage;
  std::array<char16_t, 256> fSingle{};
  std::array<const TDBCSInfo*, 256> fLead{};
  std::vector<std::unique_ptr<TDBCSInfo>> fTables;
};

class TAnsiConverter {
 public:
  static constexpr int32_t kBlockSize = 4096;
  TAnsiConverter() : fCodePage(TAnsiCodePage::Instance()) {}
  std::array<uint8_t, kBlockSize> fBlock{};
  int32_t fIndex = 0;
  const TAnsiCodePage& fCodePage;
};

class TAnsiPosition : public TTextPosition {
 public:
  TAnsiPosition(const TTextReader* reader, int64_t blockOffset, int32_t index)
      : TTextPosition(reader), fBlockOffset(blockOffset), fIndex(index) {}
  int64_t fBlockOffset;
  int32_t fIndex;
};

class TAnsiReader : public TTextReader {
 public:
  explicit TAnsiReader(TStream& stream);
  static bool CheckEncoding(TStream&) { return true; }

  int32_t Read(char16_t* destination, int32_t n) override;
  std::unique_ptr<TTextPosition> GetPosition() override;
  void SetPosition(const TTextPosition& position) override;

 private:
  bool NextBlock();

  TAnsiConverter fConverter;
  int32_t fBlockBytes = 0;
  int64_t fBlockOffset = 0;
};

// ---------------------------------------------------------------------------
// Reader registry.

struct TReaderInfo {
  const char* name;
  bool (*check)(TStream& stream);
  std::unique_ptr<TTextReader> (*create)(TStream& stream);
};

// Prepends an entry to the registry list.
void RegisterReaderClass(const TReaderInfo& info);
// A new reader of the first class, in registration order, whose check
// accepts the stream; nothing when none does.
std::unique_ptr<TTextReader> CreateReaderForStream(TStream& stream);
// The registered class names, oldest first.
std::vector<std::string> RegisteredReaderNames();

// ---------------------------------------------------------------------------
// String scanner and line parser.

using TCharTest = bool (*)(char16_t c);
inline bool IsBlank(char16_t c) { return c == 9 || c == 32; }

class TStringParser : public TObj {
 public:
  const TString& Line() const noexcept { return fLine; }
  int32_t Length() const noexcept { return static_cast<int32_t>(fLine.size()); }
  // 1-based access.
  char16_t At(int32_t index) const noexcept { return fLine[static_cast<size_t>(index - 1)]; }

  // All bounds 1-based and inclusive. Forward: one past `to` when nothing is
  // found; backward: one before `to`.
  int32_t SkipForward(int32_t from, int32_t to, TCharTest test) const;
  int32_t SkipBackward(int32_t from, int32_t to, TCharTest test) const;
  int32_t FindForward(int32_t from, int32_t to, TCharTest test) const;
  int32_t FindCharForward(int32_t from, int32_t to, TStringView set) const;
  int32_t FindCharBackward(int32_t from, int32_t to, TStringView set) const;

  int32_t fPos = 1;  // scan position

 protected:
  TString fLine;
};

class TTextParser : public TStringParser {
 public:
  static constexpr int32_t kBufferSize = 4096;

  TTextParser();
  explicit TTextParser(TStream& stream);  // attached, not owned
  ~TTextParser() override;

  void AttachStream(TStream* stream, bool owned);
  void AttachReader(TTextReader* reader, bool readerOwned, bool streamOwned);
  void Release();
  TStream* DetachStream();
  TTextReader* DetachReader();

  bool FirstLine();
  bool NextLine();

  int32_t LineEnd() const noexcept { return fLineEnd; }
  int32_t LineIndex() const noexcept { return fLineIndex; }
  int64_t LineStart() const noexcept { return fLineStart; }
  TTextReader* Reader() const noexcept { return fReader; }

 private:
  bool Fill();  // refills the buffer; false at the end of the text

  TStream* fStream = nullptr;
  bool fOwnsStream = false;
  TTextReader* fReader = nullptr;
  bool fOwnsReader = false;
  std::unique_ptr<TTextPosition> fStart;
  std::vector<char16_t> fBuffer;
  int32_t fFill = 0;
  int32_t fIndex = 1;  // 1-based
  int64_t fBufferOffset = 0;
  int64_t fLineStart = 0;
  bool fEndOfText = true;
  int32_t fLineEnd = leNone;
  int32_t fLineIndex = -1;
};

// ---------------------------------------------------------------------------
// Writers.

class TTextWriter : public TObj {
 public:
  static constexpr int32_t kBufferSize = 32768;
  explicit TTextWriter(TStream* stream) : fStream(stream) {}
  ~TTextWriter() override = default;

  virtual void Write(TStringView text, int32_t lineEnd) = 0;
  void WriteLn(TStringView text) { Write(text, leCRLF); }
  void WriteCRLF() { Write(TStringView(), leCRLF); }
  void WriteLineEnd(int32_t kind) { Write(TStringView(), kind); }
  void Flush();
  void Detach();

 protected:
  TStream* fStream;  // not owned
  std::vector<uint8_t> fBuffer = std::vector<uint8_t>(kBufferSize);
  int32_t fFill = 0;
};

class TUnicodeWriter : public TTextWriter {
 public:
  explicit TUnicodeWriter(TStream* stream);
  ~TUnicodeWriter() override;
  void Write(TStringView text, int32_t lineEnd) override;

 private:
  void Put(char16_t c);
};

class TUTF8Writer : public TTextWriter {
 public:
  explicit TUTF8Writer(TStream* stream);
  ~TUTF8Writer() override;
  void Write(TStringView text, int32_t lineEnd) override;
};

}  // namespace zel
