#include "effects/draw_filter.h"

#include "draw/device_drawer.h"
#include "render/drawer_3d.h"

namespace zel {

void TDrawFilter::Init(const TRect& workingRect, float smoothWidth, double duration) {
  fWorkingRect = workingRect;
  fSmoothWidth = smoothWidth;
  fDuration = static_cast<float>(duration);
  fReciprocal = fDuration != 0 ? 1.0 / fDuration : 0.0;
  fTime = 0;
}

void TDrawFilter::SetTime(double time) {
  // Written so that NaN fails the first test and becomes 0.
  if (!(time >= 0)) {
    fTime = 0;
  } else if (time > fDuration) {
    fTime = fDuration;
  } else {
    fTime = static_cast<float>(time);
  }
}

void TDrawFilter::Draw(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) {
  auto* drawer3d = dynamic_cast<T3DDrawer*>(&drawer);
  if (drawer3d && drawer3d->IsReady()) {
    DrawWithController(*drawer3d, drawer3d->Effecter(), slideA, slideB);
    return;
  }
  // No work targets here: the incoming slide over the outgoing one.
  if (slideA) drawer.Draw(*slideA);
  if (slideB) drawer.Draw(*slideB);
}

}  // namespace zel
