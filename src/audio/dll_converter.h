// The decoders of the kinds that once came from plug-in libraries (Ogg
// Vorbis, WMA): each is a TDllDec with the plug-in's five operations, built
// into the program, and a TDllConverter adapts one to the decoder base.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/media_info.h"
#include "audio/wav_converter.h"
#include "core/streams.h"

namespace zel {

// One built-in decoder library. Streams are read through the stream gate.
class TDllDec {
 public:
  // Receives decoded 16-bit PCM (interleaved, the format GetMediaInfo gave).
  using TOutput = std::function<void(const uint8_t* pcm, int64_t bytes)>;
  // A decoder made by CreateDecoder; destroying it is the plug-in's
  // "DestroyDecoder".
  class TDecoder {
   public:
    virtual ~TDecoder() = default;
    // Decodes the next piece and hands its PCM to the output; false at the
    // end of the stream (or on an error that ends decoding).
    virtual bool Decode() = 0;
    // Positions at ms; false when the stream cannot be positioned.
    virtual bool SetPosition(double ms) = 0;
  };

  virtual ~TDllDec() = default;
  // Whether the stream is of this library's kind; when it is, the playing
  // time (ms), the offset of the sound data (0 when the container has no
  // such notion) and the 16-bit PCM format it decodes to.
  virtual bool GetMediaInfo(TStream& stream, int32_t& durationMs, int64_t& dataOffset, TWaveFormat& format) = 0;
  // A decoder on the stream (not owned; it outlives the decoder), or none.
  virtual std::unique_ptr<TDecoder> CreateDecoder(TStream& stream, TOutput output) = 0;
};

// Which library serves a kind: Ogg (6) and WMA (5). Installed at start-up
// by whoever builds them in; returns the previous one. None: the kind has
// no decoder.
std::shared_ptr<TDllDec> SetDllDec(TMediaKind kind, std::shared_ptr<TDllDec> library);
std::shared_ptr<TDllDec> DllDec(TMediaKind kind);

// The decoder base over a TDllDec decoder: Open makes the decoder, Decode
// asks it for the next piece, Seek positions it, ReadMore always reports
// data (the library reads the stream itself).
class TDllConverter : public TWavConverter {
 public:
  TDllConverter(TStream* stream, std::shared_ptr<TDllDec> library);
  ~TDllConverter() override;

  void Seek(double ms) override;
  bool Decode(TLocalBuffer& input) override;
  bool ReadMore() override;
  bool Open(const TMediaInfo& info) override;

 private:
  std::shared_ptr<TDllDec> fLibrary;
  std::unique_ptr<TDllDec::TDecoder> fDecoder;
};

}  // namespace zel
