#include "core/obj.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/log.h"

namespace zel {

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : type.name();
  // Drop namespaces and template arguments' namespaces alike: "zel::TList" -> "TList".
  const auto angle = name.find('<');
  const auto colon = name.rfind("::", angle == std::string::npos ? std::string::npos : angle);
  if (colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

std::string ExceptionClassName(const std::exception& e) {
  if (auto* own = dynamic_cast<const TCommonException*>(&e)) return own->ClassName();
  return ClassNameOf(typeid(e));
}

// ---------------------------------------------------------------------------

namespace {

std::mutex gHookLock;
TAssertionHook gHook;

void DefaultAssertionReport(const std::string& report) {
  Log().Write(report);
  std::fprintf(stderr, "%s\n", report.c_str());
}

std::string SourceUnitName(const char* path) {
  std::string_view p(path ? path : "");
  const auto slash = p.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

}  // namespace

std::string AssertionReportText(std::string_view message, std::string_view sourceFile, int line) {
  std::string text = "Asseertion with message: '";
  text += message;
  text += "' (";
  text += sourceFile;
  text += ", line: ";
  text += std::to_string(line);
  text += ")";
  return text;
}

TAssertionHook SetAssertionHook(TAssertionHook hook) {
  std::lock_guard lock(gHookLock);
  return std::exchange(gHook, std::move(hook));
}

void ReportAssertion(std::string_view message, const char* sourceFile, int line) {
  const std::string report = AssertionReportText(message, SourceUnitName(sourceFile), line);
  TAssertionHook hook;
  {
    std::lock_guard lock(gHookLock);
    hook = gHook;
  }
  if (hook) {
    hook(report);
  } else {
    DefaultAssertionReport(report);
  }
}

void AssertionFailed(std::string_view message, const char* sourceFile, int line) {
  ReportAssertion(message, sourceFile, line);
  throw EAssertionFailed(AssertionReportText(message, SourceUnitName(sourceFile), line));
}

// ---------------------------------------------------------------------------

TRefObj::~TRefObj() {
  if (RefCount() > 0) {
    ReportAssertion("Disposing the Non Zerro Ref Object, possible the \"" + RefClassName() +
                        ".Free\" method direct call",
                    __FILE__, __LINE__);
  }
}

std::string TRefObj::RefClassName() const {
  return fMadeAs ? ClassNameOf(*fMadeAs) : ClassName();
}

void TRefObj::CheckConstructed(const std::type_info& madeAs) {
  fMadeAs = &madeAs;
  if (RefCount() <= 0) {
    AssertionFailed("Incorrect RefObject: \"" + RefClassName() +
                        "\" contruction COUNT, possible INHERITED CREATE is not call or too many "
                        "_Release calls",
                    __FILE__, __LINE__);
  }
}

int32_t TRefObj::_AddRef() noexcept {
  int32_t count = fRefCount.load(std::memory_order_relaxed);
  // A count of 0 means the object is being destroyed: it cannot come back.
  while (count != 0) {
    if (fRefCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) return count + 1;
  }
  return 0;
}

int32_t TRefObj::_Release() {
  int32_t count = fRefCount.load(std::memory_order_relaxed);
  while (count != 0) {
    if (fRefCount.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
      if (count - 1 == 0) delete this;
      return count - 1;
    }
  }
  return 0;
}

int32_t RefAddRef(TRefObj* object) {
  if (!object) AssertionFailed("(nil)._AddRef call", __FILE__, __LINE__);
  return object->_AddRef();
}

int32_t RefRelease(TRefObj* object) {
  if (!object) AssertionFailed("(nil)._Release call", __FILE__, __LINE__);
  return object->_Release();
}

}  // namespace zel
