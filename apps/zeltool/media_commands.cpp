// Media library subcommands: what the bridge over FFmpeg reports of a
// video or sound file once its corrections are applied.
#include <cstdio>

#include "audio/stream_gate.h"
#include "core/strings.h"
#include "tool.h"
#include "video/ffmpeg/media_library.h"

namespace zel::tool {

namespace {

// 0 progressive, 1 interlaced top field first, 2 bottom field first.
int InterlaceCode(const TInterlace& interlace) {
  if (!interlace.Interlaced) return 0;
  return interlace.TopFieldFirst ? 1 : 2;
}

}  // namespace

int RunMediaInfo(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("media-info");
  try {
    const TString name = Utf8ToString(arguments[0]);
    auto stream = StreamWrapper().Open(name);
    TFFMpegDllRef bridge;
    auto handle = bridge->OpenMediaFile(name, *stream);
    if (!handle) {
      StreamWrapper().Close(std::move(stream));
      return Fail("media-info", "the media library cannot open " + arguments[0]);
    }
    const bool video = handle->VideoStream >= 0;
    const TInterlace interlace = video ? bridge->Interlacing(*handle) : TInterlace{};
    const TDisplayAspect aspect = video ? bridge->DisplayAspect(*handle) : TDisplayAspect::Unknown;
    const int container = handle->Data ? static_cast<int>(handle->Data->Container) : 0;
    std::printf("%d %d %d %d %lld %lld %lld %d %d %d %d\n", handle->Width, handle->Height, handle->FrameRate.Num,
                handle->FrameRate.Den, static_cast<long long>(handle->FrameCount),
                static_cast<long long>(handle->StartTime), static_cast<long long>(handle->Duration), container,
                InterlaceCode(interlace), static_cast<int>(aspect), handle->AudioStreamCount);
    bridge->CloseMediaFile(std::move(handle));
    StreamWrapper().Close(std::move(stream));
    return 0;
  } catch (const EFileError& e) {
    return Fail("media-info", "cannot open " + arguments[0] + ": " + e.Message());
  } catch (const std::exception& e) {
    return Fail("media-info", e.what());
  }
}

}  // namespace zel::tool
