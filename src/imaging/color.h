// Helpers on 32-bit colour values 0xAARRGGBB (blue in the low byte, as the
// bytes of a 32-bit pixel lie in memory: blue, green, red, alpha).
#pragma once

#include <cstdint>
#include <span>

namespace zel {

using TColor = uint32_t;

constexpr TColor MakeColor(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr uint32_t AlphaOf(TColor c) { return c >> 24; }
constexpr uint32_t RedOf(TColor c) { return (c >> 16) & 0xFF; }
constexpr uint32_t GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr uint32_t BlueOf(TColor c) { return c & 0xFF; }

constexpr TColor SetAlpha(TColor c, uint32_t a) { return (c & 0x00FFFFFF) | ((a & 0xFF) << 24); }
constexpr TColor NoAlpha(TColor c) { return c & 0x00FFFFFF; }
// Red and blue exchanged; the alpha byte is cleared.
constexpr TColor SwapRB(TColor c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
constexpr bool SameRGB(TColor a, TColor b) { return ((a ^ b) & 0x00FFFFFF) == 0; }

// Per channel (c1 + c2) / 2, alpha included.
TColor AverageColor(TColor c1, TColor c2);
// Per channel c1 + (c2 - c1) * k / 256, alpha included; k in 0..256.
TColor MixColor(TColor c1, TColor c2, int k);
// Straight-alpha "source over": colour laid onto a 32-bit pixel.
TColor BlendOver(TColor pixel, TColor color);

// Premultiplies a row of 32-bit pixels in place; opaque pixels are left as
// they are.
void PremultiplyRow(std::span<uint32_t> row);
void PremultiplyRow(uint8_t* row, int count);

}  // namespace zel
