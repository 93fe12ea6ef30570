#include "audio/feeder_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "log_capture.h"

namespace zel {
namespace {

// A clock where time stands still: waits end only when their event is set,
// so every periodic step a test sees was asked for by Wake.
class TFrozenClock final : public TClock {
 public:
  uint64_t Milliseconds() override { return 0; }
  void Sleep(uint32_t) override {}
  bool WaitFor(TEvent& event, uint32_t) override { return event.Wait(kInfinite); }
};

// What the steps did, in order.
class TStepLog {
 public:
  void Add(const std::string& step) {
    {
      std::lock_guard lock(fLock);
      fSteps.push_back(step);
    }
    fChanged.notify_all();
  }
  std::vector<std::string> Steps() {
    std::lock_guard lock(fLock);
    return fSteps;
  }
  // Waits (a long hang guard, not a timing check) until n steps are there.
  bool WaitFor(size_t n) {
    std::unique_lock lock(fLock);
    return fChanged.wait_for(lock, std::chrono::seconds(10), [&] { return fSteps.size() >= n; });
  }

 private:
  std::mutex fLock;
  std::condition_variable fChanged;
  std::vector<std::string> fSteps;
};

class FeederThreadTest : public ::testing::Test {
 protected:
  TFrozenClock fClock;
  TClockOverride fOverride{fClock};
  TStepLog fLog;
};

TEST_F(FeederThreadTest, StartStepFirstThenOneStepPerWake) {
  TDSEventThread thread([&] { fLog.Add("start"); }, [&] { fLog.Add("periodic"); });
  thread.Wake();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(fLog.Steps().empty()) << "made suspended";
  thread.Resume();
  ASSERT_TRUE(fLog.WaitFor(2)) << "the wake before Resume is still pending";
  for (size_t n = 3; n <= 5; ++n) {
    thread.Wake();
    ASSERT_TRUE(fLog.WaitFor(n));
  }
  EXPECT_TRUE(thread.Quit());
  EXPECT_FALSE(thread.Running());
  const auto steps = fLog.Steps();
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0], "start");
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_EQ(steps[i], "periodic");
}

TEST_F(FeederThreadTest, QuitBeforeResumeRunsNothing) {
  TDSEventThread thread([&] { fLog.Add("start"); }, [&] { fLog.Add("periodic"); });
  EXPECT_TRUE(thread.Quit());
  thread.Resume();
  EXPECT_TRUE(thread.WaitFor(10'000));
  EXPECT_TRUE(fLog.Steps().empty());
}

TEST_F(FeederThreadTest, FailingStepsAreLoggedOnceAndTheThreadGoesOn) {
  testing_support::TLogCapture log;
  int calls = 0;
  TDSEventThread thread([&] { throw std::runtime_error("no start"); },
                        [&] {
                          fLog.Add("periodic");
                          if (++calls <= 3) throw std::runtime_error("refill failed");
                        });
  thread.Resume();
  for (size_t n = 1; n <= 5; ++n) {
    thread.Wake();
    ASSERT_TRUE(fLog.WaitFor(n));
  }
  EXPECT_TRUE(thread.Quit());
  EXPECT_EQ(log.Containing("no start"), 1);
  EXPECT_EQ(log.Containing("refill failed"), 1);
}

// Without waking, a periodic step still comes every kPeriodMs.
TEST(FeederThreadPeriodTest, StepsComeEveryPeriod) {
  TVirtualClock clock(0, true);
  TClockOverride useClock(clock);
  TStepLog steps;
  TDSEventThread thread(nullptr, [&] { steps.Add(std::to_string(clock.Milliseconds())); });
  thread.Resume();
  ASSERT_TRUE(steps.WaitFor(3));
  thread.Quit();
  const auto times = steps.Steps();
  // Each wait timed out after exactly one period of virtual time.
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(times[i], std::to_string((i + 1) * TDSEventThread::kPeriodMs));
}

}  // namespace
}  // namespace zel
