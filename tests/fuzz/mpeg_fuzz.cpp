// Fuzz entry point for MPEG audio identification, seeking and decoding: any
// bytes, named as an MPEG file and as a WAV file, must identify (or not)
// without crashing or hanging; what identification reports must lie inside
// the file and start with a frame header; seek points must lie in the data;
// and the decoder must deliver whole sample frames with a position that only
// grows, through seeks as well. The output is capped so that every input
// takes well under a second.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/media_info_extractor.h"
#include "audio/mpeg_converter.h"
#include "audio/mpeg_info.h"
#include "core/streams.h"

namespace {

using namespace zel;

constexpr int64_t kChunk = 4608;
constexpr int64_t kMaxOutput = 1 << 20;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckInfo(std::span<const uint8_t> bytes, const TMediaInfo& info) {
  Check(info.Kind == TMediaKind::Mpeg);
  Check(info.DataOffset >= 0 && info.DataSize >= 0);
  Check(info.DataOffset + info.DataSize <= static_cast<int64_t>(bytes.size()));
  Check(info.Duration >= 0 && info.StreamDuration >= 0);
  Check(std::isfinite(info.FrameTime) && info.FrameTime > 0);
  Check(info.FirstFrameLength > 0 && info.FirstFrameLength <= TMpegHeader::kMaxFrameLength);
  Check(info.Format.Channels == 1 || info.Format.Channels == 2);
  Check(info.Format.SamplesPerSec >= 8000 && info.Format.SamplesPerSec <= 48000);
  Check(info.Format.BitsPerSample == 16 && info.Format.BlockAlign == 2 * info.Format.Channels);
  if (info.DataSize >= TMpegHeader::kSize) Check(TMpegHeader::Valid(&bytes[static_cast<size_t>(info.DataOffset)]));
}

void CheckSeekPoints(TStream& stream, const TMediaInfo& info) {
  for (const double ms : {0.0, 1.0, info.Duration / 3.0, info.Duration - 1.0, 1e12, -7.0}) {
    const TMpegSeekPoint point = SeekMpeg(stream, info, ms);
    Check(point.Offset >= info.DataOffset && point.Offset <= info.DataOffset + info.DataSize);
    Check(std::isfinite(point.Correction) && stream.GetPosition() == point.Offset);
    const TMpegPriming priming = MpegPriming(stream, info, point);
    Check(priming.Offset >= info.DataOffset && priming.Offset <= point.Offset);
    Check(priming.Frames >= 0 && priming.Samples >= 0);
    Check(priming.LeadFrame.empty() || TMpegHeader::Valid(priming.LeadFrame.data()));
  }
}

// Fills chunk after chunk until the data ends or the cap is reached.
void FillOn(TMpegConverter& decoder, int64_t limit) {
  const int64_t frame = decoder.OutputFormat().BlockAlign;
  double position = decoder.Position;
  for (int64_t total = 0; total < limit; total += kChunk) {
    const bool more = decoder.Fill(kChunk);
    Check(decoder.Output.Length() >= kChunk && decoder.Output.Length() % frame == 0);
    Check(decoder.Position >= position);
    position = decoder.Position;
    decoder.Output.Consume(more ? kChunk : decoder.Output.Length());
    if (!more) break;
  }
}

void Decode(TStream& stream, const TMediaInfo& info) {
  TMpegConverter decoder(&stream);
  if (!decoder.Open(info)) return;
  Check(decoder.OutputFormat() == info.Format);
  FillOn(decoder, kMaxOutput);
  for (const double ms : {info.Duration / 2.0, 30.0, 0.0, 1e12}) {
    decoder.Seek(ms);
    Check(std::isfinite(decoder.Position));
    FillOn(decoder, 4 * kChunk);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  TMediaInfoExtractor extractor;
  extractor.SetMpegParser(ParseMpeg);
  for (const char16_t* name : {u"fuzz.mp3", u"fuzz.wav"}) {
    TMemoryStream stream;
    stream.Write(bytes);
    TMediaInfo info;
    if (!extractor.Identify(stream, name, info)) {
      Check(!info.Identified());
      continue;
    }
    if (info.Kind != TMediaKind::Mpeg) continue;  // WAV's own kinds: the audio fuzz target
    CheckInfo(bytes, info);
    CheckSeekPoints(stream, info);
    Decode(stream, info);
  }
  // A plain MPEG stream said to have the bit rate a WAV file would state.
  TMemoryStream stream;
  stream.Write(bytes);
  TMediaInfo info;
  if (ParseMpeg(stream, size > 0 ? int64_t{data[0]} * 1000 : 0, info)) CheckInfo(bytes, info);
  return 0;
}
