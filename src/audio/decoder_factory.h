// Makes the decoder for an identified sound file by its kind.
#pragma once

#include <functional>
#include <memory>

#include "audio/media_info.h"
#include "audio/wav_converter.h"
#include "core/streams.h"
#include "core/strings.h"

namespace zel {

// The decoder of a kind, reading from stream (not owned). PCM and float
// get the base decoder, MS ADPCM its own; kinds whose decoders are not
// built in and not registered (see below) give none. An unknown kind is a
// programming error and gives none.
std::unique_ptr<TWavConverter> CreateDecoder(TStream* stream, TStringView name, const TMediaInfo& info);

// The kinds whose decoders live outside this library (WMA and the media
// library's, on FFmpeg) register their maker here at start-up; returns the
// previous one. A registered maker is asked before the built-in decoder of
// its kind, which serves when the maker gives none.
using TCompressedDecoderMaker =
    std::function<std::unique_ptr<TWavConverter>(TStream* stream, TStringView name, const TMediaInfo& info)>;
TCompressedDecoderMaker SetDecoderMaker(TMediaKind kind, TCompressedDecoderMaker maker);

}  // namespace zel
