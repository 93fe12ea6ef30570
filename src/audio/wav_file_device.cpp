#include "audio/wav_file_device.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "audio/wav_header.h"
#include "core/clock.h"
#include "core/log.h"

namespace zel {

namespace {

void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

TWavFileWaveOutDevice::TWavFileWaveOutDevice(const TString& path)
    : fPath(StringToUtf8(path)), fOrigin(Clock().Milliseconds()) {
  fFile = std::fopen(fPath.c_str(), "wb");
  if (!fFile) {
    Log().Write("!!! TWavFileWaveOutDevice: cannot create " + fPath);
    throw EAudioDevice("Cannot create the sound file " + fPath);
  }
  WriteHeader();
  if (fFailed) {
    std::fclose(fFile);
    fFile = nullptr;
    throw EAudioDevice("Cannot write the sound file " + fPath);
  }
  Log().Write("TWavFileWaveOutDevice: writing " + fPath);
}

TWavFileWaveOutDevice::~TWavFileWaveOutDevice() {
  Finish();
  if (fFile) std::fclose(fFile);
}

void TWavFileWaveOutDevice::Pump() {
  std::lock_guard guard(fRenderLock);
  const uint64_t now = Clock().Milliseconds();
  if (now <= fOrigin) return;
  const auto due = static_cast<int64_t>((now - fOrigin) * 44100 / 1000);
  if (due > fFramesRendered) RenderFrames(due - fFramesRendered);
}

void TWavFileWaveOutDevice::RenderFrames(int64_t frames) {
  std::lock_guard guard(fRenderLock);
  while (frames > 0) {
    // Chunks end where the clocks are due, so each poll sees the count of
    // exactly its 10 ms.
    const int64_t chunk = std::min({kChunkFrames, frames, fNextPoll - fFramesRendered});
    RefillAll();
    Mix(fChunk.data(), chunk);
    const int64_t kept = fFrameLimit < 0 ? chunk : std::clamp<int64_t>(fFrameLimit - fFramesRendered, 0, chunk);
    WriteFrames(fChunk.data(), kept);
    fFramesWritten += kept;
    fFramesRendered += chunk;
    frames -= chunk;
    if (fFramesRendered == fNextPoll) {
      fNextPoll += kPollFrames;
      PollTimers();
    }
  }
}

int64_t TWavFileWaveOutDevice::FramesWritten() {
  std::lock_guard guard(fRenderLock);
  return fFramesWritten;
}

void TWavFileWaveOutDevice::SetFrameLimit(int64_t frames) {
  std::lock_guard guard(fRenderLock);
  fFrameLimit = frames;
}

void TWavFileWaveOutDevice::WriteFrames(const int16_t* samples, int64_t frames) {
  if (frames <= 0) return;
  for (int64_t i = 0; i < 2 * frames; ++i) PutLe16(&fBytes[2 * i], static_cast<uint16_t>(samples[i]));
  const auto bytes = static_cast<size_t>(4 * frames);
  if (!fFailed && std::fwrite(fBytes.data(), 1, bytes, fFile) != bytes) WriteFailed("write");
}

void TWavFileWaveOutDevice::WriteHeader() {
  const auto header = WavHeader(GlobalOutputFormat(), 4 * fFramesWritten);
  if (std::fseek(fFile, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), fFile) != header.size() ||
      std::fseek(fFile, 0, SEEK_END) != 0) {
    WriteFailed("header");
  }
}

void TWavFileWaveOutDevice::Finish() {
  std::lock_guard guard(fRenderLock);
  if (!fFile || fFailed) return;
  WriteHeader();
  if (std::fflush(fFile) != 0) WriteFailed("flush");
}

void TWavFileWaveOutDevice::WriteFailed(const char* what) {
  if (!fFailed) Log().Write(std::string("!!! TWavFileWaveOutDevice: ") + what + " failed on " + fPath);
  fFailed = true;
}

}  // namespace zel
