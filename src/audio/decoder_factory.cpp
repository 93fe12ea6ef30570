#include "audio/decoder_factory.h"

#include <map>
#include <mutex>
#include <string>

#include "audio/adpcm_converter.h"
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

std::unique_ptr<TWavConverter> CreateDecoder(TStream* stream, TStringView name, const TMediaInfo& info) {
  switch (info.Kind) {
    case TMediaKind::Pcm:
    case TMediaKind::IeeeFloat: return std::make_unique<TWavConverter>(stream);
    case TMediaKind::MsAdpcm: return std::make_unique<TAdpcmConverter>(stream);
    case TMediaKind::Mpeg:
    case TMediaKind::Wma:
    case TMediaKind::Ogg:
    case TMediaKind::MediaLibrary: {
      TCompressedDecoderMaker maker;
      {
        TMakerSlot& slot = MakerSlot();
        std::lock_guard lock(slot.Lock);
        const auto found = slot.Makers.find(info.Kind);
        if (found != slot.Makers.end()) maker = found->second;
      }
      // Made outside the lock: a maker may take a while (loading a library).
      return maker ? maker(stream, name, info) : nullptr;
    }
    case TMediaKind::None:
    case TMediaKind::Composite: break;
  }
  // Reported, not raised: the caller treats a missing decoder as a file it
  // cannot play.
  ReportAssertion("No decoder for media kind " + std::to_string(static_cast<int>(info.Kind)), __FILE__, __LINE__);
  return nullptr;
}

}  // namespace zel
