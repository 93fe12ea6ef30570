#include "audio/wave_out.h"

#include <cmath>
#include <mutex>
#include <utility>

#include "audio/null_wave_out_device.h"
#include "audio/sdl/sdl_wave_out_device.h"
#include "audio/wav_file_device.h"

namespace zel {

TWaveFormat GlobalOutputFormat() { return Pcm16Format(44100, 2); }

int32_t VolumeToAttenuation(float volume) {
  // NaN fails every comparison, so it takes the silent branch too.
  if (!(volume > 0.0f)) return kSilentAttenuation;
  if (volume >= 1.0f) return 0;
  const double attenuation = std::round(-600.0 * std::log2(1.0 / static_cast<double>(volume)));
  if (attenuation <= kSilentAttenuation) return kSilentAttenuation;
  return static_cast<int32_t>(attenuation);
}

float AttenuationToVolume(int32_t attenuation) {
  if (attenuation >= 0) return 1.0f;
  if (attenuation <= kSilentAttenuation) return 0.0f;
  return static_cast<float>(std::exp2(attenuation / 600.0));
}

double AttenuationGain(int32_t attenuation) {
  if (attenuation >= 0) return 1.0;
  if (attenuation <= kSilentAttenuation) return 0.0;
  return std::pow(10.0, attenuation / 2000.0);
}

namespace {

std::unique_ptr<TWaveOutDevice> MakeChosenDevice(const TWaveOutDeviceChoice& choice) {
  switch (choice.Kind) {
    case TWaveOutDeviceKind::Sdl: return std::make_unique<TSdlWaveOutDevice>();
    case TWaveOutDeviceKind::Null: return std::make_unique<TNullWaveOutDevice>();
    case TWaveOutDeviceKind::WavFile: return std::make_unique<TWavFileWaveOutDevice>(choice.Path);
  }
  return std::make_unique<TNullWaveOutDevice>();
}

struct TFactorySlot {
  std::mutex Lock;
  TWaveOutDeviceFactory Factory = MakeChosenDevice;
};

TFactorySlot& FactorySlot() {
  static TFactorySlot slot;
  return slot;
}

}  // namespace

TWaveOutDeviceFactory SetWaveOutDeviceFactory(TWaveOutDeviceFactory factory) {
  TFactorySlot& slot = FactorySlot();
  std::lock_guard guard(slot.Lock);
  // An empty factory puts the default back.
  if (!factory) factory = MakeChosenDevice;
  return std::exchange(slot.Factory, std::move(factory));
}

std::unique_ptr<TWaveOutDevice> CreateWaveOutDevice(const TWaveOutDeviceChoice& choice) {
  TWaveOutDeviceFactory factory;
  {
    TFactorySlot& slot = FactorySlot();
    std::lock_guard guard(slot.Lock);
    factory = slot.Factory;
  }
  // Called outside the lock: a factory may itself swap factories.
  return factory(choice);
}

}  // namespace zel
