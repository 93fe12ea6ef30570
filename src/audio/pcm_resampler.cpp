#include "audio/pcm_resampler.h"

#include <algorithm>
#include <cmath>

#include "audio/pcm_samples.h"

namespace zel {

namespace {

TPcmLayout SourceLayout(const TWaveFormat& format) {
  return {format.BitsPerSample, format.Channels, format.FormatTag == static_cast<uint16_t>(TWaveFormatTag::IeeeFloat)};
}

int64_t TargetFrameBytes(const TWaveFormat& format) { return int64_t{format.Channels} * format.BitsPerSample / 8; }

// The quadratic through x0, x1 and x2 at positions 0, 1 and 2, evaluated at
// t; the halving truncates toward zero, then the value is clamped.
int32_t Interpolate(double x0, double x1, double x2, double t) {
  const double doubled = x0 * (t - 1) * (t - 2) + 2 * x1 * t * (2 - t) + x2 * t * (t - 1);
  return static_cast<int32_t>(std::clamp(std::trunc(doubled / 2), -32768.0, 32767.0));
}

void Put16(uint8_t*& out, int32_t value) {
  const auto bits = static_cast<uint16_t>(static_cast<int16_t>(value));
  *out++ = static_cast<uint8_t>(bits & 0xFF);
  *out++ = static_cast<uint8_t>(bits >> 8);
}

// The output frames one input frame gives from read position p (in target
// rate units): those below one frame's span, each a source rate further on.
int64_t FramesBelow(int64_t p, int64_t span, int64_t step) { return p < span ? (span - p + step - 1) / step : 0; }

}  // namespace

TPcmResampler::TPcmResampler(const TWaveFormat& source, const TWaveFormat& target)
    : fSource(source), fTarget(target) {}

bool TPcmResampler::Valid() const {
  return fSource.SamplesPerSec > 0 && fTarget.SamplesPerSec > 0 && SourceLayout(fSource).Valid() &&
         (fTarget.BitsPerSample == 8 || fTarget.BitsPerSample == 16) &&
         (fTarget.Channels == 1 || fTarget.Channels == 2);
}

int64_t TPcmResampler::OutputSize(int64_t inputBytes) const {
  if (!Valid() || inputBytes <= 0) return 0;
  const int64_t frames = inputBytes / SourceLayout(fSource).FrameBytes();
  const int64_t span = fTarget.SamplesPerSec, step = fSource.SamplesPerSec;
  int64_t position = fReadPosition;
  int64_t produced = 0;
  for (int64_t k = 0; k < frames; ++k) {
    const int64_t n = FramesBelow(position, span, step);
    produced += n;
    position += n * step - span;
  }
  return produced * TargetFrameBytes(fTarget);
}

int64_t TPcmResampler::Convert(std::span<const uint8_t> input, TLocalBuffer& output) {
  if (!Valid()) return 0;
  const TPcmLayout layout = SourceLayout(fSource);
  const int64_t frameBytes = layout.FrameBytes();
  const int64_t frames = static_cast<int64_t>(input.size()) / frameBytes;
  output.EnsureFree(OutputSize(frames * frameBytes));
  const int64_t span = fTarget.SamplesPerSec, step = fSource.SamplesPerSec;
  const bool mono = fTarget.Channels == 1, eightBit = fTarget.BitsPerSample == 8;
  uint8_t* const start = output.End();
  uint8_t* out = start;
  for (int64_t k = 0; k < frames; ++k) {
    const TStereoSample sample = FrameToStereo(&input[static_cast<size_t>(k * frameBytes)], layout);
    const double newest[2] = {static_cast<double>(sample.Left), static_cast<double>(sample.Right)};
    // The frames whose read position lies before this input frame: t runs
    // from 1 (the previous frame) up to, not including, 2 (this one).
    for (; fReadPosition < span; fReadPosition += step) {
      const double t = static_cast<double>(fReadPosition + span) / static_cast<double>(span);
      const int32_t left = Interpolate(fHistory[0][0], fHistory[0][1], newest[0], t);
      const int32_t right = Interpolate(fHistory[1][0], fHistory[1][1], newest[1], t);
      if (mono) {
        const int32_t value = (left + right) / 2;
        if (eightBit) *out++ = static_cast<uint8_t>(value / 256 + 128);
        else Put16(out, value);
      } else if (eightBit) {
        *out++ = static_cast<uint8_t>(left / 256 + 128);
        *out++ = static_cast<uint8_t>(right / 256 + 128);
      } else {
        Put16(out, left);
        Put16(out, right);
      }
    }
    fReadPosition -= span;
    for (int c = 0; c < 2; ++c) {
      fHistory[c][0] = fHistory[c][1];
      fHistory[c][1] = newest[c];
    }
  }
  output.Commit(out - start);
  return frames * frameBytes;
}

void TPcmResampler::Reset() {
  fHistory[0][0] = fHistory[0][1] = fHistory[1][0] = fHistory[1][1] = 0;
  fReadPosition = 0;
}

}  // namespace zel
