// The sound decoders that read through the media library bridge: the
// decoder of the media-library kind (every format the other decoders do not
// know), the WMA decoder library, and the identification of such files.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/dll_converter.h"
#include "audio/media_info.h"
#include "audio/wav_converter.h"
#include "core/streams.h"
#include "core/strings.h"
#include "video/ffmpeg/media_library.h"

namespace zel {

// Decodes the audio stream a name's "?N" suffix picks (the first without
// one) to the global output format.
class TFFMpegConverter : public TWavConverter {
 public:
  // stream is not owned and outlives the decoder; name may carry the suffix.
  TFFMpegConverter(TStream* stream, TStringView name);
  ~TFFMpegConverter() override;

  // Positions at ms, to the sample.
  void Seek(double ms) override;
  // Appends the next audio frame to Output; false at the end of the sound.
  bool Decode(TLocalBuffer& input) override;
  // The library reads the stream itself.
  bool ReadMore() override { return true; }
  // Opens the file and its audio stream; false when it has no such stream
  // or it cannot be decoded.
  bool Open(const TMediaInfo& info) override;

  // The open file, for tests and diagnostics; none before Open succeeded.
  const TMediaHandle* Handle() const { return fHandle.get(); }

 private:
  TString fName;
  TFFMpegDllRef fDll;
  std::unique_ptr<TMediaHandle> fHandle;
  bool fAudioOpen = false;
};

// The WMA decoder library: Windows Media files (ASF) decoded to 16-bit PCM
// of their own rate, in at most two channels.
class TWmaDec : public TDllDec {
 public:
  bool GetMediaInfo(TStream& stream, int32_t& durationMs, int64_t& dataOffset, TWaveFormat& format) override;
  std::unique_ptr<TDecoder> CreateDecoder(TStream& stream, TOutput output) override;
};

// The media library's share of identification (fits
// TMediaInfoExtractor::TOtherFormatsParser): a file with the audio stream
// streamIndex (-1: the first) is of the media-library kind, lasts the
// file's duration and decodes to the global output format. The stream's
// position is not kept.
bool IdentifyWithMediaLibrary(TStream& stream, const TString& extension, int32_t streamIndex, TMediaInfo& info);

// Installs the media-library decoder maker, the WMA library and the media
// library's identification of the other formats.
void RegisterMediaLibraryAudio();

}  // namespace zel
