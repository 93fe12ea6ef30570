// The system millisecond counter.
#pragma once

#include <cstdint>

namespace zel {

// Milliseconds of a monotonic clock, 1 ms resolution.
uint64_t TickCount();

}  // namespace zel
