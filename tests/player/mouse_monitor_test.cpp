// The cursor over the main window: which movements show it, when idling
// hides it, the mode that hides it for good, and the panel that keeps it.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/clock.h"
#include "player/mouse_monitor.h"

namespace zel {
namespace {

// A monitor on a virtual clock that keeps every cursor change.
class MouseMonitor : public ::testing::Test {
 protected:
  MouseMonitor() : fClock(10000), fOverride(fClock), fMonitor([this](bool visible) { fChanges.push_back(visible); }) {}

  // Hidden, with the changes so far forgotten.
  void StartHidden() {
    fMonitor.SetHidden(true);
    ASSERT_TRUE(fMonitor.Hidden());
    fChanges.clear();
  }

  TVirtualClock fClock;
  TClockOverride fOverride;
  std::vector<bool> fChanges;
  TMouseMonitor fMonitor;
};

TEST_F(MouseMonitor, JitterOfUpToFourPixelsNeverShowsTheCursor) {
  fMonitor.SetHideInterval(2000);
  fMonitor.Moved(100, 100);
  StartHidden();
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{104, 104}, {96, 96}, {104, 96}, {100, 104}, {96, 100}}) {
    fMonitor.Moved(x, y);
    EXPECT_TRUE(fMonitor.Hidden()) << x << "," << y;
  }
  EXPECT_TRUE(fChanges.empty());
}

TEST_F(MouseMonitor, MoreThanFourPixelsEitherWayShowsTheCursor) {
  fMonitor.SetHideInterval(2000);
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{105, 100}, {95, 100}, {100, 105}, {100, 95}}) {
    fMonitor.Moved(100, 100);
    StartHidden();
    fMonitor.Moved(x, y);
    EXPECT_FALSE(fMonitor.Hidden()) << x << "," << y;
    EXPECT_EQ(fChanges, std::vector<bool>{true}) << x << "," << y;
  }
}

TEST_F(MouseMonitor, TheFirstPositionCountsAsAMovement) {
  fMonitor.SetHideInterval(2000);
  StartHidden();
  fMonitor.Moved(0, 0);
  EXPECT_FALSE(fMonitor.Hidden());
  EXPECT_TRUE(fMonitor.Inside());
}

TEST_F(MouseMonitor, IdlingLongerThanTheIntervalHidesTheCursor) {
  fMonitor.SetHideInterval(2000);
  fMonitor.Moved(100, 100);
  fClock.Advance(2000);
  fMonitor.Poll();
  EXPECT_FALSE(fMonitor.Hidden());
  fClock.Advance(1);
  fMonitor.Poll();
  EXPECT_TRUE(fMonitor.Hidden());
  EXPECT_EQ(fChanges, std::vector<bool>{false});
  // Polling a hidden cursor changes nothing.
  fClock.Advance(5000);
  fMonitor.Poll();
  EXPECT_EQ(fChanges, std::vector<bool>{false});
}

TEST_F(MouseMonitor, OnlyARealMovementStartsTheIdleTimeAgain) {
  fMonitor.SetHideInterval(2000);
  fMonitor.Moved(100, 100);
  // Jitter does not count as movement.
  fClock.Advance(1500);
  fMonitor.Moved(103, 97);
  fClock.Advance(501);
  fMonitor.Poll();
  EXPECT_TRUE(fMonitor.Hidden());

  // A real movement shows the cursor and the interval runs from there.
  fMonitor.Moved(200, 200);
  EXPECT_FALSE(fMonitor.Hidden());
  fClock.Advance(1500);
  fMonitor.Moved(300, 200);
  fClock.Advance(1500);
  fMonitor.Poll();
  EXPECT_FALSE(fMonitor.Hidden());
  fClock.Advance(501);
  fMonitor.Poll();
  EXPECT_TRUE(fMonitor.Hidden());
  EXPECT_EQ(fChanges, (std::vector<bool>{false, true, false}));
}

TEST_F(MouseMonitor, TheIntervalCountsFromCreationWithoutAnyMovement) {
  fMonitor.SetHideInterval(300);
  fClock.Advance(300);
  fMonitor.Poll();
  EXPECT_FALSE(fMonitor.Hidden());
  fClock.Advance(1);
  fMonitor.Poll();
  EXPECT_TRUE(fMonitor.Hidden());
}

TEST_F(MouseMonitor, IntervalZeroHidesForGood) {
  fMonitor.SetHideInterval(0);
  fMonitor.Moved(100, 100);
  // Idling alone never hides it...
  fClock.Advance(1000000);
  fMonitor.Poll();
  EXPECT_FALSE(fMonitor.Hidden());
  // ...but once hidden, no movement brings it back.
  StartHidden();
  for (int i = 1; i <= 5; ++i) {
    fMonitor.Moved(100 + 50 * i, 100 + 70 * i);
    fClock.Advance(100);
    fMonitor.Poll();
    EXPECT_TRUE(fMonitor.Hidden()) << i;
  }
  EXPECT_TRUE(fChanges.empty());
}

TEST_F(MouseMonitor, KeepVisibleShowsTheCursorAndBlocksHidingUntilCleared) {
  fMonitor.SetHideInterval(2000);
  fMonitor.Moved(100, 100);
  StartHidden();
  fMonitor.SetKeepVisible(true);
  EXPECT_FALSE(fMonitor.Hidden());
  EXPECT_EQ(fChanges, std::vector<bool>{true});

  fMonitor.SetHidden(true);
  EXPECT_FALSE(fMonitor.Hidden());
  fClock.Advance(10000);
  fMonitor.Poll();
  EXPECT_FALSE(fMonitor.Hidden());
  EXPECT_EQ(fChanges, std::vector<bool>{true});

  // Cleared, the idle time since the last movement hides it at the next poll.
  fMonitor.SetKeepVisible(false);
  EXPECT_FALSE(fMonitor.Hidden());
  fMonitor.Poll();
  EXPECT_TRUE(fMonitor.Hidden());
  EXPECT_EQ(fChanges, (std::vector<bool>{true, false}));
}

TEST_F(MouseMonitor, KeepVisibleOnAVisibleCursorChangesNothing) {
  fMonitor.SetKeepVisible(true);
  fMonitor.SetKeepVisible(false);
  EXPECT_FALSE(fMonitor.Hidden());
  EXPECT_TRUE(fChanges.empty());
}

TEST_F(MouseMonitor, TheCallbackHearsEachChange) {
  fMonitor.SetHideInterval(1000);
  fMonitor.Moved(10, 10);
  fMonitor.Moved(50, 50);  // visible already: nothing to say
  fClock.Advance(1001);
  fMonitor.Poll();
  fMonitor.Moved(12, 12);
  fMonitor.SetHidden(true);
  fMonitor.SetHidden(false);
  EXPECT_EQ(fChanges, (std::vector<bool>{false, true, false, true}));
}

TEST_F(MouseMonitor, EnteringAndLeaving) {
  EXPECT_FALSE(fMonitor.Inside());
  fMonitor.Entered();
  EXPECT_TRUE(fMonitor.Inside());
  fMonitor.Left();
  EXPECT_FALSE(fMonitor.Inside());
  fMonitor.Moved(1, 1);
  EXPECT_TRUE(fMonitor.Inside());
}

TEST(MouseMonitorCallback, AMonitorWithoutCallbackStillTracksTheState) {
  TVirtualClock clock(0);
  TClockOverride use(clock);
  TMouseMonitor monitor(nullptr);
  monitor.SetHideInterval(100);
  clock.Advance(101);
  monitor.Poll();
  EXPECT_TRUE(monitor.Hidden());
  monitor.Moved(50, 50);
  EXPECT_FALSE(monitor.Hidden());
}

}  // namespace
}  // namespace zel
