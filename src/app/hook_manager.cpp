#include "app/hook_manager.h"

#include <vector>

namespace zel {

TPrivateHookManager::TPrivateHookManager() { fNames.SetCaseInsensitive(true); }

TPrivateHookManager::~TPrivateHookManager() { Clear(); }

uint32_t TPrivateHookManager::NewMessage() { return static_cast<uint32_t>(fCounter.Increment()); }

uint32_t TPrivateHookManager::NamedMessage(TStringView name) {
  std::lock_guard lock(fNamesLock);
  const int index = fNames.IndexOf(name);
  // The number travels in the object slot of the string list.
  if (index >= 0) return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fNames.Objects(index)));
  const uint32_t message = NewMessage();
  fNames.Add(name, reinterpret_cast<TObj*>(static_cast<uintptr_t>(message)));
  return message;
}

void TPrivateHookManager::Hook(const void* window, std::initializer_list<uint32_t> messages, TMsgHandler handler) {
  ZEL_ASSERT(static_cast<bool>(handler), "Error: Hook without a handler");
  for (uint32_t message : messages) {
    auto* hook = new TMsgHook(window, message, handler);
    hook->CheckConstructed(typeid(TMsgHook));
    TMsgHook*& head = fHooks[message & 0xFF];
    hook->Next = head;
    head = hook;
  }
}

void TPrivateHookManager::Unhook(const void* window, std::initializer_list<uint32_t> messages, TMsgHandler handler) {
  for (uint32_t message : messages) {
    TMsgHook** link = &fHooks[message & 0xFF];
    while (*link && !((*link)->Window == window && (*link)->Message == message && (*link)->Handler == handler)) {
      link = &(*link)->Next;
    }
    ZEL_ASSERT(*link != nullptr, "UnHook error");
    TMsgHook* hook = *link;
    *link = hook->Next;
    hook->Next = nullptr;
    hook->Removed = true;
    hook->_Release();
  }
}

bool TPrivateHookManager::Dispatch(const void* window, TVxMessage& message) {
  // Held by references while they run, so a hook may unhook itself or others.
  std::vector<TRef<TMsgHook>> hooks;
  for (TMsgHook* hook = fHooks[message.Message & 0xFF]; hook; hook = hook->Next) {
    if (hook->Window == window && hook->Message == message.Message) hooks.emplace_back(hook);
  }
  for (const auto& hook : hooks) {
    if (hook->Removed) continue;
    if (hook->Handler(message)) return true;
  }
  return false;
}

void TPrivateHookManager::UnhookWindow(const void* window) {
  for (TMsgHook*& head : fHooks) {
    for (TMsgHook** link = &head; *link;) {
      TMsgHook* hook = *link;
      if (hook->Window != window) {
        link = &hook->Next;
        continue;
      }
      *link = hook->Next;
      hook->Next = nullptr;
      hook->Removed = true;
      hook->_Release();
    }
  }
}

void TPrivateHookManager::Clear() {
  for (TMsgHook*& head : fHooks) {
    while (TMsgHook* hook = head) {
      head = hook->Next;
      hook->Next = nullptr;
      hook->Removed = true;
      hook->_Release();
    }
  }
}

TPrivateHookManager& HookManager() {
  static TPrivateHookManager manager;
  return manager;
}

}  // namespace zel
