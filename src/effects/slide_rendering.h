// What every drawn transition does around its geometry: the work targets
// are held for one frame and go back to the pool afterwards (also when a
// slide's drawing throws), and a slide is drawn with itself published on
// the drawer for its items.
#pragma once

namespace zel {

class T3DDrawer;
class TCustomD3DEffecter;
class TDrawItem;

class TWorkTargetsHeld {
 public:
  explicit TWorkTargetsHeld(TCustomD3DEffecter& effecter) : fEffecter(effecter) {}
  ~TWorkTargetsHeld();
  TWorkTargetsHeld(const TWorkTargetsHeld&) = delete;
  TWorkTargetsHeld& operator=(const TWorkTargetsHeld&) = delete;

 private:
  TCustomD3DEffecter& fEffecter;
};

// Draws the slide (nothing for none) as the current one of the effect.
void DrawEffectSlide(T3DDrawer& drawer, TDrawItem* slide);

}  // namespace zel
