#include "app/application.h"

#include <gtest/gtest.h>

#include "assertion_capture.h"
#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"

namespace zel {
namespace {

using testing_support::TAssertionCapture;

// Counts its own destruction.
class TPayload : public TObj {
 public:
  TPayload(int value, std::atomic<int>* freed) : Value(value), fFreed(freed) {}
  ~TPayload() override {
    if (fFreed) ++*fFreed;
  }
  int Value;

 private:
  std::atomic<int>* fFreed;
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
};

// Records what fired, with the thread it fired on.
struct TSink {
  std::vector<int> values;
  std::vector<uint32_t> threads;
  void Handle(TObj*, TEventId, TObj* param) {
    values.push_back(param ? static_cast<TPayload*>(param)->Value : -1);
    threads.push_back(CurrentThreadId());
  }
  TEventHandler Handler() { return TEventHandler::Of<&TSink::Handle>(this); }
};

TEST_F(ApplicationTest, PostOrderIsFiringOrderAndPayloadsAreFreedAfterFiring) {
  std::atomic<int> freed{0};
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  for (int i = 0; i < 50; ++i) app.Post(id, std::make_unique<TPayload>(i, &freed));
  EXPECT_TRUE(sink.values.empty());  // nothing fires before the loop runs
  EXPECT_EQ(app.PendingEvents(), 50);
  app.ProcessMessages();
  ASSERT_EQ(sink.values.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(sink.values[i], i);
  EXPECT_EQ(freed, 50);
  app.Finalise();
}

TEST_F(ApplicationTest, PostAfterFinaliseFreesThePayloadAndNeverFires) {
  std::atomic<int> freed{0};
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  app.Finalise();
  app.Post(id, std::make_unique<TPayload>(1, &freed));
  EXPECT_EQ(freed, 1);
  app.ProcessMessages();
  EXPECT_TRUE(sink.values.empty());
  // A send after Finalise returns without firing.
  TPayload kept(2, nullptr);
  std::thread([&] { app.Send(id, &kept); }).join();
  app.Send(id, &kept);
  EXPECT_TRUE(sink.values.empty());
}

TEST_F(ApplicationTest, FinaliseFiresWhatIsQueuedOnceAndReturnsWithoutBusyObjects) {
  std::atomic<int> freed{0};
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  app.Post(id, std::make_unique<TPayload>(1, &freed));
  app.Post(id, std::make_unique<TPayload>(2, &freed));
  app.Finalise();
  EXPECT_EQ(sink.values, (std::vector<int>{1, 2}));
  EXPECT_EQ(freed, 2);
  EXPECT_TRUE(app.Finalised());
  // The loop's wake-up messages for those events are gone too.
  app.ProcessMessages();
  EXPECT_EQ(sink.values.size(), 2u);
}

TEST_F(ApplicationTest, SendOnTheInterfaceThreadFiresAtOnce) {
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  TPayload payload(7, nullptr);
  app.Send(id, &payload);
  EXPECT_EQ(sink.values, (std::vector<int>{7}));
  EXPECT_EQ(app.PendingEvents(), 0);
  app.Finalise();
}

TEST_F(ApplicationTest, SendFromAWorkerWaitsForTheInterfaceThread) {
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  std::atomic<int> freed{0};
  std::atomic<bool> returned{false};
  std::atomic<int> seenWhenReturned{-1};
  std::thread worker([&] {
    TPayload payload(5, &freed);
    app.Send(id, &payload);
    seenWhenReturned = static_cast<int>(sink.values.size());
    returned = true;
  });
  // The sender cannot return before the interface thread fired the event.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned);
  while (!returned) app.ProcessMessages();
  worker.join();
  EXPECT_EQ(seenWhenReturned, 1);
  EXPECT_EQ(sink.values, (std::vector<int>{5}));
  EXPECT_EQ(sink.threads[0], CurrentThreadId());
  // The sender kept its payload: freed by its own scope, once.
  EXPECT_EQ(freed, 1);
  app.Finalise();
}

TEST_F(ApplicationTest, SendGoesAheadOfWaitingPosts) {
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  for (int i = 0; i < 3; ++i) app.Post(id, std::make_unique<TPayload>(i, nullptr));
  std::thread worker([&] {
    TPayload payload(99, nullptr);
    app.Send(id, &payload);
  });
  while (app.PendingEvents() < 4) std::this_thread::yield();
  while (sink.values.size() < 4) app.ProcessMessages();
  worker.join();
  EXPECT_EQ(sink.values, (std::vector<int>{99, 0, 1, 2}));
  app.Finalise();
}

TEST_F(ApplicationTest, SendWithAWindowingSystemUpWakesTheLoop) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  {
    TVxApplication app;
    TSink sink;
    const TEventId id = app.NewEvent(sink.Handler());
    const TEventId quit = app.NewId();
    struct TQuit {
      TApplication* app;
      void Handle(TObj*, TEventId, TObj*) { app->Terminate(); }
    } quitter{&app};
    app.Subscribe(quit, TEventHandler::Of<&TQuit::Handle>(&quitter));
    std::thread worker([&] {
      for (int i = 0; i < 20; ++i) {
        TPayload payload(i, nullptr);
        app.Send(id, &payload);
      }
      app.Post(quit, nullptr);
    });
    app.Run();
    worker.join();
    ASSERT_EQ(sink.values.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(sink.values[i], i);
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(ApplicationTest, TerminateFromAnotherThreadEndsRunWithTheTerminatingEvent) {
  TVxApplication app;
  TSink sink;
  app.Subscribe(kAppTerminatingEvent, sink.Handler());
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    app.Terminate();
  });
  app.Run();
  worker.join();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(sink.values, (std::vector<int>{-1}));
  EXPECT_TRUE(app.Finalised());
}

TEST_F(ApplicationTest, ProcessMessagesStopsAtTheQuitMessage) {
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  app.Post(id, std::make_unique<TPayload>(1, nullptr));
  app.Terminate();
  app.Post(id, std::make_unique<TPayload>(2, nullptr));
  app.ProcessMessages();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(sink.values, (std::vector<int>{1}));
  app.Finalise();
  EXPECT_EQ(sink.values, (std::vector<int>{1, 2}));
}

TEST_F(ApplicationTest, AFailingHandlerGoesToHandleExceptionAndTheLoopGoesOn) {
  TVxApplication app;
  std::vector<std::string> shown;
  app.SetExceptionHandler([&](const std::exception* e) { shown.push_back(e ? e->what() : "?"); });
  struct TThrower {
    void Handle(TObj*, TEventId, TObj*) { throw TCommonException("boom"); }
  } thrower;
  TSink sink;
  const TEventId bad = app.NewEvent(TEventHandler::Of<&TThrower::Handle>(&thrower));
  const TEventId good = app.NewEvent(sink.Handler());
  app.Post(bad, nullptr);
  app.Post(good, std::make_unique<TPayload>(3, nullptr));
  app.ProcessMessages();
  EXPECT_EQ(shown, (std::vector<std::string>{"boom"}));
  EXPECT_EQ(sink.values, (std::vector<int>{3}));
  // A failing handler still lets its sender go.
  std::thread worker([&] { app.Send(bad, nullptr); });
  while (shown.size() < 2) app.ProcessMessages();
  worker.join();
  app.Finalise();
}

TEST_F(ApplicationTest, OnlyOneApplicationAtATime) {
  TAssertionCapture capture;
  {
    TVxApplication app;
    EXPECT_EQ(Application(), &app);
    EXPECT_THROW(TVxApplication second, EAssertionFailed);
    EXPECT_EQ(Application(), &app);
    app.Finalise();
  }
  EXPECT_EQ(Application(), nullptr);
  TVxApplication again;
  EXPECT_EQ(Application(), &again);
  again.Finalise();
}

TEST_F(ApplicationTest, DestroyingAnUnfinalisedApplicationIsReportedAndFreesTheQueue) {
  TAssertionCapture capture;
  std::atomic<int> freed{0};
  {
    TVxApplication app;
    app.Post(app.NewId(), std::make_unique<TPayload>(1, &freed));
  }
  ASSERT_EQ(capture.reports.size(), 1u);
  EXPECT_NE(capture.reports[0].find("'Application MUST be finalesed before destroy!'"), std::string::npos);
  EXPECT_EQ(freed, 1);
}

TEST_F(ApplicationTest, BusyObjectsMustBeRegisteredToBeUnregistered) {
  TAssertionCapture capture;
  TVxApplication app;
  TObj a, b;
  app.RegisterBusyObject(&a);
  EXPECT_EQ(app.BusyCount(), 1);
  EXPECT_THROW(app.UnregisterBusyObject(&b), EAssertionFailed);
  app.UnregisterBusyObject(&a);
  EXPECT_EQ(app.BusyCount(), 0);
  EXPECT_THROW(app.UnregisterBusyObject(&a), EAssertionFailed);
  app.Finalise();
}

TEST_F(ApplicationTest, FinaliseWaitsForBusyObjectsAndFiresWhatTheyDeliver) {
  TVxApplication app;
  TSink sink;
  const TEventId id = app.NewEvent(sink.Handler());
  TObj worker;
  app.RegisterBusyObject(&worker);
  std::thread thread([&] {
    for (int i = 0; i < 5; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      app.Post(id, std::make_unique<TPayload>(i, nullptr));
    }
    TPayload last(5, nullptr);
    app.Send(id, &last);
    app.UnregisterBusyObject(&worker);
  });
  app.Finalise();
  thread.join();
  // Every post in order; the send may overtake posts still waiting.
  ASSERT_EQ(sink.values.size(), 6u);
  std::vector<int> posts;
  for (int v : sink.values) {
    if (v != 5) posts.push_back(v);
  }
  EXPECT_EQ(posts, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(ApplicationFinaliseDeathTest, TimesOutAfterThirtySecondsAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        // Every 100 ms wait moves this clock on by 100 ms: 300 waits, no real time.
        TVirtualClock clock(1000, true);
        TClockOverride useClock(clock);
        TVxApplication app;
        app.SetExitCode(7);
        TObj stuck;
        app.RegisterBusyObject(&stuck);
        app.Finalise();
        std::_Exit(0);  // not reached
      },
      ::testing::ExitedWithCode(7), "Asseertion with message: 'Application finalisation timed out");
}

TEST_F(ApplicationTest, ThreeWorkersPostingAHundredThousandEachLoseNothing) {
  constexpr int kThreads = 3;
  constexpr int kPerThread = 100000;
  TVxApplication app;
  struct TChecker {
    std::vector<int> next = std::vector<int>(kThreads, 0);
    int outOfOrder = 0;
    int total = 0;
    TApplication* app;
    void Handle(TObj*, TEventId, TObj* param) {
      auto* p = static_cast<TPayload*>(param);
      const int thread = p->Value / kPerThread, seq = p->Value % kPerThread;
      if (next[thread] != seq) ++outOfOrder;
      next[thread] = seq + 1;
      if (++total == kThreads * kPerThread) app->Terminate();
    }
  } checker;
  checker.app = &app;
  const TEventId id = app.NewEvent(TEventHandler::Of<&TChecker::Handle>(&checker));
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&app, id, t] {
      for (int i = 0; i < kPerThread; ++i) app.Post(id, std::make_unique<TPayload>(t * kPerThread + i, nullptr));
    });
  }
  app.Run();
  for (auto& w : workers) w.join();
  EXPECT_EQ(checker.total, kThreads * kPerThread);
  EXPECT_EQ(checker.outOfOrder, 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(checker.next[t], kPerThread);
}

TEST_F(ApplicationTest, TitleIsKept) {
  TVxApplication app;
  app.SetTitle(u"Show");
  EXPECT_EQ(app.Title(), u"Show");
  app.Finalise();
}

}  // namespace
}  // namespace zel
