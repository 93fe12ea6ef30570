#include "app/event_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel {
namespace {

// Records each call as "name:id".
struct TRecorder {
  std::string name;
  std::vector<std::string>* log;
  void Handle(TObj*, TEventId id, TObj*) { log->push_back(name + ":" + std::to_string(id)); }
  TEventHandler Handler() { return TEventHandler::Of<&TRecorder::Handle>(this); }
};

TEST(EventListOrder, OldestSubscriptionRunsFirst) {
  std::vector<std::string> log;
  TRecorder a{"a", &log}, b{"b", &log}, c{"c", &log};
  TEventList list;
  list.Subscribe(7, a.Handler());
  list.Subscribe(7, b.Handler());
  list.Subscribe(7, c.Handler());
  list.Fire(nullptr, 7, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"a:7", "b:7", "c:7"}));
}

TEST(EventListOrder, HandlerGetsSenderIdAndParameter) {
  struct TCheck {
    TObj* sender = nullptr;
    TEventId id = 0;
    TObj* param = nullptr;
    void Handle(TObj* s, TEventId i, TObj* p) { sender = s, id = i, param = p; }
  } check;
  TObj sender, param;
  TEventList list;
  list.Subscribe(3, TEventHandler::Of<&TCheck::Handle>(&check));
  list.Fire(&sender, 3, &param);
  EXPECT_EQ(check.sender, &sender);
  EXPECT_EQ(check.id, 3u);
  EXPECT_EQ(check.param, &param);
}

TEST(EventListBuckets, SameBucketDifferentIdentifiersStayApart) {
  std::vector<std::string> log;
  TRecorder five{"five", &log}, other{"other", &log};
  TEventList list(4096);
  list.Subscribe(5, five.Handler());
  list.Subscribe(4101, other.Handler());
  list.Fire(nullptr, 5, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"five:5"}));
  log.clear();
  list.Fire(nullptr, 4101, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"other:4101"}));
}

TEST(EventListBuckets, BucketCountIsClamped) {
  EXPECT_EQ(TEventList(0).BucketCount(), 1);
  EXPECT_EQ(TEventList(-5).BucketCount(), 1);
  EXPECT_EQ(TEventList(100000).BucketCount(), 4096);
  EXPECT_EQ(TEventList().BucketCount(), 16);
  // A one-bucket list still tells identifiers apart.
  std::vector<std::string> log;
  TRecorder a{"a", &log}, b{"b", &log};
  TEventList single(1);
  single.Subscribe(1, a.Handler());
  single.Subscribe(2, b.Handler());
  single.Fire(nullptr, 2, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"b:2"}));
}

TEST(EventListIdentifiers, NewIdCountsOnFromTheFirstValue) {
  TEventList list(16, 100);
  EXPECT_EQ(list.NewId(), 101u);
  EXPECT_EQ(list.NewId(), 102u);
  std::vector<std::string> log;
  TRecorder a{"a", &log};
  const TEventId id = list.NewEvent(a.Handler());
  EXPECT_EQ(id, 103u);
  list.Fire(nullptr, id, nullptr);
  EXPECT_EQ(log.size(), 1u);
}

// Unsubscribes a victim when called.
struct TKiller {
  TEventList* list;
  TEventId id;
  TEventHandler victim;
  std::vector<std::string>* log;
  void Handle(TObj*, TEventId, TObj*) {
    log->push_back("killer");
    list->Unsubscribe(id, victim);
  }
};

TEST(EventListReentrancy, UnsubscribingALaterHandlerStopsIt) {
  std::vector<std::string> log;
  TEventList list;
  TRecorder victim{"victim", &log};
  TKiller killer{&list, 9, victim.Handler(), &log};
  list.Subscribe(9, TEventHandler::Of<&TKiller::Handle>(&killer));
  list.Subscribe(9, victim.Handler());
  list.Fire(nullptr, 9, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"killer"}));
  EXPECT_EQ(list.SubscriptionCount(9), 1);
}

TEST(EventListReentrancy, UnsubscribingAnEarlierHandlerAfterItRanChangesNothingNow) {
  std::vector<std::string> log;
  TEventList list;
  TRecorder victim{"victim", &log};
  TKiller killer{&list, 9, victim.Handler(), &log};
  list.Subscribe(9, victim.Handler());
  list.Subscribe(9, TEventHandler::Of<&TKiller::Handle>(&killer));
  list.Fire(nullptr, 9, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"victim:9", "killer"}));
  log.clear();
  list.Fire(nullptr, 9, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"killer"}));
}

TEST(EventListReentrancy, HandlerMayUnsubscribeItself) {
  struct TOnce {
    TEventList* list;
    int calls = 0;
    void Handle(TObj*, TEventId id, TObj*) {
      ++calls;
      list->Unsubscribe(id, TEventHandler::Of<&TOnce::Handle>(this));
    }
  };
  TEventList list;
  TOnce once{&list};
  list.Subscribe(4, TEventHandler::Of<&TOnce::Handle>(&once));
  list.Fire(nullptr, 4, nullptr);
  list.Fire(nullptr, 4, nullptr);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(list.SubscriptionCount(4), 0);
}

TEST(EventListReentrancy, SubscriptionMadeDuringAFireWaitsForTheNextOne) {
  std::vector<std::string> log;
  TRecorder late{"late", &log};
  struct TAdder {
    TEventList* list;
    TEventHandler late;
    bool added = false;
    void Handle(TObj*, TEventId id, TObj*) {
      if (!added) list->Subscribe(id, late);
      added = true;
    }
  };
  TEventList list;
  TAdder adder{&list, late.Handler(), false};
  list.Subscribe(2, TEventHandler::Of<&TAdder::Handle>(&adder));
  list.Fire(nullptr, 2, nullptr);
  EXPECT_TRUE(log.empty());
  list.Fire(nullptr, 2, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"late:2"}));
}

TEST(EventListReentrancy, HandlerMayFireAgain) {
  struct TNested {
    TEventList* list;
    std::vector<int> seen;
    void Handle(TObj*, TEventId id, TObj*) {
      seen.push_back(static_cast<int>(id));
      if (id == 1) list->Fire(nullptr, 2, nullptr);
    }
  };
  TEventList list;
  TNested nested{&list, {}};
  list.Subscribe(1, TEventHandler::Of<&TNested::Handle>(&nested));
  list.Subscribe(2, TEventHandler::Of<&TNested::Handle>(&nested));
  list.Fire(nullptr, 1, nullptr);
  EXPECT_EQ(nested.seen, (std::vector<int>{1, 2}));
}

TEST(EventListUnsubscribe, MatchesFunctionAndObjectAndRemovesOnlyTheFirst) {
  std::vector<std::string> log;
  TRecorder a{"a", &log}, b{"b", &log};
  TEventList list;
  list.Subscribe(1, a.Handler());
  list.Subscribe(1, b.Handler());
  list.Subscribe(1, a.Handler());
  // Same method, other object: only b's subscription goes.
  EXPECT_TRUE(list.Unsubscribe(1, b.Handler()));
  EXPECT_FALSE(list.Unsubscribe(1, b.Handler()));
  EXPECT_FALSE(list.Unsubscribe(2, a.Handler()));
  EXPECT_TRUE(list.Unsubscribe(1, a.Handler()));
  list.Fire(nullptr, 1, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"a:1"}));
}

TEST(EventListUnsubscribe, ClearRemovesEverySubscription) {
  std::vector<std::string> log;
  TRecorder a{"a", &log};
  TEventList list(4);
  for (TEventId id = 0; id < 20; ++id) list.Subscribe(id, a.Handler());
  list.Clear();
  for (TEventId id = 0; id < 20; ++id) list.Fire(nullptr, id, nullptr);
  EXPECT_TRUE(log.empty());
  list.Subscribe(3, a.Handler());
  list.Fire(nullptr, 3, nullptr);
  EXPECT_EQ(log.size(), 1u);
}

TEST(EventListLongChains, ManySubscriptionsFireInOrderWithoutDeepRecursion) {
  struct TCounter {
    std::vector<int>* order;
    int index;
    void Handle(TObj*, TEventId, TObj*) { order->push_back(index); }
  };
  std::vector<int> order;
  std::vector<TCounter> counters;
  const int n = 200000;
  counters.reserve(n);
  TEventList list;
  for (int i = 0; i < n; ++i) {
    counters.push_back({&order, i});
    list.Subscribe(1, TEventHandler::Of<&TCounter::Handle>(&counters.back()));
  }
  list.Fire(nullptr, 1, nullptr);
  ASSERT_EQ(static_cast<int>(order.size()), n);
  for (int i = 0; i < n; ++i) ASSERT_EQ(order[i], i);
}

}  // namespace
}  // namespace zel
