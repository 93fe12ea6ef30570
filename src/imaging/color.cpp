#include "imaging/color.h"

#include <algorithm>
#include <cstring>

namespace zel {

TColor AverageColor(TColor c1, TColor c2) {
  TColor result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t a = (c1 >> shift) & 0xFF;
    const uint32_t b = (c2 >> shift) & 0xFF;
    result |= ((a + b) >> 1) << shift;
  }
  return result;
}

TColor MixColor(TColor c1, TColor c2, int k) {
  k = std::clamp(k, 0, 256);
  TColor result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((c1 >> shift) & 0xFF);
    const int b = static_cast<int>((c2 >> shift) & 0xFF);
    const int v = a + ((b - a) * k) / 256;  // C++ division truncates toward zero
    result |= static_cast<uint32_t>(std::clamp(v, 0, 255)) << shift;
  }
  return result;
}

TColor BlendOver(TColor pixel, TColor color) {
  const int a = static_cast<int>(AlphaOf(color));
  if (a == 0) return pixel;
  const int b = static_cast<int>(AlphaOf(pixel));
  if (a == 255 || b == 0) return color;
  TColor result = 0;
  if (b == 255) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int p = static_cast<int>((pixel >> shift) & 0xFF);
      const int c = static_cast<int>((color >> shift) & 0xFF);
      // An arithmetic shift: a darker colour pulls the channel down.
      const int v = p + (((c - p) * a) >> 8);
      result |= static_cast<uint32_t>(std::clamp(v, 0, 255)) << shift;
    }
    return result | 0xFF000000u;
  }
  const int f = a + b - ((a * b) >> 8);
  const int64_t scale = 65536 / f;
  for (int shift = 0; shift < 24; shift += 8) {
    const int64_t p = (pixel >> shift) & 0xFF;
    const int64_t c = (color >> shift) & 0xFF;
    const int64_t v = (scale * (b * p + a * (c - b * p / 256))) >> 16;
    result |= static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 255)) << shift;
  }
  const uint32_t alpha = f >= 256 ? 255u : static_cast<uint32_t>(f);
  return result | (alpha << 24);
}

void PremultiplyRow(uint8_t* row, int count) {
  for (int i = 0; i < count; ++i, row += 4) {
    const uint32_t alpha = row[3];
    if (alpha == 255) continue;
    row[0] = static_cast<uint8_t>((row[0] * alpha) >> 8);
    row[1] = static_cast<uint8_t>((row[1] * alpha) >> 8);
    row[2] = static_cast<uint8_t>((row[2] * alpha) >> 8);
  }
}

void PremultiplyRow(std::span<uint32_t> row) {
  for (uint32_t& pixel : row) {
    const uint32_t alpha = pixel >> 24;
    if (alpha == 255) continue;
    const uint32_t r = (((pixel >> 16) & 0xFF) * alpha) >> 8;
    const uint32_t g = (((pixel >> 8) & 0xFF) * alpha) >> 8;
    const uint32_t b = ((pixel & 0xFF) * alpha) >> 8;
    pixel = (alpha << 24) | (r << 16) | (g << 8) | b;
  }
}

}  // namespace zel
