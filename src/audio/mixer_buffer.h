// One stream of a mixing device: a ring of two seconds in the stream's own
// format. The client writes ahead of the mixer (first fill, refills, the
// fade-out of a stop); the mixer reads behind and adds the sound to the
// device's output, converting the format when it is not the output's.
//
// Positions are 64-bit byte counts that only grow (written and consumed);
// only their ring offsets wrap. The mixer may read [consumed, written); a
// refill writes past written, so it needs no lock against the mixer, while
// a fade-out rewrites readable data and holds the ring lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/local_buffer.h"
#include "audio/pcm_resampler.h"
#include "audio/wave_out.h"
#include "core/sync.h"

namespace zel {

class TDSEventThread;
class TMixerWaveOutDevice;

class TMixerWaveOutBuffer : public TWaveOutBuffer {
 public:
  // The highest rate a buffer plays at.
  static constexpr uint32_t kMaxRate = 384000;

  // PCM of 8 or 16 bits with 1, 2 or 6 channels at a rate from 1 to
  // kMaxRate, its block align matching.
  static bool Playable(const TWaveFormat& format);

  // Made by the device, which registers it for mixing. With lockstep the
  // buffer has no feeder thread: Play runs the start step inline and the
  // device's owner drives the refill steps.
  TMixerWaveOutBuffer(TMixerWaveOutDevice& device, const TWaveFormat& format, TWaveOutBufferClient& client,
                      bool lockstep);
  // Closes the buffer, ends its feeder and leaves the device's mix.
  ~TMixerWaveOutBuffer() override;
  TMixerWaveOutBuffer(const TMixerWaveOutBuffer&) = delete;
  TMixerWaveOutBuffer& operator=(const TMixerWaveOutBuffer&) = delete;

  float GetVolume() override;
  void SetVolume(float volume) override;
  void Play() override;
  void Stop() override;
  int64_t FirstFillSize() override;
  int64_t QueuedBytes() override;
  double PlayedTime() override;
  const TWaveFormat& Format() const override { return fFormat; }

  // The ring: two seconds of whole frames; a refill writes at most half.
  int64_t Size() const { return fSize; }
  int64_t HalfSize() const { return fHalfSize; }
  int64_t FrameBytes() const { return fFrameBytes; }
  // What a stop leaves alone ahead of the mixer, in bytes.
  int64_t StopGuardBytes() const;
  int32_t Attenuation() const { return fAttenuation.load(std::memory_order_relaxed); }
  bool Playing() const { return fPlaying.load(std::memory_order_acquire); }

  // The first fill and the start of mixing (once).
  void StartStep();
  // The fade-out of a pending stop, then the next data into the free room.
  void RefillStep();

  // Adds frames output frames in the device's format to the accumulator
  // (interleaved stereo). A buffer that is not playing adds nothing; one
  // that runs short adds what it has and silence for the rest.
  void MixInto(int32_t* accumulator, int64_t frames);

 private:
  friend class TMixerWaveOutDevice;

  uint8_t* Ring() { return fRing.data(); }
  // Gives the queued region from the stop guard on to the fade-out.
  void FadeQueued();
  void WriteFreeRoom();
  // The mixer's two ways; each returns the output frames it added.
  int64_t MixSameFormat(int32_t* accumulator, int64_t frames, double gain);
  int64_t MixConverted(int32_t* accumulator, int64_t frames, double gain);
  // Converts queued input into the staging area until it holds frames.
  void StageConverted(int64_t frames);
  void NoteShortfall(int64_t missingFrames);

  TMixerWaveOutDevice* fDevice;
  TWaveFormat fFormat;
  TWaveOutBufferClient& fClient;
  const bool fLockstep;
  int64_t fFrameBytes;
  int64_t fSize;
  int64_t fHalfSize;
  std::vector<uint8_t> fRing;

  std::atomic<int64_t> fWritten{0};
  std::atomic<int64_t> fConsumed{0};
  std::atomic<bool> fPlaying{false};
  std::atomic<bool> fStopRequested{false};
  bool fStarted = false;  // under fFillLock
  bool fClosed = false;   // under fFillLock
  bool fResumed = false;  // under fFillLock: the feeder runs
  bool fShort = false;    // under fRingLock: inside an underrun episode

  std::atomic<int32_t> fAttenuation{0};
  std::atomic<float> fVolume{-1.0f};  // -1: never set

  // Format conversion for buffers not in the output format; its output
  // waits in the staging area until mixed. Both under fRingLock.
  std::unique_ptr<TPcmResampler> fResampler;
  TLocalBuffer fStaging;

  TCriticalSection fFillLock;
  TCriticalSection fRingLock;
  std::unique_ptr<TDSEventThread> fFeeder;
};

}  // namespace zel
