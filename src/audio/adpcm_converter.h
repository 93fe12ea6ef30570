// The decoder of Microsoft ADPCM WAV files: whole blocks to 16-bit PCM of
// the file's rate and channels.
#pragma once

#include "audio/adpcm_decoder.h"
#include "audio/wav_converter.h"

namespace zel {

class TAdpcmConverter : public TWavConverter {
 public:
  static constexpr int64_t kAdpcmChunkSize = 2048;

  explicit TAdpcmConverter(TStream* stream) : TWavConverter(stream) {}

  // Moves to the start of the block that holds ms; Position is that
  // block's start time.
  void Seek(double ms) override;
  // Decodes the whole blocks of input; a partial block waits for the next
  // read, except at the end of the data. False at a block that does not
  // decode (the blocks before it are delivered).
  bool Decode(TLocalBuffer& input) override;
  // False for a format whose parameters cannot be decoded.
  bool Open(const TMediaInfo& info) override;

  const TAdpcmFormat& AdpcmFormat() const { return fFormat; }

 private:
  TAdpcmFormat fFormat;
};

}  // namespace zel
