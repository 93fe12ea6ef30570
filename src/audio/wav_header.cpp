#include "audio/wav_header.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zel {

namespace {

void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* at, uint32_t value) {
  PutLe16(at, static_cast<uint16_t>(value));
  PutLe16(at + 2, static_cast<uint16_t>(value >> 16));
}

}  // namespace

std::array<uint8_t, kWavHeaderBytes> WavHeader(const TWaveFormat& format, int64_t dataBytes) {
  constexpr int64_t kMaxData = std::numeric_limits<uint32_t>::max() - (kWavHeaderBytes - 8);
  const auto data = static_cast<uint32_t>(std::clamp<int64_t>(dataBytes, 0, kMaxData));
  std::array<uint8_t, kWavHeaderBytes> header{};
  std::memcpy(header.data(), "RIFF", 4);
  PutLe32(&header[4], data + static_cast<uint32_t>(kWavHeaderBytes - 8));
  std::memcpy(&header[8], "WAVEfmt ", 8);
  PutLe32(&header[16], 16);
  PutLe16(&header[20], format.FormatTag);
  PutLe16(&header[22], format.Channels);
  PutLe32(&header[24], format.SamplesPerSec);
  PutLe32(&header[28], format.AvgBytesPerSec);
  PutLe16(&header[32], format.BlockAlign);
  PutLe16(&header[34], format.BitsPerSample);
  std::memcpy(&header[36], "data", 4);
  PutLe32(&header[40], data);
  return header;
}

}  // namespace zel
