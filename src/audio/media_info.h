// What identification learns about a sound file: its kind, the wave format
// its decoder delivers, where its sound data lies and how long it plays.
// Channels and decoders keep a copy of this record.
#pragma once

#include <array>
#include <cstdint>

namespace zel {

// The format tags of the WAV "fmt " chunk that identification knows.
enum class TWaveFormatTag : uint16_t {
  Pcm = 1,
  MsAdpcm = 2,
  IeeeFloat = 3,
  MpegLayer3 = 85,
};

// The 18-byte wave format of a WAV file (and of every decoder's output).
struct TWaveFormat {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;

  bool operator==(const TWaveFormat&) const = default;
};

// 16-bit integer PCM of the given rate and channels, with block align and
// bytes per second derived from them.
TWaveFormat Pcm16Format(uint32_t samplesPerSec, uint16_t channels);

enum class TMediaKind : uint8_t {
  None = 0,
  Pcm = 1,
  MsAdpcm = 2,
  IeeeFloat = 3,
  Mpeg = 4,
  Wma = 5,
  Ogg = 6,
  Composite = 9,
  MediaLibrary = 10,
};

// The format's extra bytes: for MS ADPCM the samples per block, the
// coefficient count and seven coefficient pairs; for MPEG its second byte is
// the variable-bit-rate flag.
using TExtraFormat = std::array<uint8_t, 32>;

struct TMediaInfo {
  // Offsets and sizes are 64-bit and never negative: a WAV chunk size is
  // an unsigned 32-bit number.
  int64_t DataOffset = 0;
  int64_t DataSize = 0;
  int32_t Duration = 0;          // ms
  int32_t StreamDuration = 0;    // ms, MPEG: from the whole stream's size
  int32_t FirstFrameLength = 0;  // MPEG
  double FrameTime = 0;          // ms per frame, MPEG
  bool MpegInRiff = false;
  TMediaKind Kind = TMediaKind::None;
  TWaveFormat Format;
  TExtraFormat ExtraFormat{};

  bool Identified() const { return Kind != TMediaKind::None; }
};

// Playing time in ms of dataSize bytes at bytesPerSecond, rounded; 0 when
// the rate is 0 and at most the largest int32 (a 4 GiB chunk at a low rate
// lasts longer than that).
int32_t DurationMs(int64_t dataSize, uint32_t bytesPerSecond);

}  // namespace zel
