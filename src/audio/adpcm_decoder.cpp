#include "audio/adpcm_decoder.h"

#include <algorithm>
#include <limits>

namespace zel {

const std::array<TAdpcmCoefficients, TAdpcmFormat::kMaxCoefficients> kStandardAdpcmCoefficients = {{
    {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};

namespace {

// How the step size follows each 4-bit code (in 1/256).
constexpr std::array<int32_t, 16> kAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                                 768, 614, 512, 409, 307, 230, 230, 230};
// The step never drops below this.
constexpr int64_t kMinDelta = 16;
// Nor grows past this, so that the next step (x 768 / 256) and the code's
// product (x 8) stay far inside 64 bits; a damaged block saturates instead.
constexpr int64_t kMaxDelta = std::numeric_limits<int32_t>::max() / 768;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int16_t Le16s(const uint8_t* p) { return static_cast<int16_t>(Le16(p)); }

struct TChannelState {
  int64_t Coef1 = 0;
  int64_t Coef2 = 0;
  int64_t Delta = 0;
  int64_t Sample1 = 0;  // the newest sample
  int64_t Sample2 = 0;
};

int16_t ClampSample(int64_t value) {
  return static_cast<int16_t>(std::clamp<int64_t>(value, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

// One 4-bit code to the next sample. The prediction divides by 256
// rounding toward zero, the step adapts by a table.
int16_t ExpandNibble(TChannelState& state, uint8_t code) {
  const int64_t prediction = (state.Sample1 * state.Coef1 + state.Sample2 * state.Coef2) / 256;
  const int64_t signedCode = code >= 8 ? code - 16 : code;
  const int16_t sample = ClampSample(prediction + signedCode * state.Delta);
  state.Sample2 = state.Sample1;
  state.Sample1 = sample;
  state.Delta = std::clamp<int64_t>((kAdaptation[code] * state.Delta) >> 8, kMinDelta, kMaxDelta);
  return sample;
}

// Reads the per-channel headers; false on a bad predictor index.
bool ReadBlockHeader(std::span<const uint8_t> block, const TAdpcmFormat& format, TChannelState* states) {
  const int32_t channels = format.Channels;
  for (int32_t c = 0; c < channels; ++c) {
    const uint8_t predictor = block[c];
    if (predictor >= format.CoefficientCount) return false;
    TChannelState& state = states[c];
    state.Coef1 = format.Coefficients[predictor].Coef1;
    state.Coef2 = format.Coefficients[predictor].Coef2;
    state.Delta = Le16s(&block[channels + 2 * c]);
    state.Sample1 = Le16s(&block[3 * channels + 2 * c]);
    state.Sample2 = Le16s(&block[5 * channels + 2 * c]);
  }
  return true;
}

}  // namespace

int32_t AdpcmSamplesInBlock(int32_t blockBytes, int32_t channels) {
  if (channels < 1 || channels > 2 || blockBytes < 7 * channels) return 0;
  return 2 + (blockBytes - 7 * channels) * 2 / channels;
}

int64_t AdpcmFrameCount(int64_t dataSize, const TAdpcmFormat& format) {
  if (dataSize <= 0 || format.BlockAlign <= 0) return 0;
  const int64_t blocks = dataSize / format.BlockAlign;
  const int32_t rest = static_cast<int32_t>(dataSize % format.BlockAlign);
  const int32_t last = rest >= format.HeaderSize() ? AdpcmSamplesInBlock(rest, format.Channels) : 0;
  return blocks * format.SamplesPerBlock + std::min(last, format.SamplesPerBlock);
}

bool ReadAdpcmFormat(const TWaveFormat& format, const TExtraFormat& extra, TAdpcmFormat& result) {
  result = TAdpcmFormat();
  if (format.Channels < 1 || format.Channels > 2) return false;
  if (format.BlockAlign < 7 * format.Channels || format.BlockAlign > TAdpcmFormat::kMaxBlockAlign) return false;
  result.Channels = format.Channels;
  result.BlockAlign = format.BlockAlign;
  const int32_t room = AdpcmSamplesInBlock(format.BlockAlign, format.Channels);
  const int32_t samples = Le16(&extra[0]);
  // 0 (some writers leave it out) means all the block holds.
  result.SamplesPerBlock = samples == 0 ? room : samples;
  if (result.SamplesPerBlock < 2 || result.SamplesPerBlock > room) return false;
  result.CoefficientCount = std::min<int32_t>(Le16(&extra[2]), TAdpcmFormat::kMaxCoefficients);
  if (result.CoefficientCount == 0) return false;
  for (int32_t i = 0; i < result.CoefficientCount; ++i) {
    result.Coefficients[i] = {Le16s(&extra[4 + 4 * i]), Le16s(&extra[6 + 4 * i])};
  }
  return true;
}

TExtraFormat MakeAdpcmExtra(int32_t samplesPerBlock, std::span<const TAdpcmCoefficients> coefficients) {
  TExtraFormat extra{};
  const size_t count = std::min<size_t>(coefficients.size(), TAdpcmFormat::kMaxCoefficients);
  auto put16 = [&](size_t at, int32_t value) {
    extra[at] = static_cast<uint8_t>(value & 0xFF);
    extra[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  };
  put16(0, samplesPerBlock);
  put16(2, static_cast<int32_t>(count));
  for (size_t i = 0; i < count; ++i) {
    put16(4 + 4 * i, coefficients[i].Coef1);
    put16(6 + 4 * i, coefficients[i].Coef2);
  }
  return extra;
}

TAdpcmResult DecodeAdpcmBlock(std::span<const uint8_t> block, const TAdpcmFormat& format,
                              std::vector<int16_t>& output) {
  const int32_t channels = format.Channels;
  if (channels < 1 || channels > 2 || format.CoefficientCount < 1 ||
      format.CoefficientCount > TAdpcmFormat::kMaxCoefficients) {
    return TAdpcmResult::BadFormat;
  }
  if (block.size() > static_cast<size_t>(TAdpcmFormat::kMaxBlockAlign)) return TAdpcmResult::BlockTooLarge;
  const int32_t blockBytes = static_cast<int32_t>(block.size());
  if (blockBytes < format.HeaderSize()) return TAdpcmResult::BlockTooShort;
  TChannelState states[2];
  if (!ReadBlockHeader(block, format, states)) return TAdpcmResult::BadPredictor;

  const int32_t samples = std::min(std::max(format.SamplesPerBlock, 2), AdpcmSamplesInBlock(blockBytes, channels));
  const size_t start = output.size();
  output.resize(start + static_cast<size_t>(samples) * channels);
  int16_t* out = output.data() + start;
  for (int32_t c = 0; c < channels; ++c) *out++ = static_cast<int16_t>(states[c].Sample2);
  for (int32_t c = 0; c < channels; ++c) *out++ = static_cast<int16_t>(states[c].Sample1);
  // The codes follow each other as the interleaved samples do: in stereo
  // one byte is one frame, in mono one byte is two samples.
  const int32_t codes = (samples - 2) * channels;
  const uint8_t* data = block.data() + format.HeaderSize();
  for (int32_t i = 0; i < codes; ++i) {
    const uint8_t byte = data[i / 2];
    const uint8_t code = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    *out++ = ExpandNibble(states[i % channels], code);
  }
  return TAdpcmResult::Ok;
}

int64_t DecodeAdpcmBlocks(std::span<const uint8_t> input, const TAdpcmFormat& format, bool final,
                          std::vector<int16_t>& output, TAdpcmResult* result) {
  if (result) *result = TAdpcmResult::Ok;
  if (format.BlockAlign <= 0) {
    if (result) *result = TAdpcmResult::BadFormat;
    return 0;
  }
  const size_t blockAlign = static_cast<size_t>(format.BlockAlign);
  size_t done = 0;
  while (done < input.size()) {
    const size_t length = std::min(blockAlign, input.size() - done);
    if (length < blockAlign && !final) break;
    const TAdpcmResult decoded = DecodeAdpcmBlock(input.subspan(done, length), format, output);
    if (decoded != TAdpcmResult::Ok) {
      if (result) *result = decoded;
      break;
    }
    done += length;
  }
  return static_cast<int64_t>(done);
}

}  // namespace zel
