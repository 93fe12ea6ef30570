// The system's own exception classes.
//
// Every class knows its own name, so that an exception raised without a
// message carries the default text "Orvane Exception: " and the class name
// in double quotation marks.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace zel {

class TCommonException : public std::exception {
 public:
  TCommonException() : TCommonException(DefaultMessage("TCommonException")) {}
  explicit TCommonException(std::string message) : fMessage(std::move(message)) {}

  const char* what() const noexcept override { return fMessage.c_str(); }
  const std::string& Message() const noexcept { return fMessage; }
  virtual const char* ClassName() const noexcept { return "TCommonException"; }

  static std::string DefaultMessage(std::string_view className) {
    return "Orvane Exception: \"" + std::string(className) + "\"";
  }

 private:
  std::string fMessage;
};

// Declares an exception class with the default-message rule.
#define ZEL_DECLARE_EXCEPTION(Name, Base)                                      \
  class Name : public Base {                                                   \
   public:                                                                     \
    Name() : Base(::zel::TCommonException::DefaultMessage(#Name)) {}           \
    explicit Name(std::string message) : Base(std::move(message)) {}           \
    const char* ClassName() const noexcept override { return #Name; }          \
  }

// The silent exception: it unwinds without any report.
ZEL_DECLARE_EXCEPTION(EAbort, TCommonException);
// A programming error, raised after its report was written.
ZEL_DECLARE_EXCEPTION(EAssertionFailed, TCommonException);

ZEL_DECLARE_EXCEPTION(EThreadError, TCommonException);
ZEL_DECLARE_EXCEPTION(EMutexTakeOwnershipError, EThreadError);

// The class name of an exception for reports: ours know it, others give
// their demangled type name.
std::string ExceptionClassName(const std::exception& e);

}  // namespace zel
