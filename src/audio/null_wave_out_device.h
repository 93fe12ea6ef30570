// The device of a machine without sound: never ready, so the music system
// makes no channels and the show runs on the system clock.
#pragma once

#include "audio/mixer_device.h"

namespace zel {

class TNullWaveOutDevice : public TMixerWaveOutDevice {
 public:
  TNullWaveOutDevice();
  bool IsReady() override { return false; }
};

}  // namespace zel
