#include "audio/media_info.h"

#include <cmath>
#include <limits>

namespace zel {

TWaveFormat Pcm16Format(uint32_t samplesPerSec, uint16_t channels) {
  TWaveFormat format;
  format.FormatTag = static_cast<uint16_t>(TWaveFormatTag::Pcm);
  format.Channels = channels;
  format.SamplesPerSec = samplesPerSec;
  format.BlockAlign = static_cast<uint16_t>(2 * channels);
  format.AvgBytesPerSec = static_cast<uint32_t>(format.BlockAlign) * samplesPerSec;
  format.BitsPerSample = 16;
  return format;
}

int32_t DurationMs(int64_t dataSize, uint32_t bytesPerSecond) {
  if (bytesPerSecond == 0 || dataSize <= 0) return 0;
  // In double: 2^32 bytes x 1000 is far inside its exact range.
  const double ms = std::nearbyint(static_cast<double>(dataSize) * 1000.0 / bytesPerSecond);
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return ms >= kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(ms);
}

}  // namespace zel
