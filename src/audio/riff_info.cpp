#include "audio/riff_info.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "audio/stream_gate.h"

namespace zel {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Reads count bytes at offset through the gate; false when fewer came.
bool ReadAt(TStream& stream, int64_t offset, uint8_t* buffer, int32_t count) {
  StreamWrapper().Seek(stream, offset, 0);
  return StreamWrapper().Read(stream, buffer, count) == count;
}

}  // namespace

bool TRiffInfo::ReadFormat(TStream& stream, int64_t content, uint32_t size) {
  // The format with its extra size, then (for MS ADPCM) the extra bytes.
  std::array<uint8_t, kFormatSize + sizeof(TExtraFormat)> bytes{};
  const int32_t wanted = static_cast<int32_t>(std::min<uint32_t>(size, bytes.size()));
  if (wanted < 16 || !ReadAt(stream, content, bytes.data(), wanted)) return false;
  Format.FormatTag = Le16(&bytes[0]);
  Format.Channels = Le16(&bytes[2]);
  Format.SamplesPerSec = Le32(&bytes[4]);
  Format.AvgBytesPerSec = Le32(&bytes[8]);
  Format.BlockAlign = Le16(&bytes[12]);
  Format.BitsPerSample = Le16(&bytes[14]);
  Format.ExtraSize = wanted >= kFormatSize ? Le16(&bytes[16]) : 0;
  if (Format.FormatTag == static_cast<uint16_t>(TWaveFormatTag::MsAdpcm)) {
    // Bytes past the chunk's end stay 0.
    std::copy(bytes.begin() + kFormatSize, bytes.end(), ExtraFormat.begin());
  }
  return true;
}

TRiffOutcome TRiffInfo::Read(TStream& stream) {
  *this = TRiffInfo();
  uint8_t header[12];
  if (!ReadAt(stream, 0, header, 12) || !IsId(header, "RIFF") || !IsId(header + 8, "WAVE")) {
    return TRiffOutcome::NotWave;
  }
  // A stream of unknown size (-1) is walked until a header read comes short.
  const int64_t knownSize = StreamWrapper().Size(stream);
  const int64_t streamSize = knownSize < 0 ? std::numeric_limits<int64_t>::max() / 2 : knownSize;
  bool haveFormat = false;
  int64_t position = 12;
  uint8_t chunk[kChunkHeaderSize];
  while (position + kChunkHeaderSize <= streamSize && ReadAt(stream, position, chunk, kChunkHeaderSize)) {
    const uint32_t size = Le32(chunk + 4);  // unsigned: 0x80000000 is 2 GiB, not negative
    const int64_t content = position + kChunkHeaderSize;
    if (!haveFormat && IsId(chunk, "fmt ")) {
      if (!ReadFormat(stream, content, size)) return TRiffOutcome::NoFormat;
      haveFormat = true;
    } else if (haveFormat && IsId(chunk, "data")) {
      DataOffset = content;
      DataSize = std::min<int64_t>(size, streamSize - content);
      return TRiffOutcome::Found;
    }
    const int64_t next = content + size;
    if (next <= position) break;  // a walk that does not advance would never end
    position = next;
  }
  return haveFormat ? TRiffOutcome::NoData : TRiffOutcome::NoFormat;
}

}  // namespace zel
