#include "audio/lockstep_playback.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/log.h"

namespace zel {

namespace {

constexpr int64_t kFramesPerSecond = 44100;

}  // namespace

TVirtualClock& TLockstepPlayback::SessionClock() {
  static TVirtualClock* clock = new TVirtualClock(0, false);
  return *clock;
}

TLockstepPlayback::TLockstepPlayback(const TString& outPath) {
  fClock.Set(0);
  auto device = std::make_unique<TWavFileWaveOutDevice>(outPath);
  fDevice = device.get();
  fMusicSystem = std::make_unique<TMusicPlayerClass>(std::move(device));
  fMusicSystem->StartClock();
}

TLockstepPlayback::~TLockstepPlayback() {
  try {
    Finish();
  } catch (const std::exception& e) {
    Log().Write(std::string("TLockstepPlayback: finishing failed: ") + e.what());
  }
  // The music system goes while the virtual clock is still in place.
  fMusicSystem.reset();
}

TChannelMusic* TLockstepPlayback::Open(TStringView name, double startMs) {
  TChannelMusic* channel = fMusicSystem->CreateChannel(name, startMs);
  if (channel) fChannels.push_back(channel);
  return channel;
}

void TLockstepPlayback::LimitLength(uint64_t lengthMs) {
  fDevice->SetFrameLimit(static_cast<int64_t>(lengthMs) * kFramesPerSecond / 1000);
}

void TLockstepPlayback::AdvanceTo(uint64_t ms) {
  while (Now() < ms) {
    fClock.Advance(std::min(kStepMs, ms - Now()));
    fDevice->Pump();
  }
}

bool TLockstepPlayback::InstancesLeft() {
  return std::any_of(fChannels.begin(), fChannels.end(),
                     [](TChannelMusic* c) { return c->SoundingInstanceCount() > 0; });
}

// The killer runs on its own thread in real time, against the virtual
// clock: after time moved, give it a moment to free what became due.
void TLockstepPlayback::WaitForKiller() {
  for (int i = 0; i < 20 && InstancesLeft(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(250));
}

void TLockstepPlayback::Finish() {
  if (fFinished) return;
  fFinished = true;
  for (TChannelMusic* channel : fChannels) channel->Stop(0);
  const uint64_t deadline = Now() + kDrainMs;
  while (InstancesLeft() && Now() < deadline) {
    AdvanceTo(Now() + kDrainStepMs);
    WaitForKiller();
  }
  if (InstancesLeft()) Log().Write("!!! TLockstepPlayback: sounds still playing after the drain");
  for (TChannelMusic* channel : fChannels) fMusicSystem->FreeChannel(channel);
  fChannels.clear();
  fDevice->Finish();
}

}  // namespace zel
