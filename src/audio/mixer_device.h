// The base of the devices that mix in software: every playing buffer is
// added into one output stream in the global format, and the frames the
// device has consumed drive the master clock.
//
// A device either feeds its buffers from threads of their own (a sound
// card that pulls data in real time) or runs in lockstep: no threads at
// all, and the device's owner renders the output and drives every refill
// and every clock poll (a file written in the program's time).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/device_timer_channel.h"
#include "audio/wave_out.h"
#include "core/exceptions.h"
#include "core/sync.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(EAudioDevice, TCommonException);

class TMixerWaveOutBuffer;

class TMixerWaveOutDevice : public TWaveOutDevice, public TPlayedFramesSource {
 public:
  // Frames mixed in one pass through the accumulator.
  static constexpr int64_t kMixBlockFrames = 1024;

  TMixerWaveOutDevice() = default;
  // Buffers and timers must be gone first; any left are cut loose.
  ~TMixerWaveOutDevice() override;
  TMixerWaveOutDevice(const TMixerWaveOutDevice&) = delete;
  TMixerWaveOutDevice& operator=(const TMixerWaveOutDevice&) = delete;

  std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& format, TWaveOutBufferClient& client) override;
  // Raises EAudioDevice when the device is not ready.
  std::unique_ptr<TTimerChannel> CreateTimer() override;

  int64_t ConsumedFrames() override { return fConsumedFrames.load(std::memory_order_acquire); }
  uint32_t FrameRate() override { return GlobalOutputFormat().SamplesPerSec; }

  // Renders frames of the mix of every playing buffer into out
  // (interleaved stereo 16-bit, saturated) and counts them as consumed.
  void Mix(int16_t* out, int64_t frames);

  int32_t BufferCount();

 protected:
  // True: no feeder or polling threads (see the file comment).
  virtual bool Lockstep() const { return false; }

  // Lockstep only: the refill step of every buffer, skipping one whose
  // client is busy right now (it is refilled next time).
  void RefillAll();
  // Lockstep only: one poll of every timer this device made.
  void PollTimers();

 private:
  friend class TMixerWaveOutBuffer;
  class TPolledTimer;

  void RemoveBuffer(TMixerWaveOutBuffer* buffer);
  void RemoveTimer(TPolledTimer* timer);

  TCriticalSection fBuffersLock;
  std::vector<TMixerWaveOutBuffer*> fBuffers;
  // Under fBuffersLock: the mixer's sums.
  std::vector<int32_t> fAccumulator = std::vector<int32_t>(2 * kMixBlockFrames);

  TCriticalSection fTimersLock;
  std::vector<TPolledTimer*> fTimers;

  std::atomic<int64_t> fConsumedFrames{0};
};

}  // namespace zel
