// Fuzz entry point for sound identification and the PCM and MS ADPCM
// decoding: any bytes must identify (or not) without crashing or hanging,
// what identification reports must lie inside the file and be decodable,
// and the decoders must give exactly the samples their input holds, also
// when the factory's decoder reads them chunk by chunk from a stream.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "audio/adpcm_decoder.h"
#include "audio/decoder_factory.h"
#include "audio/media_info_extractor.h"
#include "audio/mp3_shift_stream.h"
#include "audio/pcm_samples.h"
#include "core/streams.h"

namespace {

using namespace zel;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckInfo(const TMediaInfo& info, size_t size) {
  Check(info.DataOffset >= 12 && info.DataSize >= 0);
  Check(info.DataOffset + info.DataSize <= static_cast<int64_t>(size));
  Check(info.Duration >= 0);
  Check(info.Format.Channels > 0 && info.Format.SamplesPerSec > 0 && info.Format.BlockAlign > 0);
}

void DecodePcm(std::span<const uint8_t> data, const TPcmLayout& layout) {
  std::vector<int16_t> samples;
  const int64_t used = ConvertToInt16(data, layout, samples);
  if (!layout.Valid()) {
    Check(used == 0 && samples.empty());
    return;
  }
  const int64_t frames = static_cast<int64_t>(data.size()) / layout.FrameBytes();
  Check(used == frames * layout.FrameBytes());
  Check(static_cast<int64_t>(samples.size()) == frames * layout.Channels);
  for (int64_t f = 0; f < frames; ++f) {
    const TStereoSample pair = FrameToStereo(&data[static_cast<size_t>(f * layout.FrameBytes())], layout);
    Check(pair.Left >= 4 * -32768 && pair.Left <= 4 * 32767 && pair.Right >= 4 * -32768 && pair.Right <= 4 * 32767);
  }
}

void DecodeAdpcm(std::span<const uint8_t> data, const TAdpcmFormat& format) {
  std::vector<int16_t> samples;
  TAdpcmResult result;
  const int64_t used = DecodeAdpcmBlocks(data, format, true, samples, &result);
  Check(used >= 0 && used <= static_cast<int64_t>(data.size()));
  Check(static_cast<int64_t>(samples.size()) == AdpcmFrameCount(used, format) * format.Channels);
  if (result == TAdpcmResult::Ok) Check(used == static_cast<int64_t>(data.size()));
  // Only a bad predictor or a last block too short for its headers stops it.
  Check(result == TAdpcmResult::Ok || result == TAdpcmResult::BadPredictor ||
        (result == TAdpcmResult::BlockTooShort && data.size() - used < static_cast<size_t>(format.HeaderSize())));
}

void DecodeIdentified(std::span<const uint8_t> bytes, const TMediaInfo& info) {
  const auto data = bytes.subspan(static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
  switch (info.Kind) {
    case TMediaKind::Pcm:
    case TMediaKind::IeeeFloat: {
      const TPcmLayout layout{info.Format.BitsPerSample, info.Format.Channels, info.Kind == TMediaKind::IeeeFloat};
      Check(layout.Valid());
      DecodePcm(data, layout);
      break;
    }
    case TMediaKind::MsAdpcm: {
      TAdpcmFormat format;
      Check(ReadAdpcmFormat(info.Format, info.ExtraFormat, format));
      Check(info.Duration == DurationMs(AdpcmFrameCount(info.DataSize, format), info.Format.SamplesPerSec));
      DecodeAdpcm(data, format);
      break;
    }
    case TMediaKind::Mpeg: Check(info.MpegInRiff); break;
    default: std::abort();
  }
}

// What the decoders of the whole data give: the bytes themselves for 8 and
// 16-bit PCM, the samples of the blocks for MS ADPCM; nothing to compare
// for the converted kinds.
bool ExpectedOutput(std::span<const uint8_t> data, const TMediaInfo& info, std::vector<uint8_t>& expected) {
  if (info.Kind == TMediaKind::MsAdpcm) {
    TAdpcmFormat format;
    Check(ReadAdpcmFormat(info.Format, info.ExtraFormat, format));
    std::vector<int16_t> samples;
    DecodeAdpcmBlocks(data, format, true, samples);
    for (const int16_t s : samples) {
      expected.push_back(static_cast<uint8_t>(s & 0xFF));
      expected.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return true;
  }
  const int32_t bits = info.Format.BitsPerSample;
  if (info.Kind != TMediaKind::Pcm || (bits != 8 && bits != 16)) return false;
  const size_t whole = data.size() / info.Format.BlockAlign * info.Format.BlockAlign;
  expected.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(whole));
  return true;
}

// The factory's decoder on a stream, 4096 bytes at a time until the data
// ends (at most about 4 MB of output): its output must be the whole data's
// decoding followed by padding, its position must only grow, and a seek to
// the middle must still decode.
void DecodeStreamed(std::span<const uint8_t> bytes, const TMediaInfo& info) {
  constexpr int64_t kChunk = 4096, kMaxOutput = 4 << 20;
  TMemoryStream stream;
  stream.Write(bytes);
  auto decoder = CreateDecoder(&stream, u"fuzz.wav", info);
  if (!decoder || !decoder->Open(info)) return;
  const auto data = bytes.subspan(static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
  std::vector<uint8_t> expected;
  const bool compare = ExpectedOutput(data, info, expected);
  std::vector<uint8_t> output;
  double position = decoder->Position;
  bool more = true;
  while (more && static_cast<int64_t>(output.size()) < kMaxOutput) {
    more = decoder->Fill(kChunk);
    Check(decoder->Output.Length() >= kChunk && decoder->Position >= position);
    position = decoder->Position;
    // The last call's whole output: a failed block may leave more than asked.
    const int64_t taken = more ? kChunk : decoder->Output.Length();
    if (compare) output.insert(output.end(), decoder->Output.Data(), decoder->Output.Data() + taken);
    decoder->Output.Consume(taken);
  }
  if (compare && !more) {
    // After the data only padding: zeros (silence of 16-bit data, or what a
    // failed block leaves) or 128 (silence of 8-bit data).
    Check(output.size() >= expected.size());
    const uint8_t silence = SilenceByte(decoder->OutputFormat().BitsPerSample);
    for (size_t i = 0; i < output.size(); ++i) {
      Check(i < expected.size() ? output[i] == expected[i] : (output[i] == silence || output[i] == 0));
    }
  }
  decoder->Seek(info.Duration / 2.0);
  decoder->Fill(kChunk);
  Check(decoder->Output.Length() >= kChunk);
}

// The raw bytes as blocks of fixed formats and as every PCM layout.
void DecodeRaw(std::span<const uint8_t> bytes) {
  for (const int channels : {1, 2}) {
    TAdpcmFormat format;
    TWaveFormat wave;
    wave.Channels = static_cast<uint16_t>(channels);
    wave.BlockAlign = static_cast<uint16_t>(256 * channels);
    Check(ReadAdpcmFormat(wave, MakeAdpcmExtra(0), format));
    DecodeAdpcm(bytes, format);
  }
  for (const TPcmLayout& layout : {TPcmLayout{8, 1, false}, TPcmLayout{16, 2, false}, TPcmLayout{24, 6, false},
                                   TPcmLayout{32, 6, false}, TPcmLayout{32, 2, true}, TPcmLayout{12, 1, false}}) {
    DecodePcm(bytes, layout);
  }
}

void ReadShifted(std::span<const uint8_t> bytes) {
  auto inner = std::make_unique<TMemoryStream>();
  inner->Write(bytes);
  const int64_t shift = bytes.empty() ? 0 : bytes[0];
  TMp3ShiftStream shifted(std::move(inner), shift);
  std::vector<uint8_t> rest(bytes.size() + 1);
  const int32_t got = shifted.Read(rest);
  const int64_t expected = std::max<int64_t>(static_cast<int64_t>(bytes.size()) - shift, 0);
  Check(got == expected && shifted.GetSize() == expected);
  for (int32_t i = 0; i < got; ++i) Check(rest[static_cast<size_t>(i)] == bytes[static_cast<size_t>(shift + i)]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  TMemoryStream stream;
  stream.Write(bytes);
  stream.SetPosition(0);
  TMediaInfo info;
  if (TMediaInfoExtractor().Identify(stream, u"fuzz.wav", info)) {
    CheckInfo(info, size);
    DecodeIdentified(bytes, info);
    DecodeStreamed(bytes, info);
  } else {
    Check(!info.Identified());
  }
  DecodeRaw(bytes);
  ReadShifted(bytes);
  return 0;
}
