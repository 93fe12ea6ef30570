// The sound card through SDL audio: one output stream in the global format
// whose callback mixes every buffer of the device. The buffers are fed by
// feeder threads of their own; the clock polls on a thread of its own.
#pragma once

#include <cstdint>

#include "audio/mixer_device.h"

namespace zel {

class TSdlWaveOutDevice : public TMixerWaveOutDevice {
 public:
  // Frames SDL asks for in one callback.
  static constexpr uint16_t kCallbackFrames = 1024;

  // Opens the default output; a failure leaves the device not ready
  // (and says why in a "!!!" log line).
  TSdlWaveOutDevice();
  // Closes the output before the buffers can go.
  ~TSdlWaveOutDevice() override;

  bool IsReady() override { return fDeviceId != 0; }

 private:
  uint32_t fDeviceId = 0;
  bool fSubsystemStarted = false;
};

}  // namespace zel
