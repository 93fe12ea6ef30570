// Raw deflate compression, for making packages.
#pragma once

#include <cstdint>

#include "core/streams.h"

namespace zel {

// Compresses everything from the input's position to its end into out as raw
// deflate data (no header, no trailer); returns the number of bytes written.
int64_t DeflateRaw(TStream& in, TStream& out, int level = 9);

}  // namespace zel
