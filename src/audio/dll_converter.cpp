#include "audio/dll_converter.h"

#include <atomic>
#include <mutex>

#include "audio/ogg_decoder.h"
#include "core/log.h"
#include "core/obj.h"
#include "core/sync.h"

namespace zel {

namespace {

// A decoder that keeps answering "more" without completing a frame is
// taken as ended after this many calls, so that Fill cannot spin.
constexpr int kMaxEmptyPieces = 64;

// The libraries of the two kinds, behind one lock: the loader thread
// identifies files while the feeder threads make decoders.
// Ogg Vorbis is built into this library and always there; WMA comes from
// the media library, which registers it at start-up.
struct TDllDecRegistry {
  TCriticalSection Lock;
  std::shared_ptr<TDllDec> Wma;
  std::shared_ptr<TDllDec> Ogg = std::make_shared<TOggDec>();

  std::shared_ptr<TDllDec>* Slot(TMediaKind kind) {
    if (kind == TMediaKind::Wma) return &Wma;
    if (kind == TMediaKind::Ogg) return &Ogg;
    return nullptr;
  }
};

TDllDecRegistry& Registry() {
  static TDllDecRegistry registry;
  return registry;
}

// Shows may carry the plug-in library files for these kinds; they are never
// loaded here. Said once per process, the first time a built-in decoder
// stands in for them.
void NoteBuiltInDecoders() {
  static std::atomic<bool> noted{false};
  if (noted.exchange(true)) return;
  Log().Write("Plug-in sound libraries are not loaded: built-in decoders serve Ogg and WMA");
}

}  // namespace

std::shared_ptr<TDllDec> SetDllDec(TMediaKind kind, std::shared_ptr<TDllDec> library) {
  TDllDecRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  std::shared_ptr<TDllDec>* slot = registry.Slot(kind);
  ZEL_ASSERT(slot != nullptr, "No plug-in decoder for this kind");
  std::shared_ptr<TDllDec> previous = std::move(*slot);
  *slot = std::move(library);
  return previous;
}

std::shared_ptr<TDllDec> DllDec(TMediaKind kind) {
  std::shared_ptr<TDllDec> library;
  {
    TDllDecRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    if (std::shared_ptr<TDllDec>* slot = registry.Slot(kind)) library = *slot;
  }
  if (library) NoteBuiltInDecoders();
  return library;
}

TDllConverter::TDllConverter(TStream* stream, std::shared_ptr<TDllDec> library)
    : TWavConverter(stream), fLibrary(std::move(library)) {}

// The decoder goes first: its output callback writes into this object.
TDllConverter::~TDllConverter() { fDecoder.reset(); }

bool TDllConverter::Open(const TMediaInfo& info) {
  fDecoder.reset();
  if (!fLibrary || !Stream()) return false;
  const TWaveFormat& format = info.Format;
  if (format.BitsPerSample != 16 || format.Channels == 0 || format.SamplesPerSec == 0 ||
      format.BlockAlign != 2 * format.Channels)
    return false;
  NoteBuiltInDecoders();
  // Buffers first: their Seek(0) finds no decoder yet, and the new decoder
  // starts at the beginning anyway.
  OpenBuffers(info, format);
  // Input is free (nothing is read here), so the PCM the library hands out
  // collects there until Decode moves it on.
  fDecoder = fLibrary->CreateDecoder(*Stream(), [this](const uint8_t* pcm, int64_t bytes) {
    if (pcm && bytes > 0) Input.AppendBytes(pcm, bytes);
  });
  return fDecoder != nullptr;
}

void TDllConverter::Seek(double ms) {
  ClearBuffers();
  if (fDecoder && !fDecoder->SetPosition(ms)) Log().WriteFloat("Sound decoder cannot seek to ", ms, " ms");
  Position = ms;
}

bool TDllConverter::ReadMore() { return true; }

bool TDllConverter::Decode(TLocalBuffer& input) {
  // The output callback fills Input, which is what Fill passes.
  ZEL_ASSERT(&input == &Input, "Plug-in decoders decode their own input");
  // A layout the resampler cannot convert would come out as nothing.
  if (!fDecoder || (Resampler() && !Resampler()->Valid())) return false;
  const int64_t frame = fDecodedFormat.BlockAlign;
  for (int empty = 0; input.Length() < frame; ++empty) {
    if (empty == kMaxEmptyPieces || !fDecoder->Decode()) break;
  }
  // Whole frames only; a partial one waits for the rest of its bytes.
  const int64_t whole = frame > 0 ? input.Length() / frame * frame : 0;
  if (whole == 0) return false;
  Deliver(std::span<const uint8_t>(input.Data(), static_cast<size_t>(whole)));
  input.Consume(whole);
  return true;
}

}  // namespace zel
