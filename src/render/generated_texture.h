// A texture whose content is a function of the pixel position: plain
// colours, gradients and patterns made without a picture.
#pragma once

#include <functional>

#include "render/custom_texture.h"

namespace zel {

// The colour as one pixel of a device texture's bitmap format: 32-bit
// ARGB as it is, 8-bit luminance as the mean of red, green and blue,
// 16-bit 5-6-5 with red in the high bits.
void WriteDevicePixel(TBitmap& bitmap, int x, int y, TColor color);
TColor ReadDevicePixel(const TBitmap& bitmap, int x, int y);

class TGeneratedTexture : public TCustomTexture {
 public:
  using TGenerator = std::function<TColor(int x, int y)>;
  TGeneratedTexture(T3DScreen* screen, uint8_t kind, int width, int height, TGenerator generator);
  void FillLevel(TBitmap& level) override;
  // How often the content was written: once per device texture made.
  int FillCount() const { return fFillCount; }

 private:
  TGenerator fGenerator;
  int fFillCount = 0;
};

}  // namespace zel
