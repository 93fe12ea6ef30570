#include "audio/media_info_extractor.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "audio/adpcm_decoder.h"
#include "audio/dll_converter.h"
#include "audio/mpeg_info.h"
#include "audio/pcm_samples.h"
#include "audio/stream_gate.h"
#include "core/sync.h"

namespace zel {

namespace {

constexpr double kUnknownFrameTime = 26;

struct TMediaLibraryParserSlot {
  TCriticalSection Lock;
  TMediaInfoExtractor::TOtherFormatsParser Parser;
};

TMediaLibraryParserSlot& MediaLibraryParserSlot() {
  static TMediaLibraryParserSlot slot;
  return slot;
}

// A former plug-in kind by its library; its data runs from the offset the
// library names to the end of the stream.
bool IdentifyWithLibrary(TStream& stream, TMediaKind kind, TMediaInfo& info) {
  const std::shared_ptr<TDllDec> library = DllDec(kind);
  if (!library) return false;
  StreamWrapper().Seek(stream, 0, 0);
  int32_t duration = 0;
  int64_t offset = 0;
  TWaveFormat format;
  if (!library->GetMediaInfo(stream, duration, offset, format)) return false;
  info.Kind = kind;
  info.Duration = duration;
  info.DataOffset = offset;
  info.DataSize = std::max<int64_t>(0, StreamWrapper().Size(stream) - offset);
  info.Format = format;
  return true;
}

bool IsMpegExtension(const TString& extension) {
  return extension == u".mp3" || extension == u".mp2" || extension == u".mp1";
}

// The first 8 bytes; false when the stream holds fewer.
bool ReadSignature(TStream& stream, uint8_t (&signature)[8]) {
  StreamWrapper().Seek(stream, 0, 0);
  return StreamWrapper().Read(stream, signature, 8) == 8;
}

}  // namespace

bool DecodableWaveFormat(const TWaveFormat& format, const TExtraFormat& extra) {
  if (format.Channels == 0 || format.SamplesPerSec == 0 || format.BlockAlign == 0 || format.AvgBytesPerSec == 0) {
    return false;
  }
  switch (static_cast<TWaveFormatTag>(format.FormatTag)) {
    case TWaveFormatTag::Pcm:
      return TPcmLayout{format.BitsPerSample, format.Channels, false}.Valid();
    case TWaveFormatTag::IeeeFloat:
      return TPcmLayout{format.BitsPerSample, format.Channels, true}.Valid();
    case TWaveFormatTag::MsAdpcm: {
      TAdpcmFormat adpcm;
      return ReadAdpcmFormat(format, extra, adpcm);
    }
    case TWaveFormatTag::MpegLayer3:
      return true;
  }
  return false;
}

TMediaInfoExtractor::TMediaInfoExtractor()
    : fMpegParser(&ParseMpeg), fOtherFormats(&TMediaInfoExtractor::IdentifyOtherFormats) {}

TMediaInfoExtractor::TOtherFormatsParser TMediaInfoExtractor::SetMediaLibraryParser(TOtherFormatsParser parser) {
  TMediaLibraryParserSlot& slot = MediaLibraryParserSlot();
  std::lock_guard lock(slot.Lock);
  std::swap(slot.Parser, parser);
  return parser;
}

bool TMediaInfoExtractor::IdentifyOtherFormats(TStream& stream, const TString& extension, int32_t streamIndex,
                                                TMediaInfo& info) {
  if (extension == u".ogg" && IdentifyWithLibrary(stream, TMediaKind::Ogg, info)) return true;
  if (extension == u".wma" && IdentifyWithLibrary(stream, TMediaKind::Wma, info)) return true;
  info = TMediaInfo();
  TOtherFormatsParser mediaLibrary;
  {
    TMediaLibraryParserSlot& slot = MediaLibraryParserSlot();
    std::lock_guard lock(slot.Lock);
    mediaLibrary = slot.Parser;
  }
  if (!mediaLibrary) return false;
  StreamWrapper().Seek(stream, 0, 0);
  return mediaLibrary(stream, extension, streamIndex, info);
}

TString TMediaInfoExtractor::Extension(TStringView name) {
  const TString file = StripStreamSuffix(name);
  const size_t dot = file.rfind(u'.');
  const size_t separator = file.find_last_of(u"/\\");
  if (dot == TString::npos || (separator != TString::npos && dot < separator)) return {};
  return LowerCase(TStringView(file).substr(dot));
}

bool TMediaInfoExtractor::FromWavChunks(const TRiffInfo& riff, TStream& stream, TMediaInfo& info) const {
  info.DataOffset = riff.DataOffset;
  info.DataSize = riff.DataSize;
  info.Duration = DurationMs(riff.DataSize, riff.Format.AvgBytesPerSec);
  if (riff.Format.FormatTag != static_cast<uint16_t>(TWaveFormatTag::MpegLayer3)) {
    info.Kind = static_cast<TMediaKind>(riff.Format.FormatTag);  // kinds 1, 2 and 3 are the tags
    info.Format = riff.Format;
    info.ExtraFormat = riff.ExtraFormat;
    TAdpcmFormat adpcm;
    if (info.Kind == TMediaKind::MsAdpcm && ReadAdpcmFormat(info.Format, info.ExtraFormat, adpcm)) {
      info.Duration = DurationMs(AdpcmFrameCount(info.DataSize, adpcm), info.Format.SamplesPerSec);
    }
    return true;
  }
  info.Kind = TMediaKind::Mpeg;
  info.MpegInRiff = true;
  info.Format = Pcm16Format(riff.Format.SamplesPerSec, riff.Format.Channels);
  info.StreamDuration = info.Duration;
  info.FrameTime = kUnknownFrameTime;
  if (!fMpegParser) return true;
  if (!fMpegParser(stream, static_cast<int64_t>(riff.Format.AvgBytesPerSec) * 8, info)) return false;
  info.Kind = TMediaKind::Mpeg;
  info.MpegInRiff = true;
  return true;
}

bool TMediaInfoExtractor::IdentifyWav(TStream& stream, TMediaInfo& info) const {
  info = TMediaInfo();
  TRiffInfo riff;
  if (riff.Read(stream) != TRiffOutcome::Found || !DecodableWaveFormat(riff.Format, riff.ExtraFormat)) return false;
  if (FromWavChunks(riff, stream, info)) return true;
  info = TMediaInfo();
  return false;
}

bool TMediaInfoExtractor::IdentifyOther(TStream& stream, TStringView name, TMediaInfo& info) const {
  info = TMediaInfo();
  if (!fOtherFormats) return false;
  const TString extension = Extension(name);
  if (extension.empty()) return false;
  int32_t streamIndex = -1;
  StripStreamSuffix(name, &streamIndex);
  StreamWrapper().Seek(stream, 0, 0);
  if (fOtherFormats(stream, extension, streamIndex, info) && info.Identified()) return true;
  info = TMediaInfo();
  return false;
}

bool TMediaInfoExtractor::Identify(TStream& stream, TStringView name, TMediaInfo& info) const {
  info = TMediaInfo();
  uint8_t signature[8];
  if (!ReadSignature(stream, signature)) return false;
  if (std::memcmp(signature, "RIFF", 4) == 0) {
    return IdentifyWav(stream, info) || IdentifyOther(stream, name, info);
  }
  if (IsMpegExtension(Extension(name))) {
    if (!fMpegParser) return false;
    StreamWrapper().Seek(stream, 0, 0);
    if (fMpegParser(stream, 0, info) && info.Identified()) return true;
    info = TMediaInfo();
    return false;
  }
  return IdentifyOther(stream, name, info);
}

}  // namespace zel
