// The 44-byte header of a plain PCM WAV file, as the file device and the
// tool write it.
#pragma once

#include <array>
#include <cstdint>

#include "audio/media_info.h"

namespace zel {

constexpr int64_t kWavHeaderBytes = 44;

// "RIFF", "WAVE", a 16-byte "fmt " chunk with the format and the "data"
// chunk header for dataBytes; sizes beyond 32 bits keep the largest that
// fits.
std::array<uint8_t, kWavHeaderBytes> WavHeader(const TWaveFormat& format, int64_t dataBytes);

}  // namespace zel
