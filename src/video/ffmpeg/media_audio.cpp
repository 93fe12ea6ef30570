#include "video/ffmpeg/media_audio.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "audio/decoder_factory.h"
#include "audio/media_info_extractor.h"
#include "audio/stream_gate.h"
#include "audio/wave_out.h"

namespace zel {

namespace {

// The name a file is opened under when only its extension is known: FFmpeg
// takes the extension as a hint.
const TString kAnonymousName = u"qwe";

// Milliseconds of a duration in µs, rounded and kept in range.
int32_t DurationMsOf(int64_t us) {
  const double ms = std::nearbyint(static_cast<double>(std::max<int64_t>(us, 0)) / 1000.0);
  return static_cast<int32_t>(std::min(ms, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

// Opens the file and its audio stream number; none (and the file closed
// again) when either fails.
std::unique_ptr<TMediaHandle> OpenAudioFile(TFFMpegDll& dll, TStringView name, TStream& stream, int32_t number,
                                            TAudioStreamInfo& info) {
  auto handle = dll.OpenMediaFile(name, stream);
  if (!handle) return nullptr;
  if (!dll.GetAudioInfo(*handle, number, info) || !dll.OpenAudioStream(*handle, number)) {
    dll.CloseMediaFile(std::move(handle));
    return nullptr;
  }
  return handle;
}

void CloseAudioFile(TFFMpegDll& dll, std::unique_ptr<TMediaHandle> handle) {
  if (!handle) return;
  dll.CloseAudioStream(*handle);
  dll.CloseMediaFile(std::move(handle));
}

// A WMA decoder: one open file, its PCM handed to the output.
class TWmaDecoder : public TDllDec::TDecoder {
 public:
  TWmaDecoder(std::unique_ptr<TMediaHandle> handle, TDllDec::TOutput output)
      : fHandle(std::move(handle)), fOutput(std::move(output)) {}
  ~TWmaDecoder() override { CloseAudioFile(*fDll, std::move(fHandle)); }

  bool Decode() override {
    const int64_t bytes = fDll->GetNextAudioFrame(*fHandle);
    if (bytes <= 0) return false;
    if (fOutput) fOutput(fHandle->AudioBuffer.data(), bytes);
    return true;
  }
  bool SetPosition(double ms) override { return fDll->SeekAudio(*fHandle, std::max(ms, 0.0)); }

 private:
  TFFMpegDllRef fDll;
  std::unique_ptr<TMediaHandle> fHandle;
  TDllDec::TOutput fOutput;
};

}  // namespace

// ---------------------------------------------------------------------------

TFFMpegConverter::TFFMpegConverter(TStream* stream, TStringView name) : TWavConverter(stream), fName(name) {}

TFFMpegConverter::~TFFMpegConverter() {
  if (!fHandle) return;
  if (fAudioOpen) fDll->CloseAudioStream(*fHandle);
  fDll->CloseMediaFile(std::move(fHandle));
}

bool TFFMpegConverter::Open(const TMediaInfo& info) {
  if (!Stream() || fHandle) return false;
  int32_t number = -1;
  const TString file = StripStreamSuffix(fName, &number);
  TAudioStreamInfo audio;
  fHandle = OpenAudioFile(*fDll, file, *Stream(), std::max(number, 0), audio);
  if (!fHandle) return false;
  fAudioOpen = true;
  const TWaveFormat target = GlobalOutputFormat();
  const int32_t bits = audio.BitsPerSample < 8 ? 16 : audio.BitsPerSample;
  TWaveFormat decoded = Pcm16Format(static_cast<uint32_t>(audio.SampleRate), static_cast<uint16_t>(audio.Channels));
  if (static_cast<uint32_t>(audio.SampleRate) != target.SamplesPerSec || audio.Channels != target.Channels ||
      bits != target.BitsPerSample) {
    // FFmpeg's resampler makes the global format directly, from any layout.
    fDll->SetAudioOutput(*fHandle, static_cast<int32_t>(target.SamplesPerSec), target.Channels);
    decoded = target;
  }
  OpenBuffers(info, decoded);
  return true;
}

void TFFMpegConverter::Seek(double ms) {
  ms = std::max(ms, 0.0);
  ClearBuffers();
  if (fHandle) fDll->SeekAudio(*fHandle, ms);
  Position = ms;
}

bool TFFMpegConverter::Decode(TLocalBuffer&) {
  if (!fHandle) return false;
  const int64_t bytes = fDll->GetNextAudioFrame(*fHandle);
  if (bytes <= 0) return false;
  Deliver(std::span<const uint8_t>(fHandle->AudioBuffer.data(), static_cast<size_t>(bytes)));
  return true;
}

// ---------------------------------------------------------------------------

bool TWmaDec::GetMediaInfo(TStream& stream, int32_t& durationMs, int64_t& dataOffset, TWaveFormat& format) {
  TFFMpegDllRef dll;
  auto handle = dll->OpenMediaFile(kAnonymousName + u".wma", stream);
  if (!handle) return false;
  TAudioStreamInfo audio;
  const bool ok = handle->Data->Container == TContainer::Asf && dll->GetAudioInfo(*handle, 0, audio);
  if (ok) {
    durationMs = DurationMsOf(handle->Duration);
    dataOffset = 0;
    format = Pcm16Format(static_cast<uint32_t>(audio.SampleRate), static_cast<uint16_t>(std::min(audio.Channels, 2)));
  }
  dll->CloseMediaFile(std::move(handle));
  return ok;
}

std::unique_ptr<TDllDec::TDecoder> TWmaDec::CreateDecoder(TStream& stream, TOutput output) {
  TFFMpegDllRef dll;
  TAudioStreamInfo audio;
  auto handle = OpenAudioFile(*dll, kAnonymousName + u".wma", stream, 0, audio);
  if (!handle) return nullptr;
  if (audio.Channels > 2) dll->SetAudioOutput(*handle, audio.SampleRate, 2);
  return std::make_unique<TWmaDecoder>(std::move(handle), std::move(output));
}

// ---------------------------------------------------------------------------

bool IdentifyWithMediaLibrary(TStream& stream, const TString& extension, int32_t streamIndex, TMediaInfo& info) {
  TFFMpegDllRef dll;
  auto handle = dll->OpenMediaFile(kAnonymousName + extension, stream);
  if (!handle) return false;
  TAudioStreamInfo audio;
  const bool ok = dll->GetAudioInfo(*handle, std::max(streamIndex, 0), audio);
  if (ok) {
    info.Kind = TMediaKind::MediaLibrary;
    info.Duration = DurationMsOf(handle->Duration);
    info.Format = GlobalOutputFormat();
  }
  dll->CloseMediaFile(std::move(handle));
  return ok;
}

void RegisterMediaLibraryAudio() {
  SetDecoderMaker(TMediaKind::MediaLibrary,
                  [](TStream* stream, TStringView name, const TMediaInfo&) -> std::unique_ptr<TWavConverter> {
                    return std::make_unique<TFFMpegConverter>(stream, name);
                  });
  SetDllDec(TMediaKind::Wma, std::make_shared<TWmaDec>());
  TMediaInfoExtractor::SetMediaLibraryParser(&IdentifyWithMediaLibrary);
}

}  // namespace zel
