// The sample conversions of the resampler: every source sample kind to a
// signed 16-bit value, frames to a stereo pair (with the 5.1 fold), and
// the silence value of a sample size.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zel {

// 8-bit PCM is unsigned around 128: (value - 128) x 256.
int16_t Pcm8ToInt16(uint8_t value);
// 24- and 32-bit integer PCM keep their upper 16 bits (little-endian bytes).
int16_t Pcm24ToInt16(const uint8_t* bytes);
int16_t Pcm32ToInt16(const uint8_t* bytes);
// x 32767, rounded to nearest (ties to even) and clamped to the 16-bit
// range; NaN is silence.
int16_t FloatToInt16(float value);

// The byte that pads a buffer with silence: 128 for 8-bit data, else 0.
uint8_t SilenceByte(int32_t bitsPerSample);

// How the bytes of a PCM stream are laid out.
struct TPcmLayout {
  int32_t BitsPerSample = 16;  // 8, 16, 24 or 32
  int32_t Channels = 2;
  bool Float = false;  // 32-bit IEEE float

  int32_t BytesPerSample() const { return BitsPerSample / 8; }
  int32_t FrameBytes() const { return BytesPerSample() * Channels; }
  // Integer PCM of 8, 16, 24 or 32 bits or 32-bit float, with channels.
  bool Valid() const;
};

// One sample of the layout's kind at bytes, as 16-bit.
int16_t SampleToInt16(const uint8_t* bytes, const TPcmLayout& layout);

// Appends every whole frame's samples as 16-bit (interleaved as they come);
// returns the bytes used. Nothing for an invalid layout.
int64_t ConvertToInt16(std::span<const uint8_t> bytes, const TPcmLayout& layout, std::vector<int16_t>& output);

// A frame as the resampler's two channels, not yet clamped: a mono sample
// goes to both; six channels (left, centre, right, left surround, right
// surround, low frequency) fold to left = L + C + LS + LFE and right =
// C + R + RS + LFE, without scaling; other counts keep their first two
// channels.
struct TStereoSample {
  int32_t Left = 0;
  int32_t Right = 0;
};
TStereoSample FrameToStereo(const uint8_t* frame, const TPcmLayout& layout);

}  // namespace zel
