#include "effects/flat_filter.h"

#include "effects/d3d_tiles.h"
#include "effects/slide_rendering.h"
#include "render/d3d_effecter.h"
#include "render/drawer_3d.h"

namespace zel {

void TFlatFilter::DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                                     TDrawItem* slideB) {
  TWorkTargetsHeld held(effecter);
  // A reversed effect takes the outgoing slide away over the incoming one.
  TDrawItem* direct = Reverse() ? slideB : slideA;
  TDrawItem* through = Reverse() ? slideA : slideB;
  if (fPush) {
    const TRect canvas = TargetRect();
    const TEffPoint offset = PushOffsetOfOutgoing(fDirection, static_cast<float>(canvas.Width()),
                                                  static_cast<float>(canvas.Height()), Progress());
    drawer.SetOffset(offset.x, offset.y);
    DrawEffectSlide(drawer, direct);
    drawer.SetOffset(0, 0);
  } else {
    DrawEffectSlide(drawer, direct);
  }
  effecter.RenderSlide(EdgeRepeat(), [&] { DrawEffectSlide(drawer, through); });
  fGeometry->SetTargetRect(TargetRect());
  TD3DTriController controller(drawer, effecter);
  fGeometry->DrawGeometry(controller, Progress());
}

}  // namespace zel
