// The chunk walk of a WAV file: its wave format, the format's extra bytes
// and where its "data" chunk lies.
#pragma once

#include <cstdint>

#include "audio/media_info.h"
#include "core/streams.h"

namespace zel {

enum class TRiffOutcome {
  NotWave,     // no "RIFF" ... "WAVE" header
  NoFormat,    // no complete "fmt " chunk before the end
  NoData,      // a format, but no "data" chunk after it
  Found,       // format and data
};

class TRiffInfo {
 public:
  // Every chunk header has this many bytes: its id and its size.
  static constexpr int64_t kChunkHeaderSize = 8;
  // The part of "fmt " that holds the wave format with its extra size.
  static constexpr int64_t kFormatSize = 18;

  // Walks the chunks from the start of the stream. The first "fmt " chunk
  // gives the format (and for MS ADPCM its extra bytes); the first "data"
  // chunk after it gives the data. Other chunks ("LIST" and the like) are
  // skipped wherever they are. Sizes are unsigned and no padding byte is
  // assumed after an odd size; the walk ends at the end of the stream. A
  // data size beyond the end of the stream is cut to the bytes there are.
  TRiffOutcome Read(TStream& stream);

  TWaveFormat Format;
  TExtraFormat ExtraFormat{};
  int64_t DataOffset = 0;
  int64_t DataSize = 0;

 private:
  bool ReadFormat(TStream& stream, int64_t content, uint32_t size);
};

}  // namespace zel
