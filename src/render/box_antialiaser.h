// Soft-edged boxes. A white 256 x 256 texture is spread over the box and
// drawn through the soft-edge grid with the box's four corner colours as
// vertex colours, so a box's edges fade over one pixel as a picture's do.
#pragma once

#include <memory>

#include "core/obj.h"
#include "draw/geometry.h"
#include "imaging/bitmap.h"
#include "imaging/color.h"
#include "render/custom_texture.h"

namespace zel {

// The texture of the antialiaser: its level is filled from the
// antialiaser's white bitmap.
class TBoxAntiTexture : public TCustomTexture {
 public:
  static constexpr int kSize = 256;
  TBoxAntiTexture(T3DScreen* screen, const TBitmap& source);
  void FillLevel(TBitmap& level) override;

 private:
  const TBitmap& fSource;
};

class TBoxAntialiaser : public TObj {
 public:
  // The screen is required.
  explicit TBoxAntialiaser(T3DScreen* screen);
  ~TBoxAntialiaser() override;
  // The box from its top-left corner along the two axes, each the whole
  // side; edges: left, top, right, bottom; colours (ARGB): top-left,
  // top-right, bottom-right, bottom-left.
  void DrawBox(const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY, const bool (&edges)[4],
               const TColor (&colors)[4]);

  const TBitmap& Bitmap() const { return *fBitmap; }
  TBoxAntiTexture& Texture() { return *fTexture; }

 private:
  T3DScreen* fScreen;
  std::unique_ptr<TBitmap> fBitmap;
  std::unique_ptr<TBoxAntiTexture> fTexture;
};

}  // namespace zel
