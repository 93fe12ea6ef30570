#include "audio/decoder_factory.h"

#include <map>
#include <mutex>
#include <string>

#include "audio/adpcm_converter.h"
#include "audio/dll_converter.h"
#include "audio/mpeg_converter.h"
#include "core/sync.h"

namespace zel {

namespace {

// The makers are set at start-up and read by the loader and feeder threads.
struct TMakerSlot {
  TCriticalSection Lock;
  std::map<TMediaKind, TCompressedDecoderMaker> Makers;
};

TMakerSlot& MakerSlot() {
  static TMakerSlot slot;
  return slot;
}

}  // namespace

TCompressedDecoderMaker SetDecoderMaker(TMediaKind kind, TCompressedDecoderMaker maker) {
  TMakerSlot& slot = MakerSlot();
  std::lock_guard lock(slot.Lock);
  std::swap(slot.Makers[kind], maker);
  return maker;
}

namespace {

// The maker registered for a kind, if any.
TCompressedDecoderMaker RegisteredMaker(TMediaKind kind) {
  TMakerSlot& slot = MakerSlot();
  std::lock_guard lock(slot.Lock);
  const auto found = slot.Makers.find(kind);
  return found != slot.Makers.end() ? found->second : nullptr;
}

// The decoders built into this library; none for the kinds that come from
// elsewhere.
std::unique_ptr<TWavConverter> BuiltInDecoder(TStream* stream, const TMediaInfo& info) {
  switch (info.Kind) {
    case TMediaKind::Pcm:
    case TMediaKind::IeeeFloat: return std::make_unique<TWavConverter>(stream);
    case TMediaKind::MsAdpcm: return std::make_unique<TAdpcmConverter>(stream);
    case TMediaKind::Mpeg: return std::make_unique<TMpegConverter>(stream);
    case TMediaKind::Wma:
    case TMediaKind::Ogg:
      // The former plug-in kinds: their library when there is one.
      if (auto library = DllDec(info.Kind)) return std::make_unique<TDllConverter>(stream, std::move(library));
      return nullptr;
    default: return nullptr;
  }
}

}  // namespace

std::unique_ptr<TWavConverter> CreateDecoder(TStream* stream, TStringView name, const TMediaInfo& info) {
  if (info.Kind == TMediaKind::None || info.Kind == TMediaKind::Composite || info.Kind > TMediaKind::MediaLibrary) {
    // Reported, not raised: the caller treats a missing decoder as a file it
    // cannot play.
    ReportAssertion("No decoder for media kind " + std::to_string(static_cast<int>(info.Kind)), __FILE__, __LINE__);
    return nullptr;
  }
  // A registered maker comes first (made outside the lock: a maker may take
  // a while); the built-in decoder when it gives none.
  if (TCompressedDecoderMaker maker = RegisteredMaker(info.Kind)) {
    if (auto decoder = maker(stream, name, info)) return decoder;
  }
  return BuiltInDecoder(stream, info);
}

}  // namespace zel
