#include "audio/device_timer_channel.h"

#include <algorithm>

#include <mutex>
#include <string>

#include "core/clock.h"
#include "core/log.h"
#include "core/thread.h"

namespace zel {

namespace {

constexpr uint32_t kThreadStopTimeoutMs = 1000;

std::string Ms(double ms) { return FormatLogFloat(ms) + " ms"; }

}  // namespace

// Polls its channel every kPollIntervalMs until its quit event is set.
class TDeviceTimerChannel::TPollThread : public TThread {
 public:
  explicit TPollThread(TDeviceTimerChannel& owner) : fOwner(owner) {}

  TEvent Quit{false, false};

 protected:
  void Execute() override {
    std::string lastError;
    while (!Terminated()) {
      if (Clock().WaitFor(Quit, kPollIntervalMs) || Terminated()) break;
      try {
        fOwner.Poll();
      } catch (const std::exception& e) {
        // A device that fails keeps failing: one line per kind of failure.
        const std::string text = ExceptionClassName(e) + ": " + e.what();
        if (text != lastError) Log().Write("TDeviceTimerChannel poll failed: " + text);
        lastError = text;
      }
    }
  }

 private:
  TDeviceTimerChannel& fOwner;
};

TDeviceTimerChannel::TDeviceTimerChannel(TPlayedFramesSource& source, bool ownThread)
    : fSource(source), fOwnThread(ownThread) {
  fOffset = static_cast<double>(Clock().Milliseconds());
}

TDeviceTimerChannel::~TDeviceTimerChannel() { Stop(); }

double TDeviceTimerChannel::PositionClockAt(uint64_t now) const {
  if (fLastFrames < 0 || fRate == 0) return fPositionBase;
  return fPositionBase + static_cast<double>(now - fLastPollTime) +
         static_cast<double>(fLastFrames) * 1000.0 / fRate;
}

double TDeviceTimerChannel::GetTime() {
  std::lock_guard lock(fLock);
  // A clock that is stopped or not yet under way shows where it will go on
  // from, so that a restart never steps back.
  if (!fRunning || fWaitingForFirstPosition) return fSavedTime;
  // Slewing can set the clock back by a fraction of a millisecond between
  // two readings; the show must never see time go backwards.
  const double now = ReportedClockAt(Clock().Milliseconds());
  if (now > fLastReturned) fLastReturned = now;
  return fLastReturned;
}

void TDeviceTimerChannel::SetTime(double ms) {
  std::lock_guard lock(fLock);
  SetTimeAt(ms, Clock().Milliseconds());
}

void TDeviceTimerChannel::SetTimeAt(double ms, uint64_t now) {
  fPositionBase = ms;
  fSavedTime = ms;
  fOffset = static_cast<double>(now) - ms;
  fLastReturned = ms;
  // The device and the clock agree from here on: a set time is not a
  // disagreement to slew away.
  if (fRunning && !fWaitingForFirstPosition && fLastFrames >= 0) fDrift = PositionClockAt(now) - ReportedClockAt(now);
}

bool TDeviceTimerChannel::IsRunning() {
  std::lock_guard lock(fLock);
  return fRunning;
}

void TDeviceTimerChannel::Start() {
  {
    std::lock_guard lock(fLock);
    if (fRunning) return;
    const uint64_t now = Clock().Milliseconds();
    fRunning = true;
    fPollCount = 0;
    fStalled = false;
    fLastFrames = -1;
    fRate = fSource.FrameRate();
    SetTimeAt(fSavedTime, now);
    fWaitingForFirstPosition = true;
    fStartFrames = fSource.ConsumedFrames();
    fWaitStart = now;
    Log().Write("TDeviceTimerChannel.Start at " + Ms(fSavedTime));
  }
  if (fOwnThread) {
    fThread = std::make_unique<TPollThread>(*this);
    fThread->Start();
  }
}

void TDeviceTimerChannel::Stop() {
  {
    std::lock_guard lock(fLock);
    if (!fRunning) return;
    if (!fWaitingForFirstPosition) {
      const double now = ReportedClockAt(Clock().Milliseconds());
      fSavedTime = now > fLastReturned ? now : fLastReturned;
    }
    fRunning = false;
  }
  // Outside the lock: the poll thread may be waiting for it.
  StopPollThread();
  std::lock_guard lock(fLock);
  fLastFrames = -1;
  fWaitingForFirstPosition = false;
  Log().Write("TDeviceTimerChannel.Stop at " + Ms(fSavedTime));
}

void TDeviceTimerChannel::StopPollThread() {
  if (!fThread) return;
  fThread->Terminate();
  fThread->Quit.Set();
  if (fThread->WaitFor(kThreadStopTimeoutMs)) {
    fThread.reset();
    return;
  }
  ReportAssertion("TDeviceTimerChannel poll thread did not end", __FILE__, __LINE__);
  // It polls this channel: waited for, however long, rather than left to
  // poll a freed one.
  fThread->WaitFor(kInfinite);
  fThread.reset();
}

void TDeviceTimerChannel::Poll() {
  std::lock_guard lock(fLock);
  if (!fRunning) return;
  const uint64_t now = Clock().Milliseconds();
  if (fWaitingForFirstPosition) {
    PollFirstPosition(now);
    return;
  }
  ++fPollCount;
  if (fPollCount % kPollsPerReading == 0) TakeReading(now);
  Slew(now);
}

void TDeviceTimerChannel::PollFirstPosition(uint64_t now) {
  const int64_t frames = fSource.ConsumedFrames();
  const bool moved = fRate > 0 && frames != fStartFrames;
  if (!moved && now - fWaitStart < kStallMs) return;
  fWaitingForFirstPosition = false;
  fLastFrames = frames;
  fLastPollTime = now;
  fLastMoveTime = now;
  // The clock starts where the device is: the time it has played since the
  // start, but no more than the time that passed (a device may take a
  // first block at once), so a device driven in lockstep is followed
  // exactly and a real one never leads the system counter.
  const double played =
      moved ? std::min(static_cast<double>(frames - fStartFrames) * 1000.0 / fRate, static_cast<double>(now - fWaitStart))
            : 0.0;
  const double startTime = fSavedTime + std::max(played, 0.0);
  fOffset = static_cast<double>(now) - startTime;
  fLastReturned = startTime;
  fDrift = PositionClockAt(now) - startTime;
  fStalled = !moved;
  if (fStalled) Log().Write("TDeviceTimerChannel: the device reports no position; running on the system counter");
}

void TDeviceTimerChannel::TakeReading(uint64_t now) {
  const int64_t frames = fSource.ConsumedFrames();
  if (frames == fLastFrames || fRate == 0) {
    // Not moved: the position clock runs on the system counter from the
    // last reading that saw it move, so a short pause does not pull the
    // clock back; a long one ends the steering.
    if (!fStalled && now - fLastMoveTime >= kStallMs) {
      fStalled = true;
      Log().Write("TDeviceTimerChannel: the device stopped advancing; running on the system counter");
    }
    return;
  }
  // A count that goes back means the device started over: like a stall, its
  // old reading says nothing about the new one.
  const bool reanchor = fStalled || frames < fLastFrames;
  fLastFrames = frames;
  fLastPollTime = now;
  fLastMoveTime = now;
  if (!reanchor) return;
  fStalled = false;
  fDrift = PositionClockAt(now) - ReportedClockAt(now);
  Log().Write("TDeviceTimerChannel: the device advances again");
}

void TDeviceTimerChannel::Slew(uint64_t now) {
  if (fStalled) return;
  const double ahead = PositionClockAt(now) - fDrift - ReportedClockAt(now);
  if (ahead > 0) {
    fOffset -= 1;
  } else if (ahead < 0) {
    fOffset += 1;
  }
}

double TDeviceTimerChannel::PositionClock() {
  std::lock_guard lock(fLock);
  if (!fRunning || fWaitingForFirstPosition || fLastFrames < 0) return fSavedTime;
  return PositionClockAt(Clock().Milliseconds()) - fDrift;
}

}  // namespace zel
