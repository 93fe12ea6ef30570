// Filtered resampling of 8-bit single-channel bitmaps (alpha masks): the
// separable two-pass scaler the shadows blur with, by shrinking with a wide
// filter and enlarging again.
#pragma once

#include <cstdint>

#include "imaging/bitmap.h"

namespace zel {

enum class TResampleFilter { Box, Triangle, Hermite, Bell, BSpline, Mitchell, Lanczos3 };

// The filter's weight at distance x (in source pixels) from the sample.
double FilterWeight(TResampleFilter filter, double x);
// The distance beyond which the filter's weight is 0.
double FilterSupport(TResampleFilter filter);

// Fills target (its size as given) from source, both 1 byte per pixel. The
// scale of each axis is the ratio of the sizes; when shrinking, the filter is
// widened by the inverse scale. support <= 0 takes the filter's own radius.
// The result byte is sum / 257 rounded, or, with outputTable4096, the table's
// entry for the sum reduced to 0..4095. The progress is asked after each row
// of both passes; returns false when it says stop (the target is then only
// partly filled).
bool Resample(const TBitmap& source, TBitmap& target, TResampleFilter filter, double support,
              const uint8_t* outputTable4096, const TBitmapProgress& progress);

}  // namespace zel
