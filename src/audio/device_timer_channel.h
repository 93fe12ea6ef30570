// The master clock of a mixing device. It follows the system millisecond
// counter and is pulled toward the time the device has played (the frames
// it consumed) by at most 1 ms per 10 ms poll, so the show clock never
// jumps, never steps back, and does not drift away from the sound.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/wave_out.h"
#include "core/sync.h"

namespace zel {

// What the clock reads of its device: the output frames the device has
// consumed so far, and their rate (frames per second).
class TPlayedFramesSource {
 public:
  virtual ~TPlayedFramesSource() = default;
  virtual int64_t ConsumedFrames() = 0;
  virtual uint32_t FrameRate() = 0;
};

class TDeviceTimerChannel : public TTimerChannel {
 public:
  static constexpr uint32_t kPollIntervalMs = 10;
  // Every this many polls the device's count is read again.
  static constexpr uint32_t kPollsPerReading = 10;
  // A device that reports no progress for this long no longer steers the
  // clock: it runs on the system counter until the device moves again.
  static constexpr uint32_t kStallMs = 500;

  // source is not owned and outlives the channel. With ownThread false no
  // polling thread is started: the owner calls Poll (lockstep devices,
  // tests).
  TDeviceTimerChannel(TPlayedFramesSource& source, bool ownThread);
  ~TDeviceTimerChannel() override;

  double GetTime() override;
  void SetTime(double ms) override;
  bool IsRunning() override;
  void Start() override;
  void Stop() override;

  // One poll at the clock's current time.
  void Poll();
  // The device's played time as the clock sees it (for tests and logs): the
  // position clock less the drift taken when the device first moved, which
  // is what GetTime is pulled toward; the saved time while not under way.
  double PositionClock();

 private:
  class TPollThread;

  // All below under fLock.
  // The position clock A: the device's played time on the base PositionBase.
  double PositionClockAt(uint64_t now) const;
  // The reported clock C before the never-backwards guard.
  double ReportedClockAt(uint64_t now) const { return static_cast<double>(now) - fOffset; }
  void SetTimeAt(double ms, uint64_t now);
  // While waiting for the first position: ends the wait when the device has
  // moved since Start, or falls back to the system counter after kStallMs.
  void PollFirstPosition(uint64_t now);
  // Every kPollsPerReading-th poll: takes a new reading of the device.
  void TakeReading(uint64_t now);
  // Pulls the reported clock 1 ms toward the position clock.
  void Slew(uint64_t now);
  void StopPollThread();

  TPlayedFramesSource& fSource;
  const bool fOwnThread;
  TCriticalSection fLock;
  bool fRunning = false;
  bool fWaitingForFirstPosition = false;
  // The device has not moved for kStallMs: it does not steer the clock.
  bool fStalled = false;
  double fSavedTime = 0;
  // The reported clock's base on the system counter: C = now - Offset.
  double fOffset = 0;
  double fPositionBase = 0;
  // The position clock minus the reported clock, taken when the device
  // first moved (or moved again after a stall).
  double fDrift = 0;
  // The last value GetTime gave while running.
  double fLastReturned = 0;
  // The frame count at the last reading that saw it move; -1 = none.
  int64_t fLastFrames = -1;
  int64_t fStartFrames = 0;
  uint32_t fRate = 0;
  uint64_t fLastPollTime = 0;
  uint64_t fLastMoveTime = 0;
  uint64_t fWaitStart = 0;
  uint32_t fPollCount = 0;
  std::unique_ptr<TPollThread> fThread;
};

}  // namespace zel
