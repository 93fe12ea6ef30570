#include "audio/wav_converter.h"

#include <algorithm>
#include <cmath>

#include "audio/pcm_samples.h"
#include "audio/stream_gate.h"
#include "audio/wave_out.h"

namespace zel {

namespace {

// One read never gives the resampler input for more output than this: a
// file stating a rate of a few frames a second would otherwise turn one
// chunk into hundreds of megabytes.
constexpr int64_t kMaxOutputPerRead = int64_t{1} << 20;

bool IsFloat(const TWaveFormat& format) {
  return format.FormatTag == static_cast<uint16_t>(TWaveFormatTag::IeeeFloat);
}

int64_t SampleFrameBytes(const TWaveFormat& format) { return int64_t{format.Channels} * format.BitsPerSample / 8; }

int64_t BytesPerSecond(const TWaveFormat& format) {
  if (format.AvgBytesPerSec != 0) return format.AvgBytesPerSec;
  return int64_t{format.BlockAlign} * format.SamplesPerSec;
}

// Whether two formats hold the same samples, so that no conversion is due.
bool SameSamples(const TWaveFormat& a, const TWaveFormat& b) {
  return a.FormatTag == b.FormatTag && a.Channels == b.Channels && a.SamplesPerSec == b.SamplesPerSec &&
         a.BitsPerSample == b.BitsPerSample;
}

}  // namespace

void TWavConverter::ClearBuffers() {
  Input.Clear();
  Output.Clear();
  if (fResampler) fResampler->Reset();
}

void TWavConverter::SeekData(int64_t offset) {
  fInputEnded = false;
  if (!fStream) return;
  offset = std::clamp<int64_t>(offset, 0, fInfo.DataSize);
  StreamWrapper().Seek(*fStream, fInfo.DataOffset + offset, 0);
}

void TWavConverter::Seek(double ms) {
  ClearBuffers();
  if (!(ms >= 0)) ms = 0;  // a negative time, or NaN, is the start
  const TWaveFormat& format = fInfo.Format;
  int64_t offset = 0;
  if (format.BlockAlign != 0 && format.AvgBytesPerSec != 0) {
    // Clamped while still a double, so that no time overflows the offset.
    const double bytes =
        std::clamp(std::nearbyint(ms / 1000 * format.AvgBytesPerSec), 0.0, static_cast<double>(fInfo.DataSize));
    offset = static_cast<int64_t>(bytes) / format.BlockAlign * format.BlockAlign;
  }
  SeekData(offset);
  Position = ms;
}

void TWavConverter::Deliver(std::span<const uint8_t> decoded) {
  const int64_t before = Output.Length();
  if (fResampler) {
    fResampler->Convert(decoded, Output);
  } else {
    Output.AppendBytes(decoded.data(), static_cast<int64_t>(decoded.size()));
  }
  const int64_t bytesPerSecond = BytesPerSecond(Output.Format);
  if (bytesPerSecond > 0) Position += static_cast<double>(Output.Length() - before) * 1000 / bytesPerSecond;
}

bool TWavConverter::Decode(TLocalBuffer& input) {
  if (fResampler && !fResampler->Valid()) return false;
  // Whole frames only: a partial one stays at the front of the input until
  // the next read completes it.
  const int64_t frame = fResampler ? SampleFrameBytes(fDecodedFormat) : fDecodedFormat.BlockAlign;
  if (frame <= 0) return false;
  const int64_t whole = input.Length() / frame * frame;
  if (whole == 0) return true;
  Deliver(std::span<const uint8_t>(input.Data(), static_cast<size_t>(whole)));
  input.Consume(whole);
  return true;
}

int64_t TWavConverter::ReadSize() const {
  if (!fResampler || !fResampler->Valid() || !SameSamples(Input.Format, fDecodedFormat)) return ChunkSize;
  const TWaveFormat& target = fResampler->Target();
  const int64_t outFrames = kMaxOutputPerRead / std::max<int64_t>(SampleFrameBytes(target), 1);
  const int64_t inFrames = std::max<int64_t>(outFrames * fDecodedFormat.SamplesPerSec / target.SamplesPerSec, 1);
  return std::min(ChunkSize, inFrames * SampleFrameBytes(fDecodedFormat));
}

bool TWavConverter::ReadMore() {
  if (!fStream) {
    fInputEnded = true;
    return false;
  }
  const int64_t wanted = ReadSize();
  Input.EnsureFree(wanted);
  const int64_t dataEnd = fInfo.DataOffset + fInfo.DataSize;
  const int64_t position = StreamWrapper().Position(*fStream);
  const int64_t before = Input.Length();
  const bool read = Input.ReadFrom(*fStream, std::min(dataEnd, position + wanted));
  fInputEnded = Input.Length() - before < wanted;
  return read;
}

void TWavConverter::OpenBuffers(const TMediaInfo& info, const TWaveFormat& decodedFormat) {
  fInfo = info;
  fDecodedFormat = decodedFormat;
  fResampler.reset();
  Input.Format = info.Format;
  Output.Format = decodedFormat;
  Input.Clear();
  Output.Clear();
  Input.EnsureFree(ChunkSize);
  Output.EnsureFree(ChunkSize);
  Seek(0);
}

bool TWavConverter::Open(const TMediaInfo& info) {
  const TWaveFormat& format = info.Format;
  const bool isFloat = IsFloat(format);
  if (format.FormatTag != static_cast<uint16_t>(TWaveFormatTag::Pcm) && !isFloat) return false;
  if (format.Channels == 0 || format.SamplesPerSec == 0 || format.BlockAlign == 0) return false;
  if (!TPcmLayout{format.BitsPerSample, format.Channels, isFloat}.Valid()) return false;
  ChunkSize = format.BitsPerSample == 24 ? kChunkSize24 : kChunkSize;
  OpenBuffers(info, format);
  // The device plays 8 and 16-bit PCM as it is; the other sample kinds are
  // converted to the global output format.
  if (isFloat || format.BitsPerSample == 24 || format.BitsPerSample == 32) SetTargetFormat(GlobalOutputFormat());
  return true;
}

void TWavConverter::SetTargetFormat(const TWaveFormat& target) {
  if (SameSamples(target, fDecodedFormat)) {
    fResampler.reset();
    Output.Format = fDecodedFormat;
    return;
  }
  fResampler = std::make_unique<TPcmResampler>(fDecodedFormat, target);
  Output.Format = target;
}

bool TWavConverter::Fill(int64_t n) {
  while (Output.Length() < n) {
    const bool read = ReadMore();
    if (!Decode(Input)) {
      Output.AppendFill(0, n - Output.Length());
      return false;
    }
    if (!read) {
      // The input is exhausted: what is left was just decoded.
      const bool any = Output.Length() > 0;
      if (Output.Length() < n) Output.AppendFill(SilenceByte(Output.Format.BitsPerSample), n - Output.Length());
      return any;
    }
  }
  return true;
}

}  // namespace zel
