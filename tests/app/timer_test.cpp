#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "app/application.h"
#include "app/multi_timer.h"
#include "app/session_manager.h"
#include "app/timer.h"
#include "app/window_timers.h"
#include "core/clock.h"
#include "core/tick_count.h"

namespace zel {
namespace {

// Timers run in virtual time: the test moves the clock and then lets the
// application handle what fell due.
class TimerTest : public ::testing::Test {
 protected:
  TimerTest() : fClockOverride(fClock) {}
  void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
  void Advance(uint64_t ms) { fClock.Advance(ms); }

  TVirtualClock fClock{10000};
  TClockOverride fClockOverride;
};

struct TTickLog {
  std::vector<int64_t> missed;
  std::vector<uint64_t> at;
  void operator()(TMultiTimerEvent& entry, void*) {
    missed.push_back(entry.Missed);
    at.push_back(TickCount());
  }
};

TEST_F(TimerTest, ALateTickReportsTheMissedPeriods) {
  TVxApplication app;
  TTickLog log;
  TMultiTimerEvent* entry = MultiTimerAdd(100, 1, std::ref(log));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->NextDue, 10100);
  Advance(100 + 350);  // due at 10100, handled at 10450
  app.ProcessMessages();
  ASSERT_EQ(log.missed.size(), 1u);
  EXPECT_EQ(log.missed[0], 3);
  EXPECT_EQ(entry->Total, 4);
  EXPECT_EQ(entry->NextDue, 10500);  // the first multiple of 100 after now
  // Back on time: nothing missed.
  Advance(50);
  app.ProcessMessages();
  ASSERT_EQ(log.missed.size(), 2u);
  EXPECT_EQ(log.missed[1], 0);
  EXPECT_EQ(entry->Total, 5);
  MultiTimerRemove(entry);
  app.Finalise();
}

TEST_F(TimerTest, TicksExactlyAtTheDueTimeAndNotBefore) {
  TVxApplication app;
  TTickLog log;
  TMultiTimerEvent* entry = MultiTimerAdd(100, 0, std::ref(log));
  Advance(99);
  app.ProcessMessages();
  EXPECT_TRUE(log.missed.empty());
  Advance(1);
  app.ProcessMessages();
  ASSERT_EQ(log.missed.size(), 1u);
  EXPECT_EQ(log.missed[0], 0);
  EXPECT_EQ(entry->NextDue, 10200);
  MultiTimerRemove(entry);
  app.Finalise();
}

TEST_F(TimerTest, EntriesWithDifferentIntervalsEachKeepTheirOwnDueTimes) {
  TVxApplication app;
  TTickLog fast, slow;
  TMultiTimerEvent* a = MultiTimerAdd(30, 0, std::ref(fast));
  TMultiTimerEvent* b = MultiTimerAdd(100, 0, std::ref(slow));
  for (int i = 0; i < 30; ++i) {
    Advance(10);
    app.ProcessMessages();
  }
  // 300 ms: the 30 ms entry every 30 ms, the 100 ms one three times, on time.
  EXPECT_EQ(fast.missed.size(), 10u);
  EXPECT_EQ(slow.missed.size(), 3u);
  for (auto m : fast.missed) EXPECT_EQ(m, 0);
  EXPECT_EQ(slow.at, (std::vector<uint64_t>{10100, 10200, 10300}));
  MultiTimerRemove(a);
  MultiTimerRemove(b);
  app.Finalise();
}

TEST_F(TimerTest, BadEntriesAreRefusedAndTheLastRemovalStopsTheSharedTimer) {
  TVxApplication app;
  TTickLog log;
  EXPECT_EQ(MultiTimerAdd(0, 0, std::ref(log)), nullptr);
  EXPECT_EQ(MultiTimerAdd(-5, 0, std::ref(log)), nullptr);
  EXPECT_EQ(MultiTimerAdd(10, 0, nullptr), nullptr);
  TMultiTimerEvent* a = MultiTimerAdd(10, 0, std::ref(log));
  TMultiTimerEvent* b = MultiTimerAdd(20, 0, std::ref(log));
  EXPECT_EQ(app.Timers().Count(), 1u);  // one shared timer for both
  MultiTimerRemove(a);
  EXPECT_EQ(app.Timers().Count(), 1u);
  MultiTimerRemove(b);
  EXPECT_EQ(app.Timers().Count(), 0u);
  Advance(100);
  app.ProcessMessages();
  EXPECT_TRUE(log.missed.empty());
  app.Finalise();
}

TEST_F(TimerTest, AHandlerMayRemoveItsOwnEntryAndOthers) {
  TVxApplication app;
  int calls = 0;
  TMultiTimerEvent* other = nullptr;
  TMultiTimerEvent* self = MultiTimerAdd(10, 0, [&](TMultiTimerEvent& entry, void*) {
    ++calls;
    MultiTimerRemove(other);
    MultiTimerRemove(&entry);
  });
  other = MultiTimerAdd(10, 0, [&](TMultiTimerEvent&, void*) { ++calls; });
  ASSERT_NE(self, nullptr);
  Advance(10);
  app.ProcessMessages();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(app.MultiTimer().Count(), 0);
  Advance(100);
  app.ProcessMessages();
  EXPECT_EQ(calls, 1);
  app.Finalise();
}

TEST_F(TimerTest, MultiTimerNeedsAnApplication) {
  EXPECT_THROW(MultiTimerAdd(10, 0, [](TMultiTimerEvent&, void*) {}), ETimerError);
}

TEST_F(TimerTest, TTimerFiresEveryIntervalWhileEnabled) {
  TVxApplication app;
  int ticks = 0;
  TTimer timer;
  timer.SetInterval(50);
  timer.SetOnTimer([&](TCustomWinTimer&) { ++ticks; });
  EXPECT_FALSE(timer.Armed());  // not enabled yet
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Armed());
  for (int i = 0; i < 10; ++i) {
    Advance(25);
    app.ProcessMessages();
  }
  EXPECT_EQ(ticks, 5);
  timer.SetEnabled(false);
  Advance(500);
  app.ProcessMessages();
  EXPECT_EQ(ticks, 5);
  app.Finalise();
}

TEST_F(TimerTest, TTimerChangingTheIntervalRearmsFromNow) {
  TVxApplication app;
  int ticks = 0;
  TTimer timer;
  timer.SetOnTimer([&](TCustomWinTimer&) { ++ticks; });
  timer.SetEnabled(true);  // default interval 1000
  EXPECT_EQ(timer.Interval(), 1000u);
  Advance(900);
  timer.SetInterval(200);
  Advance(150);  // 1050 after enabling, 150 after re-arming
  app.ProcessMessages();
  EXPECT_EQ(ticks, 0);
  Advance(50);
  app.ProcessMessages();
  EXPECT_EQ(ticks, 1);
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Armed());
  app.Finalise();
}

TEST_F(TimerTest, TTimerFallingBehindFiresOnceNotOncePerLostPeriod) {
  TVxApplication app;
  int ticks = 0;
  TTimer timer;
  timer.SetInterval(10);
  timer.SetOnTimer([&](TCustomWinTimer&) { ++ticks; });
  timer.SetEnabled(true);
  Advance(1000);
  app.ProcessMessages();
  EXPECT_EQ(ticks, 1);
  app.Finalise();
}

TEST_F(TimerTest, TTimerWithoutApplicationCannotBeArmed) {
  TTimer timer;
  timer.SetOnTimer([](TCustomWinTimer&) {});
  EXPECT_THROW(timer.SetEnabled(true), ETimerError);
  EXPECT_FALSE(timer.Armed());
}

TEST_F(TimerTest, TTimerOutlivingItsApplicationIsHarmless) {
  auto timer = std::make_unique<TTimer>();
  {
    TVxApplication app;
    timer->SetOnTimer([](TCustomWinTimer&) {});
    timer->SetEnabled(true);
    app.Finalise();
  }
  timer.reset();
  // A new application does not see the old timer's hook.
  TVxApplication app;
  Advance(5000);
  app.ProcessMessages();
  EXPECT_EQ(app.Timers().Count(), 0u);
  app.Finalise();
}

TEST_F(TimerTest, RunWakesForTimersWhileTheClockMoves) {
  TVxApplication app;
  int ticks = 0;
  TTimer timer;
  timer.SetInterval(100);
  timer.SetOnTimer([&](TCustomWinTimer&) {
    if (++ticks == 3) app.Terminate();
  });
  timer.SetEnabled(true);
  std::thread mover([&] {
    while (!app.Terminated()) {
      Advance(20);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  app.Run();
  mover.join();
  EXPECT_EQ(ticks, 3);
}

TEST(WindowTimers, DueTimesAndRearming) {
  TVirtualClock clock(0);
  TClockOverride use(clock);
  TWindowTimers timers;
  int a = 0, b = 0;
  EXPECT_FALSE(timers.Set(&a, 0));
  EXPECT_FALSE(timers.NextDueIn(0).has_value());
  EXPECT_TRUE(timers.Set(&a, 100));
  EXPECT_TRUE(timers.Set(&b, 40));
  EXPECT_EQ(timers.NextDueIn(0), 40u);
  EXPECT_TRUE(timers.TakeDue(39).empty());
  EXPECT_EQ(timers.TakeDue(40), (std::vector<const void*>{&b}));
  EXPECT_EQ(timers.NextDueIn(40), 40u);  // b again at 80
  EXPECT_EQ(timers.TakeDue(150), (std::vector<const void*>{&a, &b}));
  EXPECT_TRUE(timers.Kill(&a));
  EXPECT_FALSE(timers.Kill(&a));
  EXPECT_EQ(timers.Count(), 1u);
}

TEST(SessionManager, ASessionCountsAsNeverLocked) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  TVxApplication app;
  EXPECT_FALSE(IsSessionLocked());
  app.Finalise();
}

}  // namespace
}  // namespace zel
