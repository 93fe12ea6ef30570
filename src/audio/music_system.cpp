#include "audio/music_system.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "audio/channel.h"
#include "core/log.h"

namespace zel {

void TMusicPlayer::FreeChannel(TChannelMusic* channel) { delete channel; }

TMusicPlayerClass::TMusicPlayerClass(std::unique_ptr<TWaveOutDevice> device) : fDevice(std::move(device)) {}

TMusicPlayerClass::~TMusicPlayerClass() {
  // Each channel waits for its instances; the list's lock is not held then,
  // since a channel being freed leaves the list itself.
  for (;;) {
    TChannelMusic* channel;
    {
      std::lock_guard lock(fLock);
      if (fChannels.empty()) break;
      channel = fChannels.back();
    }
    delete channel;
    std::lock_guard lock(fLock);
    // In case the channel did not leave the list on its own.
    std::erase(fChannels, channel);
  }
  fTimer.reset();
  fDevice.reset();
}

bool TMusicPlayerClass::IsReady() { return fDevice && fDevice->IsReady(); }

float TMusicPlayerClass::GetVolume() {
  std::lock_guard lock(fLock);
  return fMasterVolume;
}

void TMusicPlayerClass::SetVolume(float volume) {
  std::lock_guard lock(fLock);
  fMasterVolume = volume;
  for (TChannelMusic* channel : fChannels) channel->SetMasterVolume(volume);
}

void TMusicPlayerClass::SetStreamCloser(TStreamCloser closer) {
  std::lock_guard lock(fLock);
  fCloser = std::move(closer);
}

void TMusicPlayerClass::SetStreamOpener(TStreamOpener opener) {
  std::lock_guard lock(fLock);
  fOpener = std::move(opener);
}

TStreamOpener TMusicPlayerClass::GetStreamOpener() {
  std::lock_guard lock(fLock);
  return fOpener;
}

TStreamCloser TMusicPlayerClass::GetStreamCloser() {
  std::lock_guard lock(fLock);
  return fCloser;
}

TTimerChannel& TMusicPlayerClass::Timer() {
  if (!fTimer) {
    ZEL_ASSERT(fDevice != nullptr, "");
    fTimer = fDevice->CreateTimer();
    ZEL_ASSERT(fTimer != nullptr, "");
  }
  if (!fTimer->IsRunning()) fTimer->Start();
  return *fTimer;
}

void TMusicPlayerClass::StartClock() {
  std::lock_guard lock(fLock);
  Timer();
}

double TMusicPlayerClass::GetTime() {
  std::lock_guard lock(fLock);
  try {
    return Timer().GetTime();
  } catch (const std::exception& e) {
    if (!fClockFailureLogged) Log().Write(std::string("Music system has no clock: ") + e.what());
    fClockFailureLogged = true;
    return 0;
  }
}

TChannelMusic* TMusicPlayerClass::CreateChannel(TStringView name, double startMs) {
  if (!IsReady()) return nullptr;
  auto channel = std::make_unique<TChannelMusic>(*this, *fDevice, name, GetStreamOpener(), GetStreamCloser());
  if (!channel->Created()) return nullptr;
  const float volume = GetVolume();
  if (volume != 1.0f) channel->SetMasterVolume(volume);
  if (startMs != -1) channel->Seek(startMs);
  std::lock_guard lock(fLock);
  fChannels.push_back(channel.get());
  return channel.release();
}

void TMusicPlayerClass::Unlist(TChannelMusic* channel) {
  std::lock_guard lock(fLock);
  std::erase(fChannels, channel);
}

int TMusicPlayerClass::ChannelCount() {
  std::lock_guard lock(fLock);
  return static_cast<int>(fChannels.size());
}

std::unique_ptr<TMusicPlayer> CreateMusicSystem(const TWaveOutDeviceChoice& choice) {
  std::unique_ptr<TWaveOutDevice> device;
  try {
    device = CreateWaveOutDevice(choice);
  } catch (const std::exception& e) {
    Log().Write(std::string("Sound device not made: ") + e.what());
    return nullptr;
  }
  if (!device || !device->IsReady()) {
    Log().Write("Sound device not ready");
    return nullptr;
  }
  auto musicSystem = std::make_unique<TMusicPlayerClass>(std::move(device));
  try {
    musicSystem->StartClock();
  } catch (const std::exception& e) {
    Log().Write(std::string("Sound device clock not made: ") + e.what());
    return nullptr;
  }
  return musicSystem;
}

namespace {

std::mutex gHooksLock;
TCompositeSoundHooks& Hooks() {
  static TCompositeSoundHooks hooks;
  return hooks;
}

}  // namespace

TCompositeSoundHooks SetCompositeSoundHooks(TCompositeSoundHooks hooks) {
  std::lock_guard lock(gHooksLock);
  return std::exchange(Hooks(), std::move(hooks));
}

TCompositeSoundHooks CompositeSoundHooks() {
  std::lock_guard lock(gHooksLock);
  return Hooks();
}

}  // namespace zel
