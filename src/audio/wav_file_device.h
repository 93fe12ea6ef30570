// A device in lockstep with the program's clock that writes what it plays
// to a WAV file (PCM, 44,100 Hz, 2 channels, 16 bits): for tests and for
// exporting a show's sound. No threads: whoever drives the program's clock
// calls Pump, which renders every output frame whose time has come (frame
// i sounds at i / 44.1 ms after the device was made), refills the buffers
// on the way and polls the clocks the device made.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/mixer_device.h"
#include "audio/wav_header.h"
#include "core/strings.h"
#include "core/sync.h"

namespace zel {

class TWavFileWaveOutDevice : public TMixerWaveOutDevice {
 public:
  // The most frames mixed between two refill steps.
  static constexpr int64_t kChunkFrames = 1024;
  // Output frames between two polls of the clocks: 10 ms.
  static constexpr int64_t kPollFrames = 441;
  static constexpr int64_t kHeaderBytes = kWavHeaderBytes;

  // Creates (or truncates) the file; raises EAudioDevice when it cannot be
  // written. The clock's time now is the origin of the output.
  explicit TWavFileWaveOutDevice(const TString& path);
  // Finishes and closes the file.
  ~TWavFileWaveOutDevice() override;

  bool IsReady() override { return true; }

  // Renders up to the frame of the clock's time now.
  void Pump();
  // Renders frames more, whatever the clock says.
  void RenderFrames(int64_t frames);
  int64_t FramesWritten();
  // Frames rendered past this many are mixed (buffers and clocks go on)
  // but not written: a recording of a set length whose sounds can still be
  // played out and freed. Negative: no limit.
  void SetFrameLimit(int64_t frames);
  uint64_t Origin() const { return fOrigin; }
  // Writes the sizes into the header so the file is complete as it stands;
  // rendering may go on afterwards.
  void Finish();

 protected:
  bool Lockstep() const override { return true; }

 private:
  void WriteHeader();
  void WriteFrames(const int16_t* samples, int64_t frames);
  void WriteFailed(const char* what);

  std::FILE* fFile = nullptr;
  std::string fPath;
  const uint64_t fOrigin;
  TCriticalSection fRenderLock;
  int64_t fFramesRendered = 0;
  int64_t fFramesWritten = 0;
  int64_t fFrameLimit = -1;
  int64_t fNextPoll = kPollFrames;
  std::vector<int16_t> fChunk = std::vector<int16_t>(2 * kChunkFrames);
  std::vector<uint8_t> fBytes = std::vector<uint8_t>(4 * kChunkFrames);
  bool fFailed = false;
};

}  // namespace zel
