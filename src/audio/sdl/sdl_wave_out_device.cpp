#include "audio/sdl/sdl_wave_out_device.h"

#include <SDL.h>

#include <atomic>
#include <exception>
#include <string>
#include <tuple>
#include <type_traits>

#include "core/log.h"

namespace zel {

namespace {

// The record that asks SDL_OpenAudioDevice for a format, named after the
// function's own declaration.
template <typename TFunction>
struct TOpenRequest;
template <typename TResult, typename... TArgs>
struct TOpenRequest<TResult(TArgs...)> {
  using Type = std::remove_cv_t<std::remove_pointer_t<std::tuple_element_t<3, std::tuple<TArgs...>>>>;
};
using TAudioRequest = TOpenRequest<decltype(SDL_OpenAudioDevice)>::Type;

// Every SDL call of the device is written to the log before and after.
template <typename TCall>
auto Traced(const char* name, TCall call) {
  Log().Write(std::string("> ") + name);
  auto result = call();
  Log().Write(std::string("< ") + name);
  return result;
}

std::string SdlError() {
  return Traced("SDL_GetError", [] { return std::string(SDL_GetError()); });
}

void MixCallback(void* userData, Uint8* stream, int length) {
  auto* device = static_cast<TSdlWaveOutDevice*>(userData);
  try {
    device->Mix(reinterpret_cast<int16_t*>(stream), length / 4);
  } catch (const std::exception& e) {
    // Silence rather than garbage; said once, as it would repeat at every
    // callback.
    SDL_memset(stream, 0, static_cast<size_t>(length));
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) Log().Write(std::string("!!! TSdlWaveOutDevice mixing failed: ") + e.what());
  } catch (...) {
    // Nothing may leave a C callback.
    SDL_memset(stream, 0, static_cast<size_t>(length));
  }
}

}  // namespace

TSdlWaveOutDevice::TSdlWaveOutDevice() {
  if (Traced("SDL_InitSubSystem(SDL_INIT_AUDIO)", [] { return SDL_InitSubSystem(SDL_INIT_AUDIO); }) != 0) {
    Log().Write("!!! TSdlWaveOutDevice: SDL audio unavailable: " + SdlError());
    return;
  }
  fSubsystemStarted = true;
  const TWaveFormat format = GlobalOutputFormat();
  TAudioRequest wanted{};
  wanted.freq = static_cast<int>(format.SamplesPerSec);
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(format.Channels);
  wanted.samples = kCallbackFrames;
  wanted.callback = MixCallback;
  wanted.userdata = this;
  TAudioRequest obtained{};
  // No changes allowed: SDL converts to whatever the card plays.
  const SDL_AudioDeviceID id = Traced("SDL_OpenAudioDevice", [&] {
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  });
  if (id == 0) {
    Log().Write("!!! TSdlWaveOutDevice: no sound output: " + SdlError());
    return;
  }
  fDeviceId = id;
  Traced("SDL_PauseAudioDevice(0)", [&] {
    SDL_PauseAudioDevice(fDeviceId, 0);
    return 0;
  });
  const char* driver = Traced("SDL_GetCurrentAudioDriver", [] { return SDL_GetCurrentAudioDriver(); });
  Log().Write(std::string("TSdlWaveOutDevice: playing through ") + (driver ? driver : "?"));
}

TSdlWaveOutDevice::~TSdlWaveOutDevice() {
  if (fDeviceId != 0) {
    // Once closed the callback no longer runs, so the base may let the
    // buffers go.
    Traced("SDL_CloseAudioDevice", [&] {
      SDL_CloseAudioDevice(fDeviceId);
      return 0;
    });
    fDeviceId = 0;
  }
  if (fSubsystemStarted) {
    Traced("SDL_QuitSubSystem(SDL_INIT_AUDIO)", [] {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return 0;
    });
  }
}

}  // namespace zel
