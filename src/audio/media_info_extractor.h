// Identification of a sound file from its first bytes and its name: the
// kind, the wave format its decoder delivers, the sound data and the
// playing time. WAV files (PCM, MS ADPCM, float) are read here; MPEG audio
// and the kinds of the plug-ins and the media library are read by parsers
// the music system installs.
#pragma once

#include <functional>

#include "audio/media_info.h"
#include "audio/riff_info.h"
#include "core/streams.h"
#include "core/strings.h"

namespace zel {

class TMediaInfoExtractor {
 public:
  // Reads MPEG audio from the stream: bitRateHint is the bit rate in bit/s
  // a WAV file states for its MPEG data (0 for a plain MPEG file). For a
  // WAV file, info already holds what the chunks tell (data chunk, format,
  // duration) when the parser is called. False when it is not MPEG audio.
  using TMpegParser = std::function<bool(TStream& stream, int64_t bitRateHint, TMediaInfo& info)>;
  // The other formats (plug-ins, media library), by extension (".ogg",
  // lower case, with its dot) and the stream number of the name's "?"
  // suffix (-1 without one).
  using TOtherFormatsParser =
      std::function<bool(TStream& stream, const TString& extension, int32_t streamIndex, TMediaInfo& info)>;

  // A new extractor reads MPEG audio with the built-in parser and the other
  // formats with the built-in chain (see IdentifyOtherFormats).
  TMediaInfoExtractor();

  void SetMpegParser(TMpegParser parser) { fMpegParser = std::move(parser); }
  void SetOtherFormatsParser(TOtherFormatsParser parser) { fOtherFormats = std::move(parser); }

  // Clears info and identifies the stream; false (and info cleared) when
  // it is none of the known kinds.
  bool Identify(TStream& stream, TStringView name, TMediaInfo& info) const;

  // The WAV part alone. The playing time is the data size over the stated
  // bytes per second, except for MS ADPCM: there it is the samples the
  // blocks hold over the rate. Without an MPEG parser, MPEG data in a WAV file
  // is described from its data chunk: MPEG kind, the data chunk as data,
  // the duration from the stated bytes per second and 16-bit PCM of the
  // stated rate and channels as the output format.
  bool IdentifyWav(TStream& stream, TMediaInfo& info) const;

  // The other formats as every extractor starts with them: ".ogg" and
  // ".wma" by their decoder libraries (kinds 6 and 5), then, for any
  // extension, the media library's parser when one is registered.
  static bool IdentifyOtherFormats(TStream& stream, const TString& extension, int32_t streamIndex, TMediaInfo& info);
  // Registers the media library's parser (at start-up, by the layer that
  // holds the media library); returns the previous one.
  static TOtherFormatsParser SetMediaLibraryParser(TOtherFormatsParser parser);

  // The extension of a name (its "?" suffix removed) in lower case with
  // its dot; empty when it has none.
  static TString Extension(TStringView name);

 private:
  bool FromWavChunks(const TRiffInfo& riff, TStream& stream, TMediaInfo& info) const;
  bool IdentifyOther(TStream& stream, TStringView name, TMediaInfo& info) const;

  TMpegParser fMpegParser;
  TOtherFormatsParser fOtherFormats;
};

// Whether identification may hand a WAV format to a decoder: channels,
// rate, block align and bytes per second are not 0, and the sample kind is
// one the decoders handle (integer PCM of 8, 16, 24 or 32 bits, 32-bit
// float, MS ADPCM with decodable parameters, MPEG).
bool DecodableWaveFormat(const TWaveFormat& format, const TExtraFormat& extra);

}  // namespace zel
