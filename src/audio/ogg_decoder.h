// The built-in Ogg Vorbis decoder (libvorbisfile), standing in for the
// show's Ogg plug-in library. It reads through the stream gate and decodes
// to 16-bit PCM of the file's rate and channels (more than two channels
// come out interleaved in the file's own order).
#pragma once

#include <cstdint>
#include <memory>

#include "audio/dll_converter.h"

namespace zel {

class TOggDec : public TDllDec {
 public:
  // Ogg Vorbis when the stream opens as such from its start: the playing
  // time of all its links (ms, rounded), data offset 0 and the first link's
  // format. Leaves the stream at a position of the library's choosing.
  bool GetMediaInfo(TStream& stream, int32_t& durationMs, int64_t& dataOffset, TWaveFormat& format) override;
  // A decoder from the start of the stream, or none when it does not open.
  // Positions are exact: SetPosition lands on the sample nearest the time.
  std::unique_ptr<TDecoder> CreateDecoder(TStream& stream, TOutput output) override;
};

// Installs a TOggDec as the library of the Ogg kind.
void RegisterOggDecoder();

}  // namespace zel
