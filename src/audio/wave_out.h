// The sound output layer: a device that plays any number of buffers at
// once, each in its own wave format, and the master clock that the show
// follows. The music system reaches a device only through these
// interfaces and the factory at the end of this file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/media_info.h"
#include "core/obj.h"
#include "core/strings.h"

namespace zel {

// What every device plays: 44,100 frames a second, two channels, 16 bits.
// Buffers in other formats are converted to it as they are mixed.
TWaveFormat GlobalOutputFormat();

// Volumes are kept as attenuations in hundredths of a decibel, from
// kSilentAttenuation to 0: 6 dB (600) per halving.
constexpr int32_t kSilentAttenuation = -10000;
// -600 x log2(1 / volume), rounded; kSilentAttenuation for volume <= 0 (and
// NaN); never above 0, so volumes above 1 play at full level.
int32_t VolumeToAttenuation(float volume);
// 0 gives 1, kSilentAttenuation gives 0, others 2^(a / 600).
float AttenuationToVolume(int32_t attenuation);
// The linear factor the mixer applies for an attenuation: 10^(a / 2000);
// exactly 1 at 0 and exactly 0 at kSilentAttenuation or below.
double AttenuationGain(int32_t attenuation);

class TWaveOutBuffer;

// The three callbacks of a buffer, all run on its feeder (the device's
// feeder thread of the buffer, or the caller of a lockstep device's Pump).
// Each gets a region of the buffer's ring to write or rewrite; a region that
// wraps the ring comes as two calls. They must not wait for anything that
// may be waiting for the buffer (its owner's locks included).
class TWaveOutBufferClient {
 public:
  virtual ~TWaveOutBufferClient() = default;
  // The first data, before the buffer starts: FirstFillSize bytes.
  virtual void FirstFill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) = 0;
  // A stop asked for: rewrite audio already queued (from 25 ms past what the
  // device has consumed up to what was written) with the fade-out.
  virtual void FadeOutQueued(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) = 0;
  // Free room to fill with the next data.
  virtual void Refill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) = 0;
};

// One stream of sound on the device: a ring of two seconds in its own
// format, filled by its client, played by the device's mixer.
class TWaveOutBuffer : public TObj {
 public:
  // The margin ahead of the device that a stop leaves alone.
  static constexpr uint32_t kStopGuardMs = 25;

  // The last volume set, or the one the attenuation gives.
  virtual float GetVolume() = 0;
  // Clamped to the device's range (see VolumeToAttenuation).
  virtual void SetVolume(float volume) = 0;
  // Runs the first fill and starts playing; the buffer is fed from then on.
  virtual void Play() = 0;
  // Asks for the fade-out of what is queued; returns at once (the fade is
  // written on the feeder).
  virtual void Stop() = 0;
  // Three quarters of the ring, in whole frames.
  virtual int64_t FirstFillSize() = 0;
  // Bytes written and not yet played.
  virtual int64_t QueuedBytes() = 0;
  // Milliseconds played since Play (0 before).
  virtual double PlayedTime() = 0;
  virtual const TWaveFormat& Format() const = 0;
};

// The master clock: milliseconds that follow the system counter, pulled
// toward the time the device has played by at most 1 ms per poll.
class TTimerChannel : public TObj {
 public:
  virtual double GetTime() = 0;
  virtual void SetTime(double ms) = 0;
  virtual bool IsRunning() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

class TWaveOutDevice : public TObj {
 public:
  virtual bool IsReady() = 0;
  // A buffer in the format (PCM of 8 or 16 bits, 1, 2 or 6 channels), fed
  // through client (not owned; it outlives the buffer). None when the
  // device is not ready or the format is not playable.
  virtual std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& format, TWaveOutBufferClient& client) = 0;
  // The device's master clock; raises when the device has none (not ready).
  virtual std::unique_ptr<TTimerChannel> CreateTimer() = 0;
};

// Which device the factory makes.
enum class TWaveOutDeviceKind : uint8_t {
  Sdl = 0,       // the sound card through SDL audio
  Null = 1,      // no sound: never ready, the show runs on the system clock
  WavFile = 2,   // lockstep with the program's clock, written to a WAV file
};

struct TWaveOutDeviceChoice {
  TWaveOutDeviceKind Kind = TWaveOutDeviceKind::Sdl;
  // The WAV file of the file device.
  TString Path;
};

// The factory the music system uses; the default one makes the chosen
// device. Tests install their own. Returns the previous factory.
using TWaveOutDeviceFactory = std::function<std::unique_ptr<TWaveOutDevice>(const TWaveOutDeviceChoice&)>;
TWaveOutDeviceFactory SetWaveOutDeviceFactory(TWaveOutDeviceFactory factory);
std::unique_ptr<TWaveOutDevice> CreateWaveOutDevice(const TWaveOutDeviceChoice& choice);

}  // namespace zel
