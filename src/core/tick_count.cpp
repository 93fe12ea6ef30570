#include "core/tick_count.h"

#include "core/clock.h"

namespace zel {

// Read through the clock in use, so that tests can put virtual time in place.
uint64_t TickCount() { return Clock().Milliseconds(); }

}  // namespace zel
