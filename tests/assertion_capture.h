// Collects assertion reports for the life of the object instead of
// printing them, so that tests can look at the texts.
#pragma once

#include <string>
#include <vector>

#include "core/obj.h"

namespace zel::testing_support {

class TAssertionCapture {
 public:
  TAssertionCapture() : fPrevious(SetAssertionHook([this](const std::string& r) { reports.push_back(r); })) {}
  ~TAssertionCapture() { SetAssertionHook(fPrevious); }
  TAssertionCapture(const TAssertionCapture&) = delete;
  TAssertionCapture& operator=(const TAssertionCapture&) = delete;

  // The last report, or "" when there was none.
  std::string Last() const { return reports.empty() ? std::string() : reports.back(); }

  std::vector<std::string> reports;

 private:
  TAssertionHook fPrevious;
};

}  // namespace zel::testing_support
