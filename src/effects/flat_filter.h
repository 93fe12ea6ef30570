// A drawn transition whose geometry is flat triangles (the masks, the
// mosaic, the slide-in and the push): the slides are drawn in the order
// the effect needs, the one the effect works on rendered into the work
// target, and the geometry then shows it through the 3D drawer's tiles.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/draw_filter.h"
#include "effects/mask_filters.h"

namespace zel {

class TFlatFilter : public TDrawFilter {
 public:
  explicit TFlatFilter(std::unique_ptr<TFlatGeometry> geometry) : fGeometry(std::move(geometry)) {}
  const TFlatGeometry& Geometry() const noexcept { return *fGeometry; }
  // The push moves the outgoing slide too, in this direction.
  void SetPushDirection(int32_t direction) noexcept {
    fPush = true;
    fDirection = direction;
  }

 protected:
  void DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                          TDrawItem* slideB) override;

 private:
  std::unique_ptr<TFlatGeometry> fGeometry;
  bool fPush = false;
  int32_t fDirection = 0;
};

}  // namespace zel
