// WAV files built byte by byte for the sound tests and the fuzz seeds:
// chunks with any stated size, formats with any field, in any order.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/media_info.h"
#include "core/streams.h"

namespace zel::testing {

using TBytes = std::vector<uint8_t>;

inline void Put16(TBytes& bytes, uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

inline void Put32(TBytes& bytes, uint32_t value) {
  Put16(bytes, value & 0xFFFF);
  Put16(bytes, value >> 16);
}

inline void Append(TBytes& bytes, const TBytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

// A chunk: id, stated size (the content's size unless given), content.
inline TBytes Chunk(const char* id, const TBytes& content, int64_t statedSize = -1) {
  TBytes bytes(id, id + 4);
  Put32(bytes, static_cast<uint32_t>(statedSize < 0 ? static_cast<int64_t>(content.size()) : statedSize));
  Append(bytes, content);
  return bytes;
}

inline TWaveFormat MakeFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign = 0) {
  TWaveFormat format;
  format.FormatTag = tag;
  format.Channels = channels;
  format.SamplesPerSec = rate;
  format.BitsPerSample = bits;
  format.BlockAlign = blockAlign ? blockAlign : static_cast<uint16_t>(channels * bits / 8);
  format.AvgBytesPerSec = format.BlockAlign * rate;
  return format;
}

// The "fmt " content: 16 bytes, or 18 with the extra size, then extra.
inline TBytes FormatContent(const TWaveFormat& format, bool withExtraSize = false, const TBytes& extra = {}) {
  TBytes bytes;
  Put16(bytes, format.FormatTag);
  Put16(bytes, format.Channels);
  Put32(bytes, format.SamplesPerSec);
  Put32(bytes, format.AvgBytesPerSec);
  Put16(bytes, format.BlockAlign);
  Put16(bytes, format.BitsPerSample);
  if (withExtraSize || !extra.empty()) Put16(bytes, static_cast<uint32_t>(extra.size()));
  Append(bytes, extra);
  return bytes;
}

inline TBytes Riff(const std::vector<TBytes>& chunks) {
  TBytes body = {'W', 'A', 'V', 'E'};
  for (const auto& chunk : chunks) Append(body, chunk);
  return Chunk("RIFF", body);
}

inline TBytes ListChunk() { return Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 3, 0, 0, 0, 'z', 'e', 'l'}); }

inline TBytes PcmWav(const TWaveFormat& format, const TBytes& data) {
  return Riff({Chunk("fmt ", FormatContent(format)), Chunk("data", data)});
}

inline TBytes AdpcmWav(const TWaveFormat& format, const TExtraFormat& extra, const TBytes& data) {
  return Riff({Chunk("fmt ", FormatContent(format, true, TBytes(extra.begin(), extra.end()))),
               Chunk("fact", {0, 0, 0, 0}), Chunk("data", data)});
}

// Bytes from a seeded generator: the same seed gives the same bytes.
inline TBytes Noise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  TBytes bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

inline std::unique_ptr<TMemoryStream> StreamOf(const TBytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(bytes);
  stream->SetPosition(0);
  return stream;
}

}  // namespace zel::testing
