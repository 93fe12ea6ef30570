// Shared pieces of the tiled-texture tests: bitmaps made from functions of
// the position, and assertion reports caught instead of printed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/obj.h"
#include "imaging/bitmap.h"
#include "imaging/pixel_format.h"

namespace zel::testing_support {

// A 32-bit ARGB bitmap whose pixels come from a function of the position.
inline std::unique_ptr<TDirectBitmap> MakeArgb(int width, int height, const std::function<TColor(int, int)>& pixel) {
  auto bitmap = std::make_unique<TDirectBitmap>(width, height, FormatA8R8G8B8());
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bitmap->ScanLine(y));
    for (int x = 0; x < width; ++x) row[x] = pixel(x, y);
  }
  return bitmap;
}

// Opaque, and different for every position up to 65,536 x 256.
inline TColor DistinctColor(int x, int y) {
  return MakeColor(static_cast<uint32_t>(x & 0xFF), static_cast<uint32_t>(y & 0xFF),
                   static_cast<uint32_t>((x >> 8) & 0xFF), 255);
}

// Keeps the assertion reports made during its life instead of printing them.
class TAssertCapture {
 public:
  TAssertCapture() {
    fPrevious = SetAssertionHook([this](const std::string& report) { fReports.push_back(report); });
  }
  ~TAssertCapture() { SetAssertionHook(fPrevious); }
  const std::vector<std::string>& Reports() const { return fReports; }
  bool Saw(const std::string& text) const {
    for (const auto& report : fReports) {
      if (report.find(text) != std::string::npos) return true;
    }
    return false;
  }

 private:
  std::vector<std::string> fReports;
  TAssertionHook fPrevious;
};

// The action raises EAssertionFailed whose report holds the text.
template <typename F>
::testing::AssertionResult AssertsWith(F&& action, const std::string& text) {
  TAssertCapture capture;
  try {
    action();
  } catch (const EAssertionFailed& error) {
    if (std::string(error.what()).find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "asserted with: " << error.what();
  }
  return ::testing::AssertionFailure() << "no assertion; expected: " << text;
}

}  // namespace zel::testing_support
