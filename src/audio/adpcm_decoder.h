// Microsoft ADPCM: decoding the blocks of a WAV file to 16-bit PCM. Each
// block starts with a header per channel (predictor index, step size and
// the first two samples, which are output second and first) followed by
// 4-bit codes, high nibble first; in stereo the high nibble is the left
// channel and the low nibble the right.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/media_info.h"

namespace zel {

struct TAdpcmCoefficients {
  int16_t Coef1 = 0;
  int16_t Coef2 = 0;
};

// The decoding parameters of a file: from its wave format and extra bytes.
struct TAdpcmFormat {
  // A block above this is refused: the extra bytes and the decoder's
  // buffers are sized for it, and no encoder writes larger ones.
  static constexpr int32_t kMaxBlockAlign = 2048;
  // The extra bytes hold this many coefficient pairs at most.
  static constexpr int32_t kMaxCoefficients = 7;

  int32_t Channels = 0;
  int32_t BlockAlign = 0;
  int32_t SamplesPerBlock = 0;
  int32_t CoefficientCount = 0;
  std::array<TAdpcmCoefficients, kMaxCoefficients> Coefficients{};

  // The header bytes of a block: 7 per channel.
  int32_t HeaderSize() const { return 7 * Channels; }
};

// The seven coefficient pairs every Microsoft ADPCM encoder writes.
extern const std::array<TAdpcmCoefficients, TAdpcmFormat::kMaxCoefficients> kStandardAdpcmCoefficients;

// Reads the parameters from a format (tag 2) and its extra bytes: samples
// per block (bytes 0-1), coefficient count (2-3, at most 7 are kept) and
// the pairs (from byte 4). False when the file cannot be decoded: not 1 or
// 2 channels, a block align below the headers or above kMaxBlockAlign, no
// coefficients, or fewer than 2 or more samples per block than a block
// holds.
bool ReadAdpcmFormat(const TWaveFormat& format, const TExtraFormat& extra, TAdpcmFormat& result);

// The extra bytes of a format with the standard coefficients (for writers).
TExtraFormat MakeAdpcmExtra(int32_t samplesPerBlock,
                            std::span<const TAdpcmCoefficients> coefficients = kStandardAdpcmCoefficients);

// The samples per channel a block of this many bytes holds: 2 from the
// header, 2 per byte after it in mono, 1 in stereo.
int32_t AdpcmSamplesInBlock(int32_t blockBytes, int32_t channels);

// The sample frames dataSize bytes of blocks decode to (a last partial
// block counts what it holds). The playing time comes from this rather than
// from the stated bytes per second, which some encoders fill with their
// bit rate.
int64_t AdpcmFrameCount(int64_t dataSize, const TAdpcmFormat& format);

enum class TAdpcmResult {
  Ok,
  BadFormat,      // the parameters are not decodable (see ReadAdpcmFormat)
  BlockTooLarge,  // more than kMaxBlockAlign bytes
  BlockTooShort,  // not even the headers
  BadPredictor,   // a predictor index at or above the coefficient count
};

// Decodes one block and appends its interleaved samples to output: the
// format's samples per block, or fewer when the block is short (the last
// block of a file may be). Nothing is appended unless the result is Ok.
TAdpcmResult DecodeAdpcmBlock(std::span<const uint8_t> block, const TAdpcmFormat& format,
                              std::vector<int16_t>& output);

// Decodes the whole blocks at the start of input (a last partial block
// when final); returns the bytes consumed. Stops at the first block that
// does not decode (whose bytes are not consumed) and reports its result in
// *result when given.
int64_t DecodeAdpcmBlocks(std::span<const uint8_t> input, const TAdpcmFormat& format, bool final,
                          std::vector<int16_t>& output, TAdpcmResult* result = nullptr);

}  // namespace zel
