#include "app/thread_event_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/zel_thread.h"

namespace zel {
namespace {

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

int ValueOf(TObj* payload) { return payload ? static_cast<TPayload*>(payload)->Value : -1; }

TEST(WorkerQueue, PostedMessagesAreHandledInOrderAndThenFreed) {
  std::atomic<int> freed{0};
  std::vector<std::pair<uint32_t, int>> seen;
  TThreadEventList queue([&](TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload) {
    EXPECT_NE(sender, nullptr);
    seen.emplace_back(code, ValueOf(payload));
    handled = true;
  });
  queue.Post(1, std::make_unique<TPayload>(10, &freed));
  queue.Post(2, std::make_unique<TPayload>(20, &freed));
  queue.Post(3, nullptr);
  EXPECT_EQ(queue.PendingCount(), 3);
  EXPECT_EQ(freed, 0);
  EXPECT_EQ(queue.Process(), 3);
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, int>>{{1, 10}, {2, 20}, {3, -1}}));
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(queue.Process(), 0);
}

TEST(WorkerQueue, AnUnhandledMessageFiresOnTheQueuesOwnEventList) {
  struct TSink {
    std::vector<int> values;
    TObj* sender = nullptr;
    void Handle(TObj* s, TEventId, TObj* p) {
      sender = s;
      values.push_back(ValueOf(p));
    }
  } sink;
  TThreadEventList queue([](TThreadEventList*, uint32_t code, bool& handled, TObj*) { handled = code != 5; });
  queue.Subscribe(5, TEventHandler::Of<&TSink::Handle>(&sink));
  queue.Subscribe(6, TEventHandler::Of<&TSink::Handle>(&sink));
  queue.Post(5, std::make_unique<TPayload>(55, nullptr));
  queue.Post(6, std::make_unique<TPayload>(66, nullptr));
  queue.Process();
  EXPECT_EQ(sink.values, (std::vector<int>{55}));
  EXPECT_EQ(sink.sender, &queue);
}

TEST(WorkerQueue, AFailingHandlerDoesNotStopTheOthers) {
  std::vector<int> seen;
  TThreadEventList queue([&](TThreadEventList*, uint32_t code, bool& handled, TObj*) {
    handled = true;
    if (code == 1) throw TCommonException("bad");
    seen.push_back(static_cast<int>(code));
  });
  queue.Post(1, nullptr);
  queue.Post(2, nullptr);
  EXPECT_EQ(queue.Process(), 2);
  EXPECT_EQ(seen, (std::vector<int>{2}));
}

TEST(WorkerQueue, AClosedQueueFreesPostsAtOnceAndSendsReturnAtOnce) {
  std::atomic<int> freed{0};
  int handled = 0;
  TThreadEventList queue([&](TThreadEventList*, uint32_t, bool& h, TObj*) { h = true, ++handled; });
  queue.Post(1, std::make_unique<TPayload>(1, &freed));
  queue.Close();
  EXPECT_TRUE(queue.Closed());
  EXPECT_EQ(freed, 1);  // the waiting one went with the close
  queue.Post(2, std::make_unique<TPayload>(2, &freed));
  EXPECT_EQ(freed, 2);
  TPayload kept(3, &freed);
  EXPECT_FALSE(queue.SendWait(3, &kept));
  EXPECT_EQ(queue.Process(), 0);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(freed, 2);
}

TEST(WorkerQueue, ClosingReleasesAWaitingSenderWithoutFreeingItsPayload) {
  std::atomic<int> freed{0};
  TThreadEventList queue;
  std::atomic<bool> returned{false};
  std::atomic<bool> delivered{true};
  std::thread sender([&] {
    TPayload payload(1, &freed);
    delivered = queue.SendWait(7, &payload);
    // Still ours and intact after the queue closed on it.
    EXPECT_EQ(payload.Value, 1);
    EXPECT_EQ(freed, 0);
    returned = true;
  });
  while (queue.PendingCount() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned);
  queue.Close();
  sender.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(delivered);
  EXPECT_EQ(freed, 1);  // by the sender's own scope only
  // A post after the close frees its payload at once.
  queue.Post(1, std::make_unique<TPayload>(2, &freed));
  EXPECT_EQ(freed, 2);
}

// A worker whose loop step handles its queue, records where and what it
// handled, and sleeps a little.
class TEchoThread : public TZelThread {
 public:
  ~TEchoThread() override { Stop(); }
  std::atomic<uint32_t> handlerThread{0};
  std::atomic<int> started{0}, stopped{0}, steps{0};
  std::atomic<bool> processing{true};
  std::atomic<bool> failNextStep{false};
  std::vector<int> values;

 protected:
  void HandleMessage(TThreadEventList*, uint32_t, bool& handled, TObj* payload) override {
    handlerThread = CurrentThreadId();
    values.push_back(ValueOf(payload));
    if (payload) static_cast<TPayload*>(payload)->Value *= 2;
    handled = true;
  }
  void OnStart() override { ++started; }
  void OnStop() override { ++stopped; }
  void LoopStep() override {
    ++steps;
    if (failNextStep) throw TCommonException("step failed");
    if (processing) Process();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

TEST(WorkerThread, SendIsHandledOnTheWorkerAndTheSenderSeesTheResult) {
  TEchoThread worker;
  ASSERT_TRUE(worker.Start());
  EXPECT_TRUE(worker.StartSucceeded());
  TPayload payload(21, nullptr);
  worker.Queue().Send(1, &payload);
  EXPECT_EQ(payload.Value, 42);
  EXPECT_NE(worker.handlerThread.load(), CurrentThreadId());
  EXPECT_EQ(worker.handlerThread.load(), worker.ThreadId());
  worker.Stop();
  EXPECT_EQ(worker.started, 1);
  EXPECT_EQ(worker.stopped, 1);
  EXPECT_FALSE(worker.Running());
}

TEST(WorkerThread, MessagesWaitUntilTheLoopStepProcessesThem) {
  TEchoThread worker;
  worker.processing = false;
  worker.Queue().Post(1, std::make_unique<TPayload>(1, nullptr));
  ASSERT_TRUE(worker.Start());
  while (worker.steps < 5) std::this_thread::yield();
  EXPECT_EQ(worker.Queue().PendingCount(), 1);
  worker.processing = true;
  while (worker.Queue().PendingCount() > 0) std::this_thread::yield();
  worker.Stop();
  EXPECT_EQ(worker.values, (std::vector<int>{1}));
}

TEST(WorkerThread, StoppingReleasesSendersTheLoopNeverServed) {
  TEchoThread worker;
  worker.processing = false;
  ASSERT_TRUE(worker.Start());
  std::atomic<bool> delivered{true};
  std::thread sender([&] {
    TPayload payload(1, nullptr);
    delivered = worker.Queue().SendWait(1, &payload);
  });
  while (worker.Queue().PendingCount() == 0) std::this_thread::yield();
  worker.Stop();
  sender.join();
  EXPECT_FALSE(delivered);
  EXPECT_TRUE(worker.Queue().Closed());
}

TEST(WorkerThread, AFailingLoopStepEndsTheThreadAndLetsSendersGo) {
  TEchoThread worker;
  worker.processing = false;
  ASSERT_TRUE(worker.Start());
  std::thread sender([&] {
    TPayload payload(1, nullptr);
    worker.Queue().Send(1, &payload);
  });
  while (worker.Queue().PendingCount() == 0) std::this_thread::yield();
  worker.failNextStep = true;
  sender.join();  // would hang if the dead thread's queue stayed open
  EXPECT_TRUE(worker.WaitFor(5000));
  EXPECT_EQ(worker.stopped, 0);
}

TEST(WorkerThread, ManySendersFromManyThreadsAreAllServed) {
  TEchoThread worker;
  ASSERT_TRUE(worker.Start());
  std::atomic<int> wrong{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        TPayload payload(t * 1000 + i, nullptr);
        worker.Queue().Send(1, &payload);
        if (payload.Value != 2 * (t * 1000 + i)) ++wrong;
      }
    });
  }
  for (auto& s : senders) s.join();
  worker.Stop();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(worker.values.size(), 800u);
}

}  // namespace
}  // namespace zel
