// Error classes of the stream family and of the file primitives below it.
#pragma once

#include <string>

#include "core/exceptions.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(EStreamError, TCommonException);
ZEL_DECLARE_EXCEPTION(EStreamReadError, EStreamError);
ZEL_DECLARE_EXCEPTION(EStreamWriteError, EStreamError);
ZEL_DECLARE_EXCEPTION(EStreamSeekError, EStreamError);

// A failed operating-system file operation: the system's error code and, as
// the message, the system's text for it (the file name for open errors).
class EFileError : public std::exception {
 public:
  EFileError(int errorCode, std::string message) : fErrorCode(errorCode), fMessage(std::move(message)) {}
  const char* what() const noexcept override { return fMessage.c_str(); }
  const std::string& Message() const noexcept { return fMessage; }
  int ErrorCode() const noexcept { return fErrorCode; }

 private:
  int fErrorCode;
  std::string fMessage;
};

#define ZEL_DECLARE_FILE_ERROR(Name)                                        \
  class Name : public EFileError {                                          \
   public:                                                                  \
    using EFileError::EFileError;                                           \
  }

ZEL_DECLARE_FILE_ERROR(EFileOpenError);
ZEL_DECLARE_FILE_ERROR(EFileSeekError);
ZEL_DECLARE_FILE_ERROR(EFileReadError);
ZEL_DECLARE_FILE_ERROR(EFileWriteError);
ZEL_DECLARE_FILE_ERROR(EFileAccessError);

#undef ZEL_DECLARE_FILE_ERROR

}  // namespace zel
