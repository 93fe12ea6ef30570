// The object base, shared reference-counted objects and assertion reports.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

#include "core/exceptions.h"

namespace zel {

// The demangled name of a type without its namespace ("TMemoryStream").
std::string ClassNameOf(const std::type_info& type);

// The base of nearly every class. What the original design calls disposal
// is the destructor here: an object frees what it owns when it is destroyed.
class TObj {
 public:
  virtual ~TObj() = default;
  std::string ClassName() const { return ClassNameOf(typeid(*this)); }
};

// ---------------------------------------------------------------------------
// Assertion reports.

// Builds the report text: "Asseertion with message: 'MSG' (FILE, line: N)".
std::string AssertionReportText(std::string_view message, std::string_view sourceFile, int line);

// Where reports go. The default writes to the log and to stderr; tests
// install their own to look at the texts. Returns the previous hook.
using TAssertionHook = std::function<void(const std::string& report)>;
TAssertionHook SetAssertionHook(TAssertionHook hook);

// Reports and raises EAssertionFailed with the report as its message.
[[noreturn]] void AssertionFailed(std::string_view message, const char* sourceFile, int line);
// Reports only: for places that must not raise (destructors).
void ReportAssertion(std::string_view message, const char* sourceFile, int line);

#define ZEL_ASSERT(condition, message)                                 \
  do {                                                                 \
    if (!(condition)) ::zel::AssertionFailed((message), __FILE__, __LINE__); \
  } while (false)

// ---------------------------------------------------------------------------
// Shared objects.

// A shared object: an atomic reference count, 1 at construction (the
// creator's reference). Holders release it and never delete it; the last
// release destroys it. Use TRef<T> rather than calling _AddRef/_Release.
class TRefObj : public TObj {
 public:
  TRefObj() = default;
  TRefObj(const TRefObj&) = delete;
  TRefObj& operator=(const TRefObj&) = delete;
  ~TRefObj() override;

  // Both return the new count; 0 when the object is already being destroyed.
  int32_t _AddRef() noexcept;
  int32_t _Release();
  int32_t RefCount() const noexcept { return fRefCount.load(std::memory_order_acquire); }

  // The class name used in reports: the type the object was made as when it
  // was made through MakeRef, else its current dynamic type.
  std::string RefClassName() const;

  // Called by MakeRef once the object is built: records the type it was made
  // as and checks that construction left the creator's reference in place.
  void CheckConstructed(const std::type_info& madeAs);

 private:
  std::atomic<int32_t> fRefCount{1};
  const std::type_info* fMadeAs = nullptr;
};

// Null-checked reference operations, reporting "(nil)._AddRef call" and
// "(nil)._Release call" for a null object.
int32_t RefAddRef(TRefObj* object);
int32_t RefRelease(TRefObj* object);

// An intrusive smart pointer that holds one reference.
template <typename T>
class TRef {
 public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  // Takes a new reference to an object somebody else holds.
  explicit TRef(T* object) noexcept : fObject(object) {
    if (fObject) fObject->_AddRef();
  }
  // Takes over a reference the caller already owns (a fresh object's first).
  static TRef Adopt(T* object) noexcept {
    TRef r;
    r.fObject = object;
    return r;
  }

  TRef(const TRef& other) noexcept : TRef(other.fObject) {}
  TRef(TRef&& other) noexcept : fObject(std::exchange(other.fObject, nullptr)) {}
  template <typename U>
  TRef(const TRef<U>& other) noexcept : TRef(other.Get()) {}
  template <typename U>
  TRef(TRef<U>&& other) noexcept : fObject(other.Detach()) {}

  TRef& operator=(TRef other) noexcept {
    std::swap(fObject, other.fObject);
    return *this;
  }
  ~TRef() { Reset(); }

  void Reset() {
    if (T* object = std::exchange(fObject, nullptr)) object->_Release();
  }
  // Gives up the reference without releasing it.
  T* Detach() noexcept { return std::exchange(fObject, nullptr); }

  T* Get() const noexcept { return fObject; }
  T* operator->() const noexcept { return fObject; }
  T& operator*() const noexcept { return *fObject; }
  explicit operator bool() const noexcept { return fObject != nullptr; }
  bool operator==(const TRef& other) const noexcept { return fObject == other.fObject; }

 private:
  T* fObject = nullptr;
};

// Makes a shared object and hands back its first reference.
template <typename T, typename... Args>
auto MakeRef(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  // A failed check raises; the broken object is then left alone rather than
  // destroyed with a count that cannot be trusted.
  static_cast<TRefObj*>(object)->CheckConstructed(typeid(T));
  return TRef<T>::Adopt(object);
}

}  // namespace zel
