#include "audio/null_wave_out_device.h"

#include "core/log.h"

namespace zel {

TNullWaveOutDevice::TNullWaveOutDevice() { Log().Write("TNullWaveOutDevice: no sound output"); }

}  // namespace zel
