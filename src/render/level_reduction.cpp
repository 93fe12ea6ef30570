#include "render/level_reduction.h"

#include <algorithm>
#include <cstring>

#include "imaging/pixel_format.h"

namespace zel {

namespace {

void BoxReduce2x2(const TBitmap& upper, TBitmap& lower) {
  for (int y = 0; y < lower.Height(); ++y) {
    const uint8_t* row0 = upper.ScanLine(2 * y);
    const uint8_t* row1 = upper.ScanLine(2 * y + 1);
    uint8_t* out = lower.ScanLine(y);
    for (int x = 0; x < lower.Width(); ++x) {
      const uint8_t* a = row0 + 8 * x;
      const uint8_t* b = row1 + 8 * x;
      for (int c = 0; c < 4; ++c) {
        out[4 * x + c] = static_cast<uint8_t>((a[c] + a[c + 4] + b[c] + b[c + 4]) >> 2);
      }
    }
  }
}

// Channels of one pixel, as values to average.
int Decode(TCommonPixelFormat* format, const uint8_t* pixel, int channels[4]) {
  const int bytes = format->BytesPerPixel();
  if (format == FormatB5G6R5()) {
    uint16_t value;
    std::memcpy(&value, pixel, 2);
    channels[0] = value >> 11;
    channels[1] = (value >> 5) & 0x3F;
    channels[2] = value & 0x1F;
    return 3;
  }
  if (bytes == 2) {
    uint16_t value;
    std::memcpy(&value, pixel, 2);
    channels[0] = value;
    return 1;
  }
  for (int c = 0; c < bytes && c < 4; ++c) channels[c] = pixel[c];
  return std::min(bytes, 4);
}

void Encode(TCommonPixelFormat* format, const int channels[4], uint8_t* pixel) {
  const int bytes = format->BytesPerPixel();
  if (format == FormatB5G6R5()) {
    const uint16_t value = static_cast<uint16_t>((channels[0] << 11) | (channels[1] << 5) | channels[2]);
    std::memcpy(pixel, &value, 2);
    return;
  }
  if (bytes == 2) {
    const uint16_t value = static_cast<uint16_t>(channels[0]);
    std::memcpy(pixel, &value, 2);
    return;
  }
  for (int c = 0; c < bytes && c < 4; ++c) pixel[c] = static_cast<uint8_t>(channels[c]);
}

void Resample(const TBitmap& upper, TBitmap& lower) {
  TCommonPixelFormat* format = upper.Format();
  const int bytes = format->BytesPerPixel();
  const bool averaged = format == FormatB5G6R5() || bytes != 2;
  const int sw = upper.Width();
  const int sh = upper.Height();
  const int dw = lower.Width();
  const int dh = lower.Height();
  for (int y = 0; y < dh; ++y) {
    const int y0 = static_cast<int>(static_cast<int64_t>(y) * sh / dh);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * sh / dh));
    uint8_t* out = lower.ScanLine(y);
    for (int x = 0; x < dw; ++x) {
      const int x0 = static_cast<int>(static_cast<int64_t>(x) * sw / dw);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * sw / dw));
      int sums[4] = {};
      int channels[4] = {};
      int used = 0;
      int count = 0;
      for (int sy = y0; sy < std::min(y1, sh); ++sy) {
        const uint8_t* row = upper.ScanLine(sy);
        for (int sx = x0; sx < std::min(x1, sw); ++sx) {
          used = Decode(format, row + static_cast<size_t>(sx) * static_cast<size_t>(bytes), channels);
          for (int c = 0; c < used; ++c) sums[c] += channels[c];
          ++count;
          // A packed format of unknown layout is picked, not averaged.
          if (!averaged) break;
        }
        if (!averaged) break;
      }
      if (count == 0) continue;
      for (int c = 0; c < used; ++c) channels[c] = averaged ? sums[c] / count : sums[c];
      Encode(format, channels, out + static_cast<size_t>(x) * static_cast<size_t>(bytes));
    }
  }
}

}  // namespace

void ReduceLevel(const TBitmap& upper, TBitmap& lower) {
  if (upper.Format() == FormatA8R8G8B8() && lower.Format() == FormatA8R8G8B8() &&
      upper.Width() == 2 * lower.Width() && upper.Height() == 2 * lower.Height()) {
    BoxReduce2x2(upper, lower);
  } else if (upper.Format() == lower.Format()) {
    Resample(upper, lower);
  } else {
    // Levels of one texture share a format; anything else is converted.
    lower.Draw(lower.BoundsRect(), upper, false, {0, 0});
  }
}

}  // namespace zel
