// The music player as the engine drives it: its run and pause switch, its
// position (the show clock) with the limit it never passes, repositioning,
// its readiness and the master volume. The player's own thread changes the
// clock state; position may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "app/zel_thread.h"
#include "core/sync.h"

namespace zel {

// What the player needs of the music system: the clock of the sound device
// (milliseconds) and the master volume. The music system implements it; a
// player without one runs on the system millisecond counter.
class TMusicSystemClock {
 public:
  virtual ~TMusicSystemClock() = default;
  virtual double ClockMs() = 0;
  virtual float MasterVolume() = 0;
  virtual void SetMasterVolume(float volume) = 0;
};

// The payload of the set-time message; a negative field means "unchanged".
class TTimeData : public TObj {
 public:
  TTimeData(double time, double limit) : Time(time), Limit(limit) {}
  double Time;
  double Limit;
};

class TZelMusicPlayer : public TZelThread {
 public:
  // Messages of the player thread.
  static constexpr uint32_t kMsgChannelReceived = 2;
  static constexpr uint32_t kMsgRun = 10;
  static constexpr uint32_t kMsgPause = 11;
  static constexpr uint32_t kMsgSetTime = 12;

  static constexpr double kNoLimit = 2147483647.0;
  // The time of a set-time call that leaves the position alone.
  static constexpr double kKeepTime = -2147483647.0;
  static constexpr uint32_t kLoopSleepMs = 5;
  static constexpr uint32_t kMusicSystemPauseMs = 15;

  // musicSystem is null when no sound device could be opened. The player
  // starts stopped at position 0, not ready.
  explicit TZelMusicPlayer(std::unique_ptr<TMusicSystemClock> musicSystem = nullptr);
  ~TZelMusicPlayer() override;

  // Start or stop the player thread. Stopping also frees the music system,
  // after which the clock is the system counter.
  bool StartPlayer();
  void StopPlayer();

  // Asks the player thread to run or pause; only a change is passed on.
  void Run(bool run);
  // Repositions to time (when >= 0) and moves the limit (when >= 0), and
  // waits until the player thread has done so.
  void SetTime(double time, double limit);
  // Moves only the limit.
  void SetLimit(double limit) { SetTime(kKeepTime, limit); }

  // The show clock: while running, the clock minus the base, else the stored
  // position; never above the limit. Any thread.
  double Position();
  bool Ready() const { return fReady.load(std::memory_order_acquire); }
  double LastLimit() const { return fLastLimit.load(std::memory_order_acquire); }
  bool RequestedRun() const { return fRequestedRun.load(std::memory_order_acquire); }
  // The state of the player thread's clock (for the engine and tests).
  bool ClockRunning();
  double Limit();

  // 1.0 leaves the sound as it is; without a music system the volume is 0.
  float MasterVolume();
  void SetMasterVolume(float volume);

  bool HasMusicSystem();

 protected:
  void HandleMessage(TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload) override;
  void LoopStep() override;

 private:
  // The clock the position runs on, in milliseconds; under the lock.
  double ClockMs();
  void SetRunning(bool run);
  void Reposition(double time);
  void HandleSetTime(const TTimeData& data);
  // Whether every play item has what it needs at the current position.
  bool ItemsReady() const { return true; }

  std::unique_ptr<TMusicSystemClock> fMusicSystem;

  // Running, Base, Limit and the music system; position reads them from any
  // thread.
  TCriticalSection fLock;
  bool fRunning = false;
  double fBase = 0;
  double fLimit = kNoLimit;

  std::atomic<bool> fRequestedRun{false};
  std::atomic<double> fLastLimit{0};
  std::atomic<bool> fReady{false};
};

}  // namespace zel
