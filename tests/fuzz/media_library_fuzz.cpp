// Fuzz entry point for the media library bridge: any bytes must open (or
// not) without crashing or hanging, and what an opened file reports must
// hold together while a few of its video frames and sound frames are
// decoded, converted and sought.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/media_info.h"
#include "core/streams.h"
#include "video/ffmpeg/media_audio.h"
#include "video/ffmpeg/media_library.h"

namespace {

using namespace zel;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckHandle(const TMediaHandle& handle) {
  Check(handle.Data != nullptr);
  Check(handle.VideoStream >= 0 || handle.AudioStreamCount > 0);
  Check(handle.Width >= 0 && handle.Height >= 0 && handle.Height != 1088);
  Check(handle.FrameCount >= 0 && handle.Duration >= 0 && handle.StartTime >= 0);
  Check(handle.SampleAspect.Num >= 0 && handle.SampleAspect.Den > 0);
}

void DecodeVideo(TFFMpegDll& dll, TMediaHandle& handle) {
  if (handle.VideoStream < 0) return;
  dll.CurrentFrameIndex(handle);
  dll.DisplayAspect(handle);
  auto buffer = dll.AllocBuffer(handle, handle.PixelFormat);
  auto converted = dll.AllocBufferWithData(handle, TMediaPixelFormat::Yuv420P);
  for (int frame = 0; frame < 3; ++frame) {
    if (dll.GetNextVideoFrame(handle, *buffer) < 0) break;
    Check(buffer->HasPicture());
    dll.GetFrameInfo(*buffer);
    if (converted) dll.ConvertFrame(handle, *buffer, *converted);
  }
  dll.SeekFrame(handle, 1);
  dll.GetNextVideoFrame(handle, *buffer);
  dll.Interlacing(handle);
}

void DecodeAudio(TFFMpegDll& dll, TMediaHandle& handle) {
  TAudioStreamInfo info;
  Check(!dll.GetAudioInfo(handle, handle.AudioStreamCount, info));
  if (!dll.GetAudioInfo(handle, 0, info) || !dll.OpenAudioStream(handle, 0)) return;
  Check(info.SampleRate > 0 && info.Channels > 0 && info.BitsPerSample == 16);
  for (int frame = 0; frame < 6; ++frame) {
    if (frame == 3) dll.SeekAudio(handle, 40);
    const int64_t bytes = dll.GetNextAudioFrame(handle);
    if (bytes <= 0) break;
    Check(bytes % (2 * info.Channels) == 0 && bytes <= static_cast<int64_t>(handle.AudioBuffer.size()));
  }
  dll.CloseAudioStream(handle);
}

// The sound decoder as the music system drives it.
void PlayAsSound(TMemoryStream& stream) {
  TMediaInfo info;
  if (!IdentifyWithMediaLibrary(stream, u".bin", -1, info)) return;
  Check(info.Kind == TMediaKind::MediaLibrary && info.Duration >= 0);
  TFFMpegConverter converter(&stream, u"fuzz.bin");
  if (!converter.Open(info)) return;
  converter.Fill(4096);
  converter.Seek(info.Duration / 2.0);
  converter.Fill(4096);
  Check(converter.Output.Length() >= 4096);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small pictures and short probing keep each input well under a second.
  static const bool limited = [] {
    TFFMpegDll::SetLimits({int64_t{1} << 16, 200000, int64_t{1} << 20});
    return true;
  }();
  (void)limited;
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(data, size));
  TFFMpegDllRef dll;
  auto handle = dll->OpenMediaFile(u"fuzz.bin", stream);
  if (handle) {
    CheckHandle(*handle);
    Check(!dll->GetFormatName(*handle).empty());
    DecodeVideo(*dll, *handle);
    DecodeAudio(*dll, *handle);
    dll->CloseMediaFile(std::move(handle));
    PlayAsSound(stream);
  }
  return 0;
}
