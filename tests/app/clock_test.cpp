#include "core/clock.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/tick_count.h"

namespace zel {
namespace {

TEST(VirtualClock, TickCountFollowsTheInstalledClockAndComesBack) {
  const uint64_t before = TickCount();
  {
    TVirtualClock clock(5);
    TClockOverride use(clock);
    EXPECT_EQ(TickCount(), 5u);
    clock.Advance(120);
    EXPECT_EQ(TickCount(), 125u);
    // Without auto-advance sleeping does not move time.
    SleepMs(1000);
    EXPECT_EQ(TickCount(), 125u);
  }
  EXPECT_GE(TickCount(), before);
  EXPECT_LT(TickCount() - before, 60000u);
}

TEST(VirtualClock, AutoAdvanceMovesTimeBySleepsAndExpiredWaits) {
  TVirtualClock clock(0, true);
  TClockOverride use(clock);
  SleepMs(40);
  EXPECT_EQ(TickCount(), 40u);
  TEvent event;
  EXPECT_FALSE(Clock().WaitFor(event, 100));
  EXPECT_EQ(TickCount(), 140u);
  event.Set();
  EXPECT_TRUE(Clock().WaitFor(event, 100));
  EXPECT_EQ(TickCount(), 140u);  // a wait that succeeds takes no time
}

TEST(VirtualClock, HeldClockWaitsSeeEventsSetByOtherThreads) {
  TVirtualClock clock(0);
  TClockOverride use(clock);
  TEvent event;
  std::thread setter([&] { event.Set(); });
  setter.join();
  EXPECT_TRUE(Clock().WaitFor(event, 100));
  EXPECT_EQ(TickCount(), 0u);
}

}  // namespace
}  // namespace zel
