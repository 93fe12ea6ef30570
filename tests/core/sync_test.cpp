#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/sync.h"
#include "core/thread.h"

namespace zel {
namespace {

using namespace std::chrono_literals;

TEST(Mutex, TimesOutWhileAnotherThreadHoldsIt) {
  TMutex mutex;
  TEvent taken;
  TEvent release;
  std::thread holder([&] {
    mutex.Wait();
    taken.Set();
    release.Wait();
    mutex.Release();
  });
  taken.Wait();
  EXPECT_EQ(mutex.Wait(0), TWaitResult::Timeout);
  EXPECT_EQ(mutex.Wait(20), TWaitResult::Timeout);
  release.Set();
  holder.join();
  EXPECT_EQ(mutex.Wait(1000), TWaitResult::Signaled);
  EXPECT_EQ(mutex.Wait(0), TWaitResult::Signaled);  // recursive
  mutex.Release();
  mutex.Release();
}

TEST(Mutex, ALockAbandonedByADeadThreadIsStillTaken) {
  TMutex mutex;
  std::thread([&] { mutex.Wait(); }).join();  // ends while holding it
  EXPECT_EQ(mutex.Wait(1000), TWaitResult::Abandoned);
  mutex.Release();
  EXPECT_EQ(mutex.Wait(0), TWaitResult::Signaled);
  mutex.Release();

  TSafeCriticalSection section;
  std::thread([&] { section.Enter(); }).join();
  EXPECT_NO_THROW(section.Enter());
  section.Leave();
}

TEST(Event, ManualAndAutomaticReset) {
  TEvent manual(true, false);
  EXPECT_FALSE(manual.Wait(0));
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(10));

  TEvent automatic(false, true);
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0));
}

TEST(InterlockedCounter, CountsExactlyAcrossThreads) {
  TInterlockedCounter counter;
  std::thread a([&] {
    for (int i = 0; i < 100000; ++i) counter.Increment();
  });
  std::thread b([&] {
    for (int i = 0; i < 100000; ++i) counter.Decrement();
  });
  a.join();
  b.join();
  EXPECT_EQ(counter.Value(), 0);
  EXPECT_EQ(counter.Add(5), 5);
  EXPECT_EQ(counter.Exchange(1), 5);
}

class TLoopThread : public TThread {
 public:
  ~TLoopThread() override { Stop(); }
  std::atomic<int> passes{0};

 protected:
  void Execute() override {
    while (!Terminated()) {
      ++passes;
      std::this_thread::sleep_for(1ms);
    }
  }
};

class TThrowingThread : public TThread {
 public:
  ~TThrowingThread() override { Stop(); }

 protected:
  void Execute() override { throw EStreamErrorLike("body failed"); }

 private:
  ZEL_DECLARE_EXCEPTION(EStreamErrorLike, TCommonException);
};

TEST(Thread, RunsUntilTerminatedAndCanBeWaitedFor) {
  TLoopThread thread;
  EXPECT_FALSE(thread.Running());
  EXPECT_TRUE(thread.WaitFor(0));  // never started
  thread.Start();
  while (thread.passes == 0) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(thread.Running());
  EXPECT_FALSE(thread.WaitFor(20));
  thread.Terminate();
  EXPECT_TRUE(thread.WaitFor(2000));
  EXPECT_FALSE(thread.Running());
  // And it starts again.
  thread.Start();
  EXPECT_FALSE(thread.Terminated());
  thread.Stop();
  EXPECT_FALSE(thread.Running());
}

TEST(Thread, AnExceptionEndsTheThreadWithAReport) {
  testing::internal::CaptureStderr();
  TThrowingThread thread;
  thread.Start();
  EXPECT_TRUE(thread.WaitFor(2000));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Thread Exception at: EStreamErrorLike: body failed"), std::string::npos) << err;
  EXPECT_NE(err.find("Application Error"), std::string::npos);
}

}  // namespace
}  // namespace zel
