#include "core/tick_count.h"

#include <chrono>

namespace zel {

uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace zel
