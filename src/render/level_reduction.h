// Making a mip level from the level above it.
#pragma once

#include "imaging/bitmap.h"

namespace zel {

// When both are 32-bit ARGB and the upper level is exactly twice the lower
// one's size, each pixel is the per-channel average of its 2 x 2 block
// (the sum shifted right by 2, alpha included); otherwise the upper level
// is resampled to the lower one's size by averaging the source pixels each
// lower pixel covers.
void ReduceLevel(const TBitmap& upper, TBitmap& lower);

}  // namespace zel
