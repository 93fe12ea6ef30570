// The cross-fade: the outgoing slide is drawn as it is, and the incoming
// one, rendered into a work target, is laid over it with an alpha that
// grows with the effect's progress.
#pragma once

#include <cstdint>

#include "effects/draw_filter.h"

namespace zel {

// The incoming slide's alpha at a progress: progress x 255 rounded, within
// 0 .. 255.
uint8_t CrossFadeAlpha(double progress);

class TAlphaFilter : public TDrawFilter {
 protected:
  void DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                          TDrawItem* slideB) override;

 private:
  // The work target over the target rectangle: two triangles, every corner
  // white with the alpha.
  void DrawTargetWithAlpha(T3DDrawer& drawer, TCustomD3DEffecter& effecter, uint8_t alpha) const;
};

}  // namespace zel
