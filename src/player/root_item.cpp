#include "player/root_item.h"

#include "core/log.h"
#include "draw/device_drawer.h"

namespace zel {

void TRootItem::SetScene(std::vector<TDrawItem*> items, TDrawTransition* transition, bool hasOverlay) {
  fSceneChanged = items != fPrevious || transition != nullptr;
  fItems = std::move(items);
  fTransition = transition;
  fHasOverlay = hasOverlay;
}

void TRootItem::Clear() {
  fItems.clear();
  fTransition = nullptr;
  fHasOverlay = false;
}

void TRootItem::MarkDrawn() {
  fPrevious = fItems;
  fSceneChanged = false;
}

void TRootItem::DrawSlides(TDeviceDrawer& drawer, size_t count) {
  size_t next = 0;
  if (fTransition && count >= 2) {
    drawer.DrawTransition(fItems[0], fItems[1], *fTransition);
    next = 2;
  }
  for (; next < count; ++next) drawer.Draw(*fItems[next]);
}

void TRootItem::Draw(TDeviceDrawer& drawer) {
  try {
    // The background first: it shows wherever no slide lies (letterboxing)
    // and under slides that do not cover their area.
    drawer.Clear(fBackground, true);
    const size_t slides = fHasOverlay && !fItems.empty() ? fItems.size() - 1 : fItems.size();
    const bool sharpen = fSharpenAmount > 0;
    if (sharpen) drawer.BeginSharpen();
    DrawSlides(drawer, slides);
    if (sharpen) drawer.EndSharpen(fSharpenThreshold, fSharpenAmount);
    if (fHasOverlay && !fItems.empty()) drawer.Draw(*fItems.back());
  } catch (const std::exception& e) {
    // A frame that fails is abandoned; the next one is drawn anew. Said
    // once: a failure tends to repeat every frame.
    if (!fFailureLogged) Log().Write(std::string("frame not drawn: ") + e.what());
    fFailureLogged = true;
  }
}

void TRootItem::AfterDraw(TDeviceDrawer& drawer) {
  // A transition's effect (a custom effect's scene) hears of every frame.
  if (fTransition) fTransition->AfterDraw(drawer);
}

}  // namespace zel
