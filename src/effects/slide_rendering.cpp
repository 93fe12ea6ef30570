#include "effects/slide_rendering.h"

#include "render/d3d_effecter.h"
#include "render/drawer_3d.h"

namespace zel {

namespace {

class TEffectSlideSet {
 public:
  TEffectSlideSet(T3DDrawer& drawer, TDrawItem* slide) : fDrawer(drawer) { fDrawer.SetEffectSlide(slide); }
  ~TEffectSlideSet() { fDrawer.SetEffectSlide(nullptr); }
  TEffectSlideSet(const TEffectSlideSet&) = delete;
  TEffectSlideSet& operator=(const TEffectSlideSet&) = delete;

 private:
  T3DDrawer& fDrawer;
};

}  // namespace

TWorkTargetsHeld::~TWorkTargetsHeld() { fEffecter.ReleaseTargets(); }

void DrawEffectSlide(T3DDrawer& drawer, TDrawItem* slide) {
  if (!slide) return;
  TEffectSlideSet published(drawer, slide);
  drawer.Draw(*slide);
}

}  // namespace zel
