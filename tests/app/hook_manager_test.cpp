#include "app/hook_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zel {
namespace {

struct THookRecorder {
  std::string name;
  bool handles;
  std::vector<std::string>* log;
  bool Handle(TVxMessage& message) {
    log->push_back(name);
    if (handles) message.Result = 42;
    return handles;
  }
  TMsgHandler Handler() { return TMsgHandler::Of<&THookRecorder::Handle>(this); }
};

TEST(HookManagerMessages, PrivateNumbersAreFreshAndNamedOnesStable) {
  TPrivateHookManager manager;
  const uint32_t first = manager.NewMessage();
  EXPECT_EQ(first, kFirstPrivateMessage + 1);
  EXPECT_EQ(manager.NewMessage(), first + 1);
  const uint32_t named = manager.NamedMessage(u"ShowEvent");
  EXPECT_EQ(manager.NamedMessage(u"showevent"), named);
  EXPECT_NE(manager.NamedMessage(u"Other"), named);
}

TEST(HookManagerDispatch, NewestHookFirstAndAHandledMessageStopsTheSearch) {
  std::vector<std::string> log;
  int window = 0, otherWindow = 0;
  THookRecorder old{"old", false, &log}, mid{"mid", true, &log}, young{"young", false, &log};
  TPrivateHookManager manager;
  manager.Hook(&window, {300}, old.Handler());
  manager.Hook(&window, {300}, mid.Handler());
  manager.Hook(&window, {300}, young.Handler());
  TVxMessage message{300};
  EXPECT_TRUE(manager.Dispatch(&window, message));
  EXPECT_EQ(log, (std::vector<std::string>{"young", "mid"}));
  EXPECT_EQ(message.Result, 42);
  // Other windows and other numbers with the same low byte see nothing.
  log.clear();
  TVxMessage other{300};
  EXPECT_FALSE(manager.Dispatch(&otherWindow, other));
  TVxMessage sameLowByte{300 + 256};
  EXPECT_FALSE(manager.Dispatch(&window, sameLowByte));
  EXPECT_TRUE(log.empty());
}

TEST(HookManagerDispatch, UnhookRemovesTheHookAndAnAbsentOneIsAnError) {
  std::vector<std::string> log;
  int window = 0;
  THookRecorder hook{"hook", true, &log};
  TPrivateHookManager manager;
  manager.Hook(&window, {1, 2}, hook.Handler());
  manager.Unhook(&window, {1}, hook.Handler());
  TVxMessage one{1}, two{2};
  EXPECT_FALSE(manager.Dispatch(&window, one));
  EXPECT_TRUE(manager.Dispatch(&window, two));
  auto previous = SetAssertionHook([](const std::string&) {});
  try {
    manager.Unhook(&window, {1}, hook.Handler());
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("'UnHook error'"), std::string::npos);
  }
  SetAssertionHook(previous);
}

TEST(HookManagerDispatch, AHookMayUnhookItselfWhileRunning) {
  struct TSelfRemoving {
    TPrivateHookManager* manager;
    int* window;
    int calls = 0;
    bool Handle(TVxMessage&) {
      ++calls;
      manager->Unhook(window, {5}, TMsgHandler::Of<&TSelfRemoving::Handle>(this));
      return false;
    }
  };
  int window = 0;
  TPrivateHookManager manager;
  TSelfRemoving hook{&manager, &window};
  manager.Hook(&window, {5}, TMsgHandler::Of<&TSelfRemoving::Handle>(&hook));
  TVxMessage message{5};
  manager.Dispatch(&window, message);
  manager.Dispatch(&window, message);
  EXPECT_EQ(hook.calls, 1);
}

TEST(HookManagerDispatch, UnhookWindowDropsOnlyThatWindowsHooks) {
  std::vector<std::string> log;
  int a = 0, b = 0;
  THookRecorder ha{"a", false, &log}, hb{"b", false, &log};
  TPrivateHookManager manager;
  manager.Hook(&a, {7, 8}, ha.Handler());
  manager.Hook(&b, {7}, hb.Handler());
  manager.UnhookWindow(&a);
  TVxMessage m7{7}, m8{8};
  manager.Dispatch(&a, m7);
  manager.Dispatch(&a, m8);
  manager.Dispatch(&b, m7);
  EXPECT_EQ(log, (std::vector<std::string>{"b"}));
}

}  // namespace
}  // namespace zel
