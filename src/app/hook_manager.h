// Private message numbers and message hooks: a hook sees a message meant for
// a window (or for the application) before the window does, and may take
// care of it.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <mutex>

#include "core/list.h"
#include "core/obj.h"
#include "core/sync.h"
#include "platform/event_loop.h"

namespace zel {

// Message numbers of our own. SDL event types stay below them and above
// 0x0FF; the system's quit, timer and session messages keep their numbers.
constexpr uint32_t kQuitMessage = 18;
constexpr uint32_t kTimerMessage = 275;
constexpr uint32_t kSessionChangeMessage = 689;
constexpr uint32_t kFirstPrivateMessage = 5120;

// A message on its way to a window. Event is the SDL event of a system
// message, else null.
struct TVxMessage {
  uint32_t Message = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  const void* Event = nullptr;
  intptr_t Result = 0;
};

// What a hook calls: returns true when it took care of the message.
struct TMsgHandler {
  using TCode = bool (*)(void* object, TVxMessage& message);
  TCode Code = nullptr;
  void* Object = nullptr;

  template <auto Method, typename T>
  static TMsgHandler Of(T* object) {
    return {[](void* self, TVxMessage& message) -> bool { return (static_cast<T*>(self)->*Method)(message); },
            object};
  }
  bool operator()(TVxMessage& message) const { return Code(Object, message); }
  explicit operator bool() const { return Code != nullptr; }
  bool operator==(const TMsgHandler& other) const { return Code == other.Code && Object == other.Object; }
};

class TMsgHook : public TRefObj {
 public:
  TMsgHook(const void* window, uint32_t message, TMsgHandler handler)
      : Window(window), Message(message), Handler(handler) {}
  const void* const Window;
  const uint32_t Message;
  const TMsgHandler Handler;
  TMsgHook* Next = nullptr;
  bool Removed = false;
};

class TPrivateHookManager : public TObj {
 public:
  TPrivateHookManager();
  ~TPrivateHookManager() override;

  // A message number nobody else uses; any thread may ask.
  uint32_t NewMessage();
  // The same number for the same name, every time (names without regard to case).
  uint32_t NamedMessage(TStringView name);

  // Hooks are used from the interface thread only. A window is any object
  // that stands for one (the application's window is the application).
  void Hook(const void* window, std::initializer_list<uint32_t> messages, TMsgHandler handler);
  // Unhooking a hook that is not there is an assertion failure.
  void Unhook(const void* window, std::initializer_list<uint32_t> messages, TMsgHandler handler);
  // Offers the message to the window's hooks of its number, newest first;
  // true when one took care of it (its result is in message.Result).
  bool Dispatch(const void* window, TVxMessage& message);
  // Drops every hook of a window that goes away.
  void UnhookWindow(const void* window);
  // Drops every hook.
  void Clear();

 private:
  TInterlockedCounter fCounter{static_cast<int32_t>(kFirstPrivateMessage)};
  std::mutex fNamesLock;
  TStringList fNames;
  std::array<TMsgHook*, 256> fHooks{};
};

TPrivateHookManager& HookManager();

}  // namespace zel
