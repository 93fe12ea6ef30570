// Sound subcommands: identification of a sound file as the music system
// does it.
#include <cstdio>

#include "audio/media_info_extractor.h"
#include "audio/stream_gate.h"
#include "core/strings.h"
#include "tool.h"

namespace zel::tool {

int RunAudioInfo(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("audio-info");
  const TString name = Utf8ToString(arguments[0]);
  try {
    auto stream = StreamWrapper().Open(name);
    TMediaInfo info;
    const bool identified = TMediaInfoExtractor().Identify(*stream, name, info);
    StreamWrapper().Close(std::move(stream));
    if (!identified) return Fail("audio-info", "not a sound file this player reads: " + arguments[0]);
    std::printf("%d %lld %lld %d %u %u %u\n", static_cast<int>(info.Kind), static_cast<long long>(info.DataOffset),
                static_cast<long long>(info.DataSize), info.Duration, info.Format.SamplesPerSec,
                static_cast<unsigned>(info.Format.Channels), static_cast<unsigned>(info.Format.BitsPerSample));
    return 0;
  } catch (const EFileError& e) {
    return Fail("audio-info", "cannot open " + arguments[0] + ": " + e.Message());
  } catch (const std::exception& e) {
    return Fail("audio-info", e.what());
  }
}

}  // namespace zel::tool
