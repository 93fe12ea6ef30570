#include "audio/music_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/log.h"

namespace zel {
namespace {

// Without a music system the player's clock is the system millisecond
// counter, here a virtual one that only the test moves.
class MusicPlayerTest : public ::testing::Test {
 protected:
  MusicPlayerTest() : fUse(fClock) {}
  void Advance(uint64_t ms) { fClock.Advance(ms); }

  // Waits (in real time) until the player thread has made a loop pass.
  static void WaitReady(TZelMusicPlayer& player) {
    for (int i = 0; i < 5000 && !player.Ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(player.Ready());
  }
  // Waits until the player thread has taken every posted message.
  static void WaitQueueEmpty(TZelMusicPlayer& player) {
    for (int i = 0; i < 5000 && player.Queue().PendingCount() > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(player.Queue().PendingCount(), 0);
  }
  // Run or pause is asynchronous; waits until the clock state shows it.
  static void WaitClock(TZelMusicPlayer& player, bool running) {
    for (int i = 0; i < 5000 && player.ClockRunning() != running; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(player.ClockRunning(), running);
  }

  TVirtualClock fClock{ProgramStartTick() + 777};
  TClockOverride fUse;
};

TEST_F(MusicPlayerTest, StartsStoppedAtZeroAndNotReady) {
  TZelMusicPlayer player;
  EXPECT_EQ(player.Position(), 0.0);
  EXPECT_FALSE(player.Ready());
  EXPECT_FALSE(player.ClockRunning());
  EXPECT_FALSE(player.RequestedRun());
  EXPECT_EQ(player.Limit(), 2147483647.0);
  Advance(5000);
  EXPECT_EQ(player.Position(), 0.0);  // a stopped clock stands still
}

TEST_F(MusicPlayerTest, StopsAtItsLimit) {
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  player.SetTime(5000, 8000);
  EXPECT_EQ(player.Position(), 5000.0);
  EXPECT_EQ(player.LastLimit(), 8000.0);
  WaitReady(player);
  player.Run(true);
  WaitClock(player, true);
  EXPECT_EQ(player.Position(), 5000.0);
  Advance(1200);
  EXPECT_EQ(player.Position(), 6200.0);
  Advance(1800);
  EXPECT_EQ(player.Position(), 8000.0);
  Advance(2500);
  EXPECT_EQ(player.Position(), 8000.0);  // never past the limit
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, ResumesAfterPauseAndReposition) {
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  player.Run(true);
  WaitClock(player, true);
  Advance(1000);
  player.Run(false);
  WaitClock(player, false);
  EXPECT_EQ(player.Position(), 1000.0);
  Advance(500);
  EXPECT_EQ(player.Position(), 1000.0);  // paused
  player.Run(true);
  WaitClock(player, true);
  Advance(200);
  EXPECT_EQ(player.Position(), 1200.0);  // continues where it paused

  // Repositioning stops the clock at the new place; run continues from there.
  player.SetTime(30000, -1);
  EXPECT_FALSE(player.ClockRunning());
  EXPECT_FALSE(player.RequestedRun());
  EXPECT_EQ(player.Position(), 30000.0);
  Advance(700);
  EXPECT_EQ(player.Position(), 30000.0);
  player.Run(true);
  WaitClock(player, true);
  Advance(300);
  EXPECT_EQ(player.Position(), 30300.0);
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, SetLimitMovesOnlyTheLimit) {
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  player.SetTime(4000, 10000);
  WaitReady(player);
  player.SetLimit(4500);
  EXPECT_EQ(player.Position(), 4000.0);
  EXPECT_EQ(player.Limit(), 4500.0);
  EXPECT_EQ(player.LastLimit(), 4500.0);
  // A limit below the position holds the position down.
  player.SetLimit(3000);
  EXPECT_EQ(player.Position(), 3000.0);
  player.SetLimit(9000);
  player.Run(true);
  WaitClock(player, true);
  Advance(700);
  EXPECT_EQ(player.Position(), 4700.0);
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, RunTwicePostsOneMessage) {
  TZelMusicPlayer player;  // not started: messages wait in the queue
  player.Run(true);
  player.Run(true);
  EXPECT_EQ(player.Queue().PendingCount(), 1);
  player.Run(false);
  EXPECT_EQ(player.Queue().PendingCount(), 2);
  player.Run(false);
  EXPECT_EQ(player.Queue().PendingCount(), 2);
  ASSERT_TRUE(player.StartPlayer());
  WaitQueueEmpty(player);
  WaitReady(player);
  EXPECT_FALSE(player.ClockRunning());
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, SetTimeResetsReadinessUntilTheNextLoopPass) {
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  WaitReady(player);
  player.Run(true);
  WaitClock(player, true);
  player.SetTime(100, -1);
  EXPECT_FALSE(player.RequestedRun());
  WaitReady(player);  // the loop pass after repositioning makes it ready again
  // Run again after set time: a new request, so a new message.
  player.Run(true);
  WaitClock(player, true);
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, SetTimeWithoutAPlayerThreadDoesNotWaitForEver) {
  TZelMusicPlayer player;
  player.SetTime(2500, 6000);
  EXPECT_EQ(player.Position(), 2500.0);
  EXPECT_EQ(player.Limit(), 6000.0);
  ASSERT_TRUE(player.StartPlayer());
  player.StopPlayer();
  player.SetTime(3500, -1);  // after stop too
  EXPECT_EQ(player.Position(), 3500.0);
  EXPECT_EQ(player.Limit(), 6000.0);
}

TEST_F(MusicPlayerTest, PositionCanBeReadFromAnyThreadWhileTheClockRuns) {
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  player.Run(true);
  WaitClock(player, true);
  std::atomic<bool> backwards{false};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    double last = 0;
    while (!done) {
      const double p = player.Position();
      if (p < last) backwards = true;
      last = p;
    }
  });
  for (int i = 0; i < 1000; ++i) Advance(3);
  done = true;
  reader.join();
  EXPECT_FALSE(backwards);
  EXPECT_EQ(player.Position(), 3000.0);
  player.StopPlayer();
}

TEST_F(MusicPlayerTest, AnUnknownMessageIsAnAssertionAndTheLoopGoesOn) {
  std::vector<std::string> reports;
  auto previous = SetAssertionHook([&](const std::string& r) { reports.push_back(r); });
  TZelMusicPlayer player;
  ASSERT_TRUE(player.StartPlayer());
  player.Queue().Send(99, nullptr);
  player.SetTime(10, -1);
  EXPECT_EQ(player.Position(), 10.0);
  player.StopPlayer();
  SetAssertionHook(previous);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("'Unknown EventID'"), std::string::npos);
}

// A music system stand-in with a clock the test sets.
class TFakeMusicSystem : public TMusicSystemClock {
 public:
  explicit TFakeMusicSystem(std::atomic<double>* clock, std::atomic<int>* freed) : fClock(clock), fFreed(freed) {}
  ~TFakeMusicSystem() override { ++*fFreed; }
  double ClockMs() override { return *fClock; }
  float MasterVolume() override { return fVolume; }
  void SetMasterVolume(float volume) override { fVolume = volume; }

 private:
  std::atomic<double>* fClock;
  std::atomic<int>* fFreed;
  float fVolume = 1.0f;
};

TEST_F(MusicPlayerTest, WithAMusicSystemThePositionFollowsItsClock) {
  std::atomic<double> deviceClock{123456.0};
  std::atomic<int> freed{0};
  TZelMusicPlayer player(std::make_unique<TFakeMusicSystem>(&deviceClock, &freed));
  EXPECT_TRUE(player.HasMusicSystem());
  EXPECT_EQ(player.MasterVolume(), 1.0f);
  player.SetMasterVolume(0.25f);
  EXPECT_EQ(player.MasterVolume(), 0.25f);
  ASSERT_TRUE(player.StartPlayer());
  player.SetTime(1000, -1);
  player.Run(true);
  WaitClock(player, true);
  Advance(10000);  // the system counter does not matter now
  EXPECT_EQ(player.Position(), 1000.0);
  deviceClock = deviceClock + 250.5;
  EXPECT_EQ(player.Position(), 1250.5);
  player.StopPlayer();
  EXPECT_EQ(freed, 1);
  EXPECT_FALSE(player.HasMusicSystem());
  EXPECT_EQ(player.MasterVolume(), 0.0f);
}

TEST_F(MusicPlayerTest, WithoutAMusicSystemTheVolumeIsZeroAndSettingItIsHarmless) {
  TZelMusicPlayer player;
  EXPECT_FALSE(player.HasMusicSystem());
  player.SetMasterVolume(0.5f);
  EXPECT_EQ(player.MasterVolume(), 0.0f);
}

}  // namespace
}  // namespace zel
