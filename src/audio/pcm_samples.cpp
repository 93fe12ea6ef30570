#include "audio/pcm_samples.h"

#include <bit>
#include <cmath>

namespace zel {

int16_t Pcm8ToInt16(uint8_t value) { return static_cast<int16_t>((value - 128) * 256); }

int16_t Pcm24ToInt16(const uint8_t* bytes) { return static_cast<int16_t>(bytes[1] | (bytes[2] << 8)); }

int16_t Pcm32ToInt16(const uint8_t* bytes) { return static_cast<int16_t>(bytes[2] | (bytes[3] << 8)); }

int16_t FloatToInt16(float value) {
  if (std::isnan(value)) return 0;
  const double scaled = std::nearbyint(static_cast<double>(value) * 32767.0);
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  return static_cast<int16_t>(scaled);
}

uint8_t SilenceByte(int32_t bitsPerSample) { return bitsPerSample == 8 ? 128 : 0; }

bool TPcmLayout::Valid() const {
  if (Channels < 1) return false;
  if (Float) return BitsPerSample == 32;
  return BitsPerSample == 8 || BitsPerSample == 16 || BitsPerSample == 24 || BitsPerSample == 32;
}

int16_t SampleToInt16(const uint8_t* bytes, const TPcmLayout& layout) {
  if (layout.Float) {
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                          (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return FloatToInt16(std::bit_cast<float>(bits));
  }
  switch (layout.BitsPerSample) {
    case 8: return Pcm8ToInt16(bytes[0]);
    case 16: return static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
    case 24: return Pcm24ToInt16(bytes);
    case 32: return Pcm32ToInt16(bytes);
    default: return 0;
  }
}

int64_t ConvertToInt16(std::span<const uint8_t> bytes, const TPcmLayout& layout, std::vector<int16_t>& output) {
  if (!layout.Valid()) return 0;
  const size_t frameBytes = static_cast<size_t>(layout.FrameBytes());
  const size_t sampleBytes = static_cast<size_t>(layout.BytesPerSample());
  const size_t frames = bytes.size() / frameBytes;
  const size_t samples = frames * static_cast<size_t>(layout.Channels);
  output.reserve(output.size() + samples);
  for (size_t i = 0; i < samples; ++i) output.push_back(SampleToInt16(&bytes[i * sampleBytes], layout));
  return static_cast<int64_t>(frames * frameBytes);
}

TStereoSample FrameToStereo(const uint8_t* frame, const TPcmLayout& layout) {
  const int32_t step = layout.BytesPerSample();
  auto sample = [&](int32_t channel) -> int32_t { return SampleToInt16(frame + channel * step, layout); };
  if (layout.Channels == 1) {
    const int32_t value = sample(0);
    return {value, value};
  }
  if (layout.Channels == 6) {
    const int32_t centre = sample(1), lowFrequency = sample(5);
    return {sample(0) + centre + sample(3) + lowFrequency, centre + sample(2) + sample(4) + lowFrequency};
  }
  return {sample(0), sample(1)};
}

}  // namespace zel
