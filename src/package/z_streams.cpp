#include "package/z_streams.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace zel {

const char* const kInvalidZStreamOperation = "Invalid ZStream operation!";

std::string ZLibErrorText(int code) {
  switch (code) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_END: return "stream end";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "zlib error " + std::to_string(code);
  }
}

namespace {

void CheckInit(int rc) {
  if (rc != Z_OK) throw EZDecompressionError(ZLibErrorText(rc));
}

}  // namespace

// ---------------------------------------------------------------------------

TCustomZStream::TCustomZStream(TStream& source, int windowBits)
    : fSource(source), fCreationPosition(source.GetPosition()), fSourcePosition(fCreationPosition),
      fInput(kInputBufferSize) {
  CheckInit(inflateInit2(&fZ, windowBits));
}

TCustomZStream::~TCustomZStream() { inflateEnd(&fZ); }

// ---------------------------------------------------------------------------

int32_t TZDecompressionStream::DoRead(std::span<uint8_t> destination) {
  fZ.next_out = destination.data();
  fZ.avail_out = static_cast<uInt>(destination.size());
  // Several readers may share one source: continue where this one left it.
  if (fSource.GetPosition() != fSourcePosition) fSource.SetPosition(fSourcePosition);
  while (fZ.avail_out > 0 && !fEnded) {
    if (fZ.avail_in == 0) {
      const int32_t got = fSource.Read(fInput, static_cast<int32_t>(fInput.size()));
      if (got <= 0) break;
      fZ.next_in = fInput.data();
      fZ.avail_in = static_cast<uInt>(got);
      fSourcePosition = fSource.GetPosition();
      if (fProgress) fProgress();
    }
    const int rc = inflate(&fZ, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      fEnded = true;
    } else if (rc < 0 || rc == Z_NEED_DICT) {
      // A preset dictionary is never supplied, so waiting for one would loop for ever.
      throw EZDecompressionError(ZLibErrorText(rc));
    }
  }
  if (fEnded && fZ.avail_in > 0) {
    fSourcePosition = fSource.GetPosition();
    fZ.avail_in = 0;
  }
  const auto produced = static_cast<int32_t>(destination.size() - fZ.avail_out);
  fProduced += produced;
  return produced;
}

int32_t TZDecompressionStream::DoWrite(std::span<const uint8_t>) {
  throw EZDecompressionError(kInvalidZStreamOperation);
}

void TZDecompressionStream::Restart() {
  CheckInit(inflateReset(&fZ));
  fZ.avail_in = 0;
  fEnded = false;
  fProduced = 0;
  fSourcePosition = fCreationPosition;
  fSource.SetPosition(fCreationPosition);
}

int64_t TZDecompressionStream::Seek(int64_t position) {
  const auto target = static_cast<int64_t>(static_cast<uint32_t>(position));
  if (target == 0) {
    Restart();
  } else if (target >= fProduced) {
    uint8_t discard[8192];
    while (fProduced < target) {
      const auto want = static_cast<int32_t>(std::min<int64_t>(sizeof discard, target - fProduced));
      if (TZDecompressionStream::DoRead(std::span<uint8_t>(discard, static_cast<size_t>(want))) != want)
        throw EStreamReadError();
    }
  } else {
    throw EZDecompressionError(kInvalidZStreamOperation);
  }
  return fProduced;
}

int64_t TZDecompressionStream::SeekToEnd() {
  uint8_t discard[8192];
  while (TZDecompressionStream::DoRead(discard) > 0) {
  }
  return fProduced;
}

// ---------------------------------------------------------------------------

int32_t TInflateStream::DoRead(std::span<uint8_t> destination) {
  const int32_t got = TZDecompressionStream::DoRead(destination);
  fPosition += got;
  return got;
}

void TInflateStream::SetPosition(int64_t position) {
  if (position == fPosition) return;
  Seek(position);
  fPosition = position;
}

void TInflateStream::SetSize(int64_t) { throw EZDecompressionError(kInvalidZStreamOperation); }

// ---------------------------------------------------------------------------

namespace {

// What the call-back inflater's C callbacks need; exceptions are caught
// there and raised again once zlib has returned.
struct TInflateWholeContext {
  TStream* source = nullptr;
  TMemoryStream* target = nullptr;
  const TProgressCallback* progress = nullptr;
  std::vector<uint8_t>* input = nullptr;
  int64_t limit = 0;
  int64_t produced = 0;
  bool overLimit = false;
  std::exception_ptr failure;
};

unsigned InflateInput(void* opaque, z_const unsigned char** buffer) {
  auto& c = *static_cast<TInflateWholeContext*>(opaque);
  try {
    const int32_t got = c.source->Read(*c.input, static_cast<int32_t>(c.input->size()));
    if (*c.progress) (*c.progress)();
    *buffer = c.input->data();
    return got > 0 ? static_cast<unsigned>(got) : 0;
  } catch (...) {
    c.failure = std::current_exception();
    *buffer = c.input->data();
    return 0;
  }
}

int InflateOutput(void* opaque, unsigned char* buffer, unsigned length) {
  auto& c = *static_cast<TInflateWholeContext*>(opaque);
  c.produced += length;
  if (c.produced > c.limit) {
    c.overLimit = true;
    return 1;
  }
  try {
    const auto n = static_cast<int32_t>(length);
    return c.target->Write(std::span<const uint8_t>(buffer, length), n) == n ? 0 : 1;
  } catch (...) {
    c.failure = std::current_exception();
    return 1;
  }
}

std::string OverLimitText(int64_t limit) {
  return "The inflated data exceeds the limit of " + std::to_string(limit) + " bytes";
}

}  // namespace

void TInflator::InflateWhole(TStream& source, TMemoryStream& target) {
  std::vector<uint8_t> window(kBufferSize);
  std::vector<uint8_t> input(kBufferSize);
  z_stream z{};
  CheckInit(inflateBackInit(&z, 15, window.data()));
  TInflateWholeContext context;
  context.source = &source;
  context.target = &target;
  context.progress = &fProgress;
  context.input = &input;
  context.limit = fLimit;
  const int rc = inflateBack(&z, InflateInput, &context, InflateOutput, &context);
  inflateBackEnd(&z);
  if (context.failure) std::rethrow_exception(context.failure);
  if (context.overLimit) throw EZDecompressionError(OverLimitText(fLimit));
  if (rc != Z_OK && rc != Z_STREAM_END) throw EZDecompressionError(ZLibErrorText(rc));
}

std::unique_ptr<TMemoryStream> InflateToMemory(TStream& decompressing, int64_t limit) {
  auto memory = std::make_unique<TMemoryStream>();
  std::vector<uint8_t> block(TCustomZStream::kInputBufferSize);
  int64_t total = 0;
  for (;;) {
    const int32_t got = decompressing.Read(block);
    if (got <= 0) break;
    total += got;
    if (total > limit) throw EZDecompressionError(OverLimitText(limit));
    if (memory->Write(block, got) != got) throw EStreamWriteError("Out of memory while inflating");
  }
  memory->SetPosition(0);
  return memory;
}

}  // namespace zel
