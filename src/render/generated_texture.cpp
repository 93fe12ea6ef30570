#include "render/generated_texture.h"

#include <cstring>

#include "imaging/pixel_format.h"

namespace zel {

void WriteDevicePixel(TBitmap& bitmap, int x, int y, TColor color) {
  uint8_t* row = bitmap.ScanLine(y);
  switch (bitmap.Format()->BytesPerPixel()) {
    case 1: row[x] = static_cast<uint8_t>((RedOf(color) + GreenOf(color) + BlueOf(color)) / 3); break;
    case 2: {
      const uint16_t value =
          static_cast<uint16_t>(((RedOf(color) >> 3) << 11) | ((GreenOf(color) >> 2) << 5) | (BlueOf(color) >> 3));
      std::memcpy(row + 2 * x, &value, 2);
      break;
    }
    default: std::memcpy(row + 4 * x, &color, 4); break;
  }
}

TColor ReadDevicePixel(const TBitmap& bitmap, int x, int y) {
  const uint8_t* row = bitmap.ScanLine(y);
  switch (bitmap.Format()->BytesPerPixel()) {
    case 1: return MakeColor(row[x], row[x], row[x]);
    case 2: {
      uint16_t value;
      std::memcpy(&value, row + 2 * x, 2);
      return MakeColor(((value >> 11) & 0x1F) << 3, ((value >> 5) & 0x3F) << 2, (value & 0x1F) << 3);
    }
    default: {
      TColor color;
      std::memcpy(&color, row + 4 * x, 4);
      return color;
    }
  }
}

TGeneratedTexture::TGeneratedTexture(T3DScreen* screen, uint8_t kind, int width, int height, TGenerator generator)
    : TCustomTexture(screen, kind), fGenerator(std::move(generator)) {
  SetSize(width, height);
}

void TGeneratedTexture::FillLevel(TBitmap& level) {
  ++fFillCount;
  for (int y = 0; y < level.Height(); ++y) {
    for (int x = 0; x < level.Width(); ++x) WriteDevicePixel(level, x, y, fGenerator(x, y));
  }
}

}  // namespace zel
