#include "audio/adpcm_converter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace zel {

static_assert(std::endian::native == std::endian::little, "decoded samples are handed on as little-endian bytes");

bool TAdpcmConverter::Open(const TMediaInfo& info) {
  TAdpcmFormat format;
  if (!ReadAdpcmFormat(info.Format, info.ExtraFormat, format) || info.Format.SamplesPerSec == 0) return false;
  fFormat = format;
  ChunkSize = kAdpcmChunkSize;
  OpenBuffers(info, Pcm16Format(info.Format.SamplesPerSec, info.Format.Channels));
  return true;
}

void TAdpcmConverter::Seek(double ms) {
  ClearBuffers();
  if (!(ms >= 0)) ms = 0;  // a negative time, or NaN, is the start
  const int64_t dataSize = Info().DataSize;
  const uint32_t rate = Info().Format.SamplesPerSec;
  if (fFormat.BlockAlign <= 0 || rate == 0) {
    SeekData(0);
    Position = 0;
    return;
  }
  // The block whose first frame is at or before the time, at most the end
  // of the data (computed in double first, so no time overflows).
  const int64_t blocks = (dataSize + fFormat.BlockAlign - 1) / fFormat.BlockAlign;
  const double frame = std::floor(ms / 1000 * rate);
  const int64_t block =
      static_cast<int64_t>(std::clamp(std::floor(frame / fFormat.SamplesPerBlock), 0.0, static_cast<double>(blocks)));
  const int64_t offset = std::min(block * fFormat.BlockAlign, dataSize);
  SeekData(offset);
  Position = static_cast<double>(AdpcmFrameCount(offset, fFormat)) * 1000 / rate;
}

bool TAdpcmConverter::Decode(TLocalBuffer& input) {
  const bool final = InputEnded();
  std::vector<int16_t> samples;
  TAdpcmResult result = TAdpcmResult::Ok;
  int64_t used = DecodeAdpcmBlocks(std::span<const uint8_t>(input.Data(), static_cast<size_t>(input.Length())),
                                   fFormat, final, samples, &result);
  if (!samples.empty()) {
    Deliver(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2));
  }
  // A last piece too short for even the block headers holds no sound.
  if (result == TAdpcmResult::BlockTooShort && final) {
    used = input.Length();
    result = TAdpcmResult::Ok;
  }
  input.Consume(used);
  return result == TAdpcmResult::Ok;
}

}  // namespace zel
