#include "audio/music_player.h"

#include <algorithm>
#include <mutex>

#include "core/clock.h"
#include "core/log.h"
#include "core/tick_count.h"

namespace zel {

TZelMusicPlayer::TZelMusicPlayer(std::unique_ptr<TMusicSystemClock> musicSystem)
    : fMusicSystem(std::move(musicSystem)) {
  Reposition(0);
}

TZelMusicPlayer::~TZelMusicPlayer() { StopPlayer(); }

bool TZelMusicPlayer::StartPlayer() { return Start(); }

void TZelMusicPlayer::StopPlayer() {
  Stop();
  std::unique_ptr<TMusicSystemClock> musicSystem;
  {
    std::lock_guard lock(fLock);
    musicSystem = std::move(fMusicSystem);
  }
  if (musicSystem) {
    // Give the device's last buffers time to drain before and after it goes.
    SleepMs(kMusicSystemPauseMs);
    musicSystem.reset();
    SleepMs(kMusicSystemPauseMs);
  }
}

double TZelMusicPlayer::ClockMs() {
  if (fMusicSystem) return fMusicSystem->ClockMs();
  return static_cast<double>(static_cast<int64_t>(TickCount() - ProgramStartTick()));
}

double TZelMusicPlayer::Position() {
  std::lock_guard lock(fLock);
  const double position = fRunning ? ClockMs() - fBase : fBase;
  return std::min(position, fLimit);
}

bool TZelMusicPlayer::ClockRunning() {
  std::lock_guard lock(fLock);
  return fRunning;
}

double TZelMusicPlayer::Limit() {
  std::lock_guard lock(fLock);
  return fLimit;
}

void TZelMusicPlayer::Run(bool run) {
  if (fRequestedRun.exchange(run, std::memory_order_acq_rel) == run) return;
  Queue().Post(run ? kMsgRun : kMsgPause, nullptr);
}

void TZelMusicPlayer::SetTime(double time, double limit) {
  if (time >= 0) {
    fRequestedRun.store(false, std::memory_order_release);
    fReady.store(false, std::memory_order_release);
  }
  if (limit >= 0) fLastLimit.store(limit, std::memory_order_release);
  TTimeData data(time, limit);
  // Without a player thread to handle it (not started, or ending), the
  // message is handled here rather than waited for in vain or lost.
  if (!Running() || !Queue().SendWait(kMsgSetTime, &data)) HandleSetTime(data);
}

void TZelMusicPlayer::SetRunning(bool run) {
  std::lock_guard lock(fLock);
  if (run == fRunning) return;
  // Running, base is the clock at position 0; stopped, it is the position.
  fBase = ClockMs() - fBase;
  fRunning = run;
}

void TZelMusicPlayer::Reposition(double time) {
  std::lock_guard lock(fLock);
  fRunning = false;
  fBase = time;
}

void TZelMusicPlayer::HandleSetTime(const TTimeData& data) {
  Log().WriteFloat("Set Time ", data.Time);
  if (data.Limit >= 0) {
    std::lock_guard lock(fLock);
    fLimit = data.Limit;
  }
  if (data.Time >= 0) Reposition(data.Time);
}

void TZelMusicPlayer::HandleMessage(TThreadEventList*, uint32_t code, bool& handled, TObj* payload) {
  handled = true;
  switch (code) {
    case kMsgRun: SetRunning(true); break;
    case kMsgPause: SetRunning(false); break;
    case kMsgSetTime: {
      auto* data = dynamic_cast<TTimeData*>(payload);
      ZEL_ASSERT(data != nullptr, "Error: set time without its time data");
      HandleSetTime(*data);
      break;
    }
    default: ZEL_ASSERT(false, "Unknown EventID");
  }
}

void TZelMusicPlayer::LoopStep() {
  Process();
  // The position the play items are brought to: never the limit itself,
  // so that what ends at the limit is not started there.
  double position = Position();
  const double limit = Limit();
  if (position >= limit - 1) position = limit - 1;
  (void)position;
  fReady.store(ItemsReady() || ClockRunning(), std::memory_order_release);
  SleepMs(kLoopSleepMs);
}

float TZelMusicPlayer::MasterVolume() {
  std::lock_guard lock(fLock);
  return fMusicSystem ? fMusicSystem->MasterVolume() : 0.0f;
}

void TZelMusicPlayer::SetMasterVolume(float volume) {
  std::lock_guard lock(fLock);
  if (fMusicSystem) fMusicSystem->SetMasterVolume(volume);
}

bool TZelMusicPlayer::HasMusicSystem() {
  std::lock_guard lock(fLock);
  return fMusicSystem != nullptr;
}

}  // namespace zel
