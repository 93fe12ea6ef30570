#include "audio/device_timer_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "log_capture.h"

namespace zel {
namespace {

// A device whose frame count follows the program's clock at a chosen speed;
// it can be halted and made to skip ahead.
class TFakeDevice : public TPlayedFramesSource {
 public:
  int64_t ConsumedFrames() override {
    if (!fRunning) return fBase;
    return fBase + static_cast<int64_t>(static_cast<double>(Clock().Milliseconds() - fSince) * 44.1 * fSpeed);
  }
  uint32_t FrameRate() override { return 44100; }

  void Run(double speed = 1.0) {
    fBase = ConsumedFrames();
    fSince = Clock().Milliseconds();
    fSpeed = speed;
    fRunning = true;
  }
  void Halt() {
    fBase = ConsumedFrames();
    fRunning = false;
  }
  void Skip(int64_t frames) { fBase += frames; }

 private:
  int64_t fBase = 0;
  uint64_t fSince = 0;
  double fSpeed = 1.0;
  bool fRunning = false;
};

class TimerChannelTest : public ::testing::Test {
 protected:
  // Polls n times, 10 ms apart, checking that the clock never steps back
  // and never moves by more than one slewing step beyond the time passed.
  void Step(int n) {
    for (int i = 0; i < n; ++i) {
      fClock.Advance(TDeviceTimerChannel::kPollIntervalMs);
      fTimer.Poll();
      const double now = fTimer.GetTime();
      if (fHaveLast) {
        fMinStep = std::min(fMinStep, now - fLast);
        fMaxStep = std::max(fMaxStep, now - fLast);
      }
      fLast = now;
      fHaveLast = true;
    }
  }
  void ExpectSmooth() {
    EXPECT_GE(fMinStep, 0.0);
    EXPECT_LE(fMaxStep, 11.0 + 1e-6);
  }

  TVirtualClock fClock{1'000'000};
  TClockOverride fOverride{fClock};
  TFakeDevice fDevice;
  TDeviceTimerChannel fTimer{fDevice, false};
  double fLast = 0;
  bool fHaveLast = false;
  double fMinStep = 1e9;
  double fMaxStep = -1e9;
};

TEST_F(TimerChannelTest, FollowsAFastDeviceForAnHour) {
  fDevice.Run(1.0001);
  fTimer.Start();
  const int64_t firstFrames = fDevice.ConsumedFrames();
  Step(1);
  // The clock starts where the device is: 10 ms played (the device's
  // 10.001 ms are capped at the time that passed).
  ASSERT_DOUBLE_EQ(fTimer.GetTime(), 10.0);
  double worst = 0;
  for (int i = 0; i < 360'000; ++i) {
    Step(1);
    const double played = static_cast<double>(fDevice.ConsumedFrames() - firstFrames) / 44.1;
    worst = std::max({worst, std::fabs(fTimer.GetTime() - played), std::fabs(fTimer.GetTime() - fTimer.PositionClock())});
  }
  EXPECT_LE(worst, 2.0);
  // The device ran 360 ms ahead of the system counter, and so did the clock.
  EXPECT_NEAR(fTimer.GetTime() - 3'600'010.0, 360.0, 2.0);
  EXPECT_GE(fMinStep, 9.0 - 1e-6);
  ExpectSmooth();
}

TEST_F(TimerChannelTest, DisagreementIsSlewedAway) {
  fDevice.Run();
  fTimer.Start();
  Step(100);
  EXPECT_NEAR(fTimer.GetTime(), fTimer.PositionClock(), 1.0);
  const double before = fTimer.GetTime();
  fDevice.Skip(1323);  // 30 ms of sound
  int polls = 0;
  while (std::fabs(fTimer.GetTime() - fTimer.PositionClock()) <= 1.0 && polls < 20) {
    Step(1);
    ++polls;
  }
  ASSERT_LT(polls, 20) << "the next reading sees the skip";
  int slewing = 0;
  while (std::fabs(fTimer.GetTime() - fTimer.PositionClock()) > 1.0 && slewing < 100) {
    Step(1);
    ++slewing;
  }
  EXPECT_GE(slewing, 28);
  EXPECT_LE(slewing, 31);
  EXPECT_NEAR(fTimer.GetTime() - before, (polls + slewing) * 10.0 + 30.0, 1.0);
  ExpectSmooth();
}

// The clock waits for the device at its saved time, goes on from a set time
// without slewing, and a restart goes on from where it stopped.
TEST_F(TimerChannelTest, FirstPositionSetTimeAndRestart) {
  fTimer.SetTime(5000);
  fTimer.Start();
  EXPECT_TRUE(fTimer.IsRunning());
  Step(20);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), 5000.0);
  fDevice.Run();
  Step(1);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), 5010.0);
  Step(10);
  EXPECT_NEAR(fTimer.GetTime(), 5110.0, 1.0);
  fTimer.SetTime(20'000);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), 20'000.0);
  Step(100);
  EXPECT_NEAR(fTimer.GetTime(), 21'000.0, 1.0);
  EXPECT_NEAR(fTimer.PositionClock(), fTimer.GetTime(), 1.0);
  const double stopped = fTimer.GetTime();
  fTimer.Stop();
  EXPECT_FALSE(fTimer.IsRunning());
  fClock.Advance(5000);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), stopped);
  fTimer.Start();
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), stopped);
  Step(1);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), stopped + 10.0);
  Step(9);
  EXPECT_NEAR(fTimer.GetTime(), stopped + 100.0, 1.0);
  EXPECT_GE(fMinStep, 0.0);
}

TEST_F(TimerChannelTest, SilentDeviceFallsBackToTheSystemCounter) {
  testing_support::TLogCapture log;
  fTimer.SetTime(2000);
  fTimer.Start();
  Step(static_cast<int>(TDeviceTimerChannel::kStallMs / 10));
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), 2000.0);
  Step(10);
  EXPECT_DOUBLE_EQ(fTimer.GetTime(), 2100.0);
  EXPECT_EQ(log.Containing("reports no position"), 1);
  // When it finally plays, it steers the clock from where it is.
  fDevice.Run();
  Step(100);
  EXPECT_NEAR(fTimer.GetTime(), 3100.0, 1.0);
  fDevice.Skip(882);  // 20 ms
  Step(50);
  EXPECT_NEAR(fTimer.GetTime(), 3600.0 + 20.0, 1.0);
  ExpectSmooth();
}

TEST_F(TimerChannelTest, StalledDeviceNoLongerSteers) {
  fDevice.Run();
  fTimer.Start();
  Step(200);
  const double start = fTimer.GetTime();
  fDevice.Halt();
  Step(300);
  // The clock may follow the device for what it did not play before the
  // next reading (at most one reading interval), and then runs on.
  const double stalled = fTimer.GetTime();
  EXPECT_LE(stalled, start + 3000.0 + 1.0);
  EXPECT_GE(stalled, start + 3000.0 - 10.0 * TDeviceTimerChannel::kPollsPerReading - 1.0);
  fDevice.Run();
  Step(200);
  EXPECT_NEAR(fTimer.GetTime(), stalled + 2000.0, 1.0);
  EXPECT_NEAR(fTimer.PositionClock(), fTimer.GetTime(), 1.0);
  // Steering again: a skip is followed.
  fDevice.Skip(1323);  // 30 ms
  Step(60);
  EXPECT_NEAR(fTimer.GetTime(), stalled + 2600.0 + 30.0, 1.0);
  ExpectSmooth();
}

// A device that follows the real clock, polled by the channel's own thread.
TEST(TimerChannelThreadTest, OwnThreadRunsAndStops) {
  TFakeDevice device;
  device.Run();
  TDeviceTimerChannel timer(device, true);
  timer.Start();
  double last = timer.GetTime();
  const uint64_t until = Clock().Milliseconds() + 50;
  while (Clock().Milliseconds() < until) {
    const double now = timer.GetTime();
    EXPECT_GE(now, last);
    last = now;
    SleepMs(2);
  }
  timer.Stop();
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_GE(timer.GetTime(), last);
}

}  // namespace
}  // namespace zel
