// The frame scene: the slides to draw this frame (one, or two through the
// transition of the incoming one) and the layer above them, on the show's
// background colour, optionally sharpened as a whole.
#pragma once

#include <cstdint>
#include <vector>

#include "draw/draw_item.h"
#include "draw/draw_transition.h"
#include "imaging/color.h"

namespace zel {

class TRootItem : public TDrawItem {
 public:
  // Items in drawing order; the last is the layer above the slides when
  // hasOverlay is set. The transition, when given, leads from the first
  // item to the second.
  void SetScene(std::vector<TDrawItem*> items, TDrawTransition* transition, bool hasOverlay);
  void Clear();
  const std::vector<TDrawItem*>& Items() const noexcept { return fItems; }
  TDrawTransition* Transition() const noexcept { return fTransition; }
  // The scene differs from the one drawn last: other items or a transition
  // under way.
  bool SceneChanged() const noexcept { return fSceneChanged; }
  void MarkDrawn();

  void SetBackground(TColor color) noexcept { fBackground = color; }
  TColor Background() const noexcept { return fBackground; }
  void SetSharpening(float amount, uint8_t threshold) noexcept {
    fSharpenAmount = amount;
    fSharpenThreshold = threshold;
  }

  void Draw(TDeviceDrawer& drawer) override;
  void AfterDraw(TDeviceDrawer& drawer) override;

 private:
  void DrawSlides(TDeviceDrawer& drawer, size_t count);

  std::vector<TDrawItem*> fItems;
  std::vector<TDrawItem*> fPrevious;
  TDrawTransition* fTransition = nullptr;
  bool fHasOverlay = false;
  bool fSceneChanged = true;
  TColor fBackground = 0xFF000000;
  float fSharpenAmount = 0;
  uint8_t fSharpenThreshold = 0;
  bool fFailureLogged = false;
};

}  // namespace zel
