// The log's lines kept in memory while a test runs.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.h"

namespace zel::testing_support {

class TCaptureLog : public TLog {
 public:
  std::vector<std::string> Lines() {
    std::lock_guard guard(fLock);
    return fLines;
  }

 protected:
  void WriteLine(const std::string& line) override {
    std::lock_guard guard(fLock);
    fLines.push_back(line);
  }

 private:
  std::mutex fLock;
  std::vector<std::string> fLines;
};

// Installs a capturing log for its life.
class TLogCapture {
 public:
  TLogCapture() {
    auto log = std::make_unique<TCaptureLog>();
    fLog = log.get();
    InstallLog(std::move(log));
  }
  ~TLogCapture() { InstallLog(nullptr); }
  std::vector<std::string> Lines() { return fLog->Lines(); }
  int Count(const std::string& line) {
    int count = 0;
    for (const auto& l : Lines()) count += l == line ? 1 : 0;
    return count;
  }
  // How many lines contain the text.
  int Containing(const std::string& text) {
    int count = 0;
    for (const auto& l : Lines()) count += l.find(text) != std::string::npos ? 1 : 0;
    return count;
  }
  // The lines that start with the prefix, in order.
  std::vector<std::string> Starting(const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& l : Lines()) {
      if (l.rfind(prefix, 0) == 0) result.push_back(l);
    }
    return result;
  }

 private:
  TCaptureLog* fLog;
};

}  // namespace zel::testing_support
