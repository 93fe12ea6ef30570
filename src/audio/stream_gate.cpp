#include "audio/stream_gate.h"

#include <mutex>
#include <span>

#include "audio/mp3_shift_stream.h"

namespace zel {

TString StripStreamSuffix(TStringView name, int32_t* streamIndex) {
  if (streamIndex) *streamIndex = -1;
  const size_t mark = name.rfind(u'?');
  if (mark == TStringView::npos) return TString(name);
  const TStringView digits = name.substr(mark + 1);
  // At most nine digits, so the number fits and a long run of digits stays
  // part of the name.
  if (digits.empty() || digits.size() > 9) return TString(name);
  int32_t value = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return TString(name);
    value = value * 10 + (c - u'0');
  }
  if (streamIndex) *streamIndex = value;
  return TString(name.substr(0, mark));
}

std::unique_ptr<TStream> TStreamWrapperClass::Open(TStringView name, const TStreamOpener& opener) {
  std::lock_guard lock(fLock);
  const TString fileName = StripStreamSuffix(name);
  if (opener) return opener(fileName);
  return TBufferedFileStream::OpenRead(StringToUtf8(fileName));
}

std::unique_ptr<TStream> TStreamWrapperClass::OpenShifted(TStringView name, int64_t offset,
                                                          const TStreamOpener& opener) {
  std::lock_guard lock(fLock);
  auto inner = Open(name, opener);
  if (!inner) return nullptr;
  return std::make_unique<TMp3ShiftStream>(std::move(inner), offset);
}

void TStreamWrapperClass::Close(std::unique_ptr<TStream> stream, const TStreamCloser& closer) {
  std::lock_guard lock(fLock);
  if (!stream) return;
  if (auto* shifted = dynamic_cast<TMp3ShiftStream*>(stream.get())) {
    auto inner = shifted->ReleaseInner();
    stream = std::move(inner);  // frees the wrapper
  }
  if (closer) {
    closer(std::move(stream));
  } else {
    stream.reset();
  }
}

int64_t TStreamWrapperClass::Position(TStream& stream) {
  std::lock_guard lock(fLock);
  return stream.GetPosition();
}

int64_t TStreamWrapperClass::Size(TStream& stream) {
  std::lock_guard lock(fLock);
  return stream.GetSize();
}

int64_t TStreamWrapperClass::Seek(TStream& stream, int64_t offset, int32_t origin) {
  std::lock_guard lock(fLock);
  switch (origin) {
    case 0: break;
    case 1: offset += stream.GetPosition(); break;
    case 2: offset += stream.GetSize(); break;
    default: ZEL_ASSERT(false, "Unknown seek origin");
  }
  stream.SetPosition(offset);
  return stream.GetPosition();
}

int32_t TStreamWrapperClass::Read(TStream& stream, void* buffer, int32_t count) {
  if (count <= 0 || !buffer) return 0;
  std::lock_guard lock(fLock);
  return stream.Read(std::span<uint8_t>(static_cast<uint8_t*>(buffer), static_cast<size_t>(count)), count);
}

int64_t TStreamWrapperClass::ReadLarge(TStream& stream, void* buffer, int64_t count) {
  ZEL_ASSERT(count <= kMaxReadCount, "Too many");
  return Read(stream, buffer, static_cast<int32_t>(count));
}

TStreamWrapperClass& StreamWrapper() {
  static TStreamWrapperClass gate;
  return gate;
}

namespace {

// Runs one gate request for a C caller: whatever it raises becomes -1.
template <typename F>
int64_t ForC(F&& request) noexcept {
  try {
    return request();
  } catch (...) {
    return -1;
  }
}

TStream& AsStream(void* stream) { return *static_cast<TStream*>(stream); }

int64_t CRead(void* stream, void* buffer, int32_t count) {
  return ForC([&] { return StreamWrapper().Read(AsStream(stream), buffer, count); });
}
int64_t CPosition(void* stream) {
  return ForC([&] { return StreamWrapper().Position(AsStream(stream)); });
}
int64_t CSeek(void* stream, int32_t offset, int32_t origin) {
  return ForC([&] { return StreamWrapper().Seek(AsStream(stream), offset, origin); });
}
int64_t CSize(void* stream) {
  return ForC([&] { return StreamWrapper().Size(AsStream(stream)); });
}
int64_t CRead64(void* stream, void* buffer, int64_t count) {
  return ForC([&] { return StreamWrapper().ReadLarge(AsStream(stream), buffer, count); });
}
int64_t CSeek64(void* stream, int64_t offset, int32_t origin) {
  return ForC([&] { return StreamWrapper().Seek(AsStream(stream), offset, origin); });
}

}  // namespace

const TStreamFunctions& StreamFunctions() {
  static const TStreamFunctions table = {CRead, CPosition, CSeek, CSize, CRead64, CPosition, CSeek64, CSize};
  return table;
}

}  // namespace zel
