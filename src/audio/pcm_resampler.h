// Sample-rate and format conversion of PCM: 8, 16, 24 and 32-bit integer
// and 32-bit float input of 1, 2 or 6 channels to 8 or 16-bit output of 1
// or 2 channels at another rate, by quadratic interpolation through the
// last three input frames. Blocks join seamlessly: the last two frames and
// the read position carry over from one Convert to the next.
#pragma once

#include <cstdint>
#include <span>

#include "audio/local_buffer.h"
#include "audio/media_info.h"

namespace zel {

class TPcmResampler {
 public:
  // Source and target formats; a float source has tag 3 (or 32 bits and
  // tag 1 means integer). Unsupported layouts convert nothing.
  TPcmResampler(const TWaveFormat& source, const TWaveFormat& target);

  const TWaveFormat& Source() const { return fSource; }
  const TWaveFormat& Target() const { return fTarget; }
  bool Valid() const;

  // The bytes Convert will append for inputBytes of input now (whole
  // frames only), without changing the state.
  int64_t OutputSize(int64_t inputBytes) const;
  // Converts the whole frames of input, appending to output (grown to
  // fit); returns the input bytes used (a partial last frame is left).
  int64_t Convert(std::span<const uint8_t> input, TLocalBuffer& output);
  // Forgets the carried frames and position (after a seek).
  void Reset();

 private:
  TWaveFormat fSource;
  TWaveFormat fTarget;
  // The two previous input frames per channel, oldest first.
  double fHistory[2][2] = {{0, 0}, {0, 0}};
  // The read position in input frames past the last frame taken, times
  // the target rate: each output frame advances it by the source rate. An
  // exact integer, so the position never drifts and any split of the input
  // into blocks gives the output of one conversion.
  int64_t fReadPosition = 0;
};

}  // namespace zel
