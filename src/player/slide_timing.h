// The show's time as the engine and the slide loader share it: the engine
// writes, the loader reads once per step.
#pragma once

#include <atomic>

#include "core/obj.h"

namespace zel {

class TTiming : public TRefObj {
 public:
  // The show time the frame loop stands at, ms.
  double CurrentTime() const noexcept { return fCurrent.load(std::memory_order_acquire); }
  void SetCurrentTime(double time) noexcept { fCurrent.store(time, std::memory_order_release); }
  // The time a seek asked for, ms.
  double NewTime() const noexcept { return fNew.load(std::memory_order_acquire); }
  void SetNewTime(double time) noexcept { fNew.store(time, std::memory_order_release); }

 private:
  std::atomic<double> fCurrent{0};
  std::atomic<double> fNew{0};
};

}  // namespace zel
