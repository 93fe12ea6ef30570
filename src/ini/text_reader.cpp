#include "ini/text_reader.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zel {

namespace {

// Reads the mark; on refusal the stream goes back where it was.
bool CheckMark(TStream& stream, std::initializer_list<uint8_t> mark) {
  const int64_t start = stream.GetPosition();
  uint8_t bytes[4] = {};
  const int32_t want = static_cast<int32_t>(mark.size());
  const int32_t got = stream.Read(std::span<uint8_t>(bytes, 4), want);
  bool ok = got == want && std::equal(mark.begin(), mark.end(), bytes);
  if (!ok && got > 0) stream.SetPosition(start);
  return ok;
}

void SeekTo(TStream& stream, int64_t offset) {
  try {
    stream.SetPosition(offset);
    if (stream.GetPosition() != offset) throw EStreamSeekError();
  } catch (const EStreamSeekError&) {
    throw;
  } catch (...) {
    throw EStreamSeekError();
  }
}

}  // namespace

// ---------------------------------------------------------------------------

int32_t TTextReader::ReadChars(TString& text, int32_t index, int32_t n) {
  if (index < 1 || static_cast<size_t>(index) > text.size() || n < 1) return 0;
  n = std::min<int64_t>(n, static_cast<int64_t>(text.size()) - index + 1);
  return Read(text.data() + (index - 1), n);
}

int32_t TTextReader::SkipChars(int32_t n) {
  if (n < 1) return 0;
  char16_t scratch[2048];
  int32_t skipped = 0;
  while (skipped < n) {
    const int32_t piece = std::min<int32_t>(n - skipped, 2048);
    const int32_t got = Read(scratch, piece);
    skipped += got;
    if (got < piece) break;
  }
  return skipped;
}

// ---------------------------------------------------------------------------
// UTF-16

TUnicodeReader::TUnicodeReader(TStream& stream) : TTextReader(stream), fBuffer(kBufferSize) {
  fBufferOffset = stream.GetPosition();
}

bool TUnicodeReader::CheckEncoding(TStream& stream) { return CheckMark(stream, {0xFF, 0xFE}); }
bool TUnicodeBEReader::CheckEncoding(TStream& stream) { return CheckMark(stream, {0xFE, 0xFF}); }
bool TUTF8Reader::CheckEncoding(TStream& stream) { return CheckMark(stream, {0xEF, 0xBB, 0xBF}); }

void TUnicodeReader::ResetBuffer(int64_t streamOffset) {
  fBufferOffset = streamOffset;
  fFill = 0;
  fIndex = 0;
}

bool TUnicodeReader::Refill() {
  const int32_t unread = fFill - fIndex;
  if (unread > 0 && fIndex > 0) std::memmove(fBuffer.data(), fBuffer.data() + fIndex, static_cast<size_t>(unread));
  fBufferOffset += fIndex;
  fIndex = 0;
  fFill = unread;
  const int32_t got = fStream->Read(std::span<uint8_t>(fBuffer), kBufferSize - unread, unread);
  if (got <= 0) return false;
  fFill += got;
  return true;
}

int32_t TUnicodeReader::Read(char16_t* destination, int32_t n) {
  int32_t done = 0;
  while (done < n) {
    done += Decode(destination + done, n - done);
    if (done >= n || !Refill()) break;
  }
  fCharIndex += done;
  return done;
}

int32_t TUnicodeReader::Decode(char16_t* destination, int32_t n) {
  const int32_t count = std::min(n, (fFill - fIndex) / 2);
  const uint8_t* p = fBuffer.data() + fIndex;
  for (int32_t i = 0; i < count; ++i) destination[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  fIndex += count * 2;
  return count;
}

int32_t TUnicodeBEReader::Decode(char16_t* destination, int32_t n) {
  const int32_t count = std::min(n, (fFill - fIndex) / 2);
  const uint8_t* p = fBuffer.data() + fIndex;
  for (int32_t i = 0; i < count; ++i) destination[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
  fIndex += count * 2;
  return count;
}

std::unique_ptr<TTextPosition> TUnicodeReader::GetPosition() {
  return std::make_unique<TUnicodeTextPosition>(this, fCharIndex, fBufferOffset + fIndex, 0);
}

void TUnicodeReader::SetPosition(const TTextPosition& position) {
  const auto* p = dynamic_cast<const TUnicodeTextPosition*>(&position);
  if (!p || p->Reader() != this) throw EIncorrectPositionValue();
  SeekTo(*fStream, p->fStreamOffset);
  ResetBuffer(p->fStreamOffset);
  fCharIndex = p->fCharIndex - p->fSkip;
  if (p->fSkip > 0 && SkipChars(p->fSkip) != p->fSkip) throw EStreamSeekError();
}

// ---------------------------------------------------------------------------
// UTF-8

int32_t TUTF8Reader::Decode(char16_t* destination, int32_t n) {
  int32_t done = 0;
  const uint8_t* buf = fBuffer.data();
  while (done < n && fIndex < fFill) {
    const uint8_t b = buf[fIndex];
    if (b < 0x80) {
      destination[done++] = b;
      ++fIndex;
      fPending = false;
      continue;
    }
    int32_t extra;
    uint32_t value;
    if (b >= 0xC0 && b <= 0xDF) {
      extra = 1, value = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, value = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF7) {
      extra = 3, value = b & 0x07;
    } else if (b >= 0xF8 && b <= 0xFB) {
      extra = 4, value = b & 0x03;
    } else if (b >= 0xFC && b <= 0xFD) {
      extra = 5, value = b & 0x01;
    } else {
      throw EInvalidChar();
    }
    if (fFill - fIndex < extra + 1) break;  // the refill keeps the partial sequence
    for (int32_t i = 1; i <= extra; ++i) {
      const uint8_t c = buf[fIndex + i];
      if (c < 0x80 || c > 0xBF) throw EInvalidChar();
      value = (value << 6) | (c & 0x3F);
    }
    const int32_t start = fIndex;
    fIndex += extra + 1;
    fPending = false;
    if (value < 0x10000) {
      destination[done++] = static_cast<char16_t>(value);
    } else if (value > 0x10FFFF) {
      throw TCommonException("Illegal char range for surrogates");
    } else {
      const char16_t high = static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      const char16_t low = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
      destination[done++] = high;
      if (done < n) {
        destination[done++] = low;
      } else {
        // Put the low surrogate's 3-byte form back just before the read index.
        fIndex -= 3;
        fBuffer[fIndex] = static_cast<uint8_t>(0xE0 | (low >> 12));
        fBuffer[fIndex + 1] = static_cast<uint8_t>(0x80 | ((low >> 6) & 0x3F));
        fBuffer[fIndex + 2] = static_cast<uint8_t>(0x80 | (low & 0x3F));
        fPending = true;
        fPendingOffset = fBufferOffset + start;
      }
    }
  }
  return done;
}

std::unique_ptr<TTextPosition> TUTF8Reader::GetPosition() {
  if (fPending) return std::make_unique<TUnicodeTextPosition>(this, fCharIndex, fPendingOffset, 1);
  return TUnicodeReader::GetPosition();
}

void TUTF8Reader::SetPosition(const TTextPosition& position) {
  fPending = false;
  TUnicodeReader::SetPosition(position);
}

// ---------------------------------------------------------------------------
// ANSI

namespace {

int CodePageFromEnvironment() {
  const char* text = std::getenv("ZEL_ANSI_CODEPAGE");
  if (!text || !*text) return 1252;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != 0 || value <= 0 || value > 65535) return 1252;
  return static_cast<int>(value);
}

// Converts bytes alone; 1: one UTF-16 unit in out; 0: no mapping;
// -1: incomplete (a lead byte).
int ConvertBytes(iconv_t cd, const uint8_t* bytes, size_t count, char16_t& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[4];
  std::memcpy(in, bytes, count);
  char outBytes[16];
  char* inPtr = in;
  size_t inLeft = count;
  char* outPtr = outBytes;
  size_t outLeft = sizeof(outBytes);
  const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  if (r == static_cast<size_t>(-1)) return errno == EINVAL ? -1 : 0;
  // Flush any shift state.
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  const size_t produced = sizeof(outBytes) - outLeft;
  if (produced != 2 || inLeft != 0) return 0;
  out = static_cast<char16_t>(static_cast<uint8_t>(outBytes[0]) | (static_cast<uint8_t>(outBytes[1]) << 8));
  return 1;
}

}  // namespace

TAnsiCodePage::TAnsiCodePage(int codePage) : fCodePage(codePage) {
  std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    fCodePage = 1252;
    cd = iconv_open("UTF-16LE", "CP1252");
  }
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    fCodePage = 28591;  // Latin-1 by identity
    for (int b = 0; b < 256; ++b) fSingle[b] = static_cast<char16_t>(b);
    return;
  }
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    char16_t c = 0;
    const int r = ConvertBytes(cd, &byte, 1, c);
    if (r == 1) {
      fSingle[b] = c;
    } else if (r == -1) {
      auto table = std::make_unique<TDBCSInfo>();
      for (int t = 0; t < 256; ++t) {
        const uint8_t pair[2] = {byte, static_cast<uint8_t>(t)};
        char16_t d = 0;
        if (ConvertBytes(cd, pair, 2, d) == 1) table->chars[t] = d;
      }
      fLead[b] = table.get();
      fTables.push_back(std::move(table));
    }
  }
  iconv_close(cd);
}

const TAnsiCodePage& TAnsiCodePage::Instance() {
  static const TAnsiCodePage instance(CodePageFromEnvironment());
  return instance;
}

TAnsiReader::TAnsiReader(TStream& stream) : TTextReader(stream) { fBlockOffset = stream.GetPosition(); }

bool TAnsiReader::NextBlock() {
  const int32_t unread = fBlockBytes - fConverter.fIndex;
  if (unread > 0 && fConverter.fIndex > 0)
    std::memmove(fConverter.fBlock.data(), fConverter.fBlock.data() + fConverter.fIndex, static_cast<size_t>(unread));
  fBlockOffset += fConverter.fIndex;
  fConverter.fIndex = 0;
  fBlockBytes = std::max(unread, 0);
  const int32_t got =
      fStream->Read(std::span<uint8_t>(fConverter.fBlock), TAnsiConverter::kBlockSize - fBlockBytes, fBlockBytes);
  if (got <= 0) return false;
  fBlockBytes += got;
  return true;
}

int32_t TAnsiReader::Read(char16_t* destination, int32_t n) {
  const TAnsiCodePage& cp = fConverter.fCodePage;
  const uint8_t* block = fConverter.fBlock.data();
  int32_t done = 0;
  while (done < n) {
    int32_t& i = fConverter.fIndex;
    if (i >= fBlockBytes) {
      if (!NextBlock()) break;
      continue;
    }
    const uint8_t b = block[i];
    if (!cp.IsLeadByte(b)) {
      destination[done++] = cp.Single(b);
      ++i;
    } else if (i + 1 < fBlockBytes) {
      destination[done++] = cp.Double(b, block[i + 1]);
      i += 2;
    } else {
      // The lead byte is the last one available: resume with the next block.
      if (!NextBlock()) {
        fConverter.fIndex = fBlockBytes;  // a lone lead byte at the end is dropped
        break;
      }
      if (fBlockBytes < 2) {
        fConverter.fIndex = fBlockBytes;
        break;
      }
    }
  }
  return done;
}

std::unique_ptr<TTextPosition> TAnsiReader::GetPosition() {
  return std::make_unique<TAnsiPosition>(this, fBlockOffset, fConverter.fIndex);
}

void TAnsiReader::SetPosition(const TTextPosition& position) {
  const auto* p = dynamic_cast<const TAnsiPosition*>(&position);
  if (!p || p->Reader() != this) throw EIncorrectPositionValue();
  SeekTo(*fStream, p->fBlockOffset);
  fBlockOffset = p->fBlockOffset;
  fConverter.fIndex = 0;
  fBlockBytes = 0;
  if (p->fIndex > 0) {
    const int32_t got = fStream->Read(std::span<uint8_t>(fConverter.fBlock), TAnsiConverter::kBlockSize);
    fBlockBytes = std::max(got, 0);
    if (fBlockBytes < p->fIndex) throw EStreamSeekError();
    fConverter.fIndex = p->fIndex;
  }
}

// ---------------------------------------------------------------------------
// Registry

namespace {

template <typename T>
std::unique_ptr<TTextReader> CreateReader(TStream& stream) {
  return std::make_unique<T>(stream);
}

struct TRegistry {
  std::mutex mutex;
  std::vector<TReaderInfo> entries;  // newest first (each registration prepends)
  TRegistry() {
    Prepend({"TUnicodeReader", &TUnicodeReader::CheckEncoding, &CreateReader<TUnicodeReader>});
    Prepend({"TUnicodeBEReader", &TUnicodeBEReader::CheckEncoding, &CreateReader<TUnicodeBEReader>});
    Prepend({"TUTF8Reader", &TUTF8Reader::CheckEncoding, &CreateReader<TUTF8Reader>});
    Prepend({"TAnsiReader", &TAnsiReader::CheckEncoding, &CreateReader<TAnsiReader>});
  }
  void Prepend(const TReaderInfo& info) { entries.insert(entries.begin(), info); }
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterReaderClass(const TReaderInfo& info) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  r.Prepend(info);
}

std::unique_ptr<TTextReader> CreateReaderForStream(TStream& stream) {
  TRegistry& r = Registry();
  std::vector<TReaderInfo> entries;
  {
    std::lock_guard lock(r.mutex);
    entries = r.entries;
  }
  // Registration order, oldest first.
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (it->check(stream)) return it->create(stream);
  }
  return nullptr;
}

std::vector<std::string> RegisteredReaderNames() {
  TRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it) names.emplace_back(it->name);
  return names;
}

// ---------------------------------------------------------------------------
// TStringParser

int32_t TStringParser::SkipForward(int32_t from, int32_t to, TCharTest test) const {
  const int32_t limit = std::min(to, Length());
  int32_t i = std::max(from, 1);
  while (i <= limit && test(At(i))) ++i;
  return i > limit ? std::max(to + 1, i) : i;
}

int32_t TStringParser::SkipBackward(int32_t from, int32_t to, TCharTest test) const {
  const int32_t lower = std::max(to, 1);
  int32_t i = std::min(from, Length());
  while (i >= lower && test(At(i))) --i;
  return i < lower ? std::min(to - 1, i) : i;
}

int32_t TStringParser::FindForward(int32_t from, int32_t to, TCharTest test) const {
  const int32_t limit = std::min(to, Length());
  for (int32_t i = std::max(from, 1); i <= limit; ++i)
    if (test(At(i))) return i;
  return std::max(to + 1, from);
}

int32_t TStringParser::FindCharForward(int32_t from, int32_t to, TStringView set) const {
  const int32_t limit = std::min(to, Length());
  if (set.size() == 1) {
    const char16_t c = set[0];
    for (int32_t i = std::max(from, 1); i <= limit; ++i)
      if (At(i) == c) return i;
  } else {
    for (int32_t i = std::max(from, 1); i <= limit; ++i)
      if (set.find(At(i)) != TStringView::npos) return i;
  }
  return std::max(to + 1, from);
}

int32_t TStringParser::FindCharBackward(int32_t from, int32_t to, TStringView set) const {
  const int32_t lower = std::max(to, 1);
  for (int32_t i = std::min(from, Length()); i >= lower; --i) {
    const char16_t c = At(i);
    if (set.size() == 1 ? c == set[0] : set.find(c) != TStringView::npos) return i;
  }
  return std::min(to - 1, from);
}

// ---------------------------------------------------------------------------
// TTextParser

TTextParser::TTextParser() : fBuffer(kBufferSize) {}

TTextParser::TTextParser(TStream& stream) : TTextParser() { AttachStream(&stream, false); }

TTextParser::~TTextParser() { Release(); }

void TTextParser::AttachStream(TStream* stream, bool owned) {
  Release();
  fStream = stream;
  fOwnsStream = owned;
  if (!stream) return;
  fReader = CreateReaderForStream(*stream).release();
  fOwnsReader = true;
  if (fReader) fStart = fReader->GetPosition();
}

void TTextParser::AttachReader(TTextReader* reader, bool readerOwned, bool streamOwned) {
  Release();
  fReader = reader;
  fOwnsReader = readerOwned;
  fStream = reader ? &reader->Stream() : nullptr;
  fOwnsStream = streamOwned;
  if (fReader) fStart = fReader->GetPosition();
}

void TTextParser::Release() {
  fStart.reset();
  if (fOwnsReader) delete fReader;
  fReader = nullptr;
  fOwnsReader = false;
  if (fOwnsStream) delete fStream;
  fStream = nullptr;
  fOwnsStream = false;
  fEndOfText = true;
}

TStream* TTextParser::DetachStream() {
  TStream* s = fStream;
  fOwnsStream = false;
  fStream = nullptr;
  return s;
}

TTextReader* TTextParser::DetachReader() {
  TTextReader* r = fReader;
  fStart.reset();
  fOwnsReader = false;
  fReader = nullptr;
  return r;
}

bool TTextParser::Fill() {
  fBufferOffset += fFill;
  fFill = fReader->Read(fBuffer.data(), kBufferSize);
  fIndex = 1;
  if (fFill <= 0) {
    fFill = 0;
    fEndOfText = true;
    return false;
  }
  return true;
}

bool TTextParser::FirstLine() {
  fLine.clear();
  fLineEnd = leNone;
  fLineIndex = -1;
  fEndOfText = true;
  if (!fReader || !fStart) return false;
  fReader->SetPosition(*fStart);
  fFill = 0;
  fIndex = 1;
  fBufferOffset = 0;
  if (!Fill()) return false;
  fEndOfText = false;
  return NextLine();
}

bool TTextParser::NextLine() {
  fLine.clear();
  fPos = 1;
  if (fEndOfText || !fReader) return false;
  if (fIndex > fFill && !Fill()) return false;
  fLineStart = fBufferOffset + fIndex - 1;
  for (;;) {
    const char16_t* buf = fBuffer.data();
    int32_t i = fIndex;  // 1-based
    while (i <= fFill && buf[i - 1] != 13 && buf[i - 1] != 10) ++i;
    fLine.append(buf + (fIndex - 1), static_cast<size_t>(i - fIndex));
    if (i <= fFill) {
      const char16_t c = buf[i - 1];
      const char16_t other = c == 13 ? 10 : 13;
      fIndex = i + 1;
      if (fIndex > fFill) Fill();
      if (fIndex <= fFill && fBuffer[fIndex - 1] == other) {
        ++fIndex;
        fLineEnd = c == 13 ? leCRLF : leLFCR;
      } else {
        fLineEnd = c == 13 ? leCR : leLF;
      }
      break;
    }
    fIndex = fFill + 1;
    if (!Fill()) {
      fLineEnd = leNone;
      break;
    }
  }
  ++fLineIndex;
  return true;
}

// ---------------------------------------------------------------------------
// Writers

void TTextWriter::Flush() {
  if (fFill > 0 && fStream) {
    const int32_t written = fStream->Write(std::span<const uint8_t>(fBuffer), fFill);
    if (written < fFill) {
      fFill = 0;
      throw EStreamWriteError();
    }
  }
  fFill = 0;
}

void TTextWriter::Detach() {
  Flush();
  fStream = nullptr;
}

TUnicodeWriter::TUnicodeWriter(TStream* stream) : TTextWriter(stream) {
  if (stream) {
    fBuffer[0] = 0xFF;
    fBuffer[1] = 0xFE;
    fFill = 2;
    Flush();
  }
}

TUnicodeWriter::~TUnicodeWriter() {
  try {
    Detach();
  } catch (...) {
  }
}

void TUnicodeWriter::Put(char16_t c) {
  if (fFill >= 32767) Flush();
  fBuffer[fFill++] = static_cast<uint8_t>(c & 0xFF);
  fBuffer[fFill++] = static_cast<uint8_t>(c >> 8);
}

void TUnicodeWriter::Write(TStringView text, int32_t lineEnd) {
  for (char16_t c : text) Put(c);
  switch (lineEnd) {
    case leLF: Put(10); break;
    case leCR: Put(13); break;
    case leLFCR: Put(10), Put(13); break;
    case leCRLF: Put(13), Put(10); break;
    default: break;
  }
}

TUTF8Writer::TUTF8Writer(TStream* stream) : TTextWriter(stream) {
  if (stream) {
    fBuffer[0] = 0xEF;
    fBuffer[1] = 0xBB;
    fBuffer[2] = 0xBF;
    fFill = 3;
    Flush();
  }
}

TUTF8Writer::~TUTF8Writer() {
  try {
    Detach();
  } catch (...) {
  }
}

void TUTF8Writer::Write(TStringView text, int32_t lineEnd) {
  const size_t n = text.size();
  uint8_t* out = fBuffer.data();
  for (size_t i = 0; i < n; ++i) {
    if (fFill > 32762) Flush();
    uint32_t v = text[i];
    if (v < 0x80) {
      out[fFill++] = static_cast<uint8_t>(v);
      continue;
    }
    if (v >= 0xD800 && v <= 0xDBFF && i + 1 < n) {
      const uint32_t low = text[i + 1];
      if (low < 0xDC00 || low > 0xDFFF) throw EInvalidChar();
      v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
      ++i;
      out[fFill++] = static_cast<uint8_t>(0xF0 | (v >> 18));
      out[fFill++] = static_cast<uint8_t>(0x80 | ((v >> 12) & 0x3F));
      out[fFill++] = static_cast<uint8_t>(0x80 | ((v >> 6) & 0x3F));
      out[fFill++] = static_cast<uint8_t>(0x80 | (v & 0x3F));
    } else if (v < 0x800) {
      out[fFill++] = static_cast<uint8_t>(0xC0 | (v >> 6));
      out[fFill++] = static_cast<uint8_t>(0x80 | (v & 0x3F));
    } else {
      out[fFill++] = static_cast<uint8_t>(0xE0 | (v >> 12));
      out[fFill++] = static_cast<uint8_t>(0x80 | ((v >> 6) & 0x3F));
      out[fFill++] = static_cast<uint8_t>(0x80 | (v & 0x3F));
    }
  }
  if (lineEnd >= leLF && lineEnd <= leCRLF) {
    if (fFill > 32762) Flush();
    switch (lineEnd) {
      case leLF: out[fFill++] = 10; break;
      case leCR: out[fFill++] = 13; break;
      case leLFCR: out[fFill++] = 10, out[fFill++] = 13; break;
      case leCRLF: out[fFill++] = 13, out[fFill++] = 10; break;
    }
  }
}

}  // namespace zel
