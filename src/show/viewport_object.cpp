#include "show/viewport_object.h"

#include "core/log.h"
#include "ini/ini_document.h"
#include "show/picture_object.h"

namespace zel {

namespace {

// What the drawer draws through the masks: the viewport's other children.
class TViewportContent : public TDrawItem {
 public:
  explicit TViewportContent(const std::vector<TZelObject*>& children) : fChildren(children) {}
  void Draw(TDeviceDrawer& drawer) override {
    for (TZelObject* child : fChildren) drawer.Draw(*child);
  }

 private:
  const std::vector<TZelObject*>& fChildren;
};

}  // namespace

void TZelViewPort::ReadKindKeys(const TIniIdentList& keys) {
  const TObjectSize current = Size();
  const TIniPoint size = keys.ReadPoint(u"Size", {current.width, current.height});
  SetSize({size.x, size.y});
}

void TZelViewPort::CollectMasks() {
  // Video masks join the list when video objects can draw.
  fMasks.clear();
  for (TZelObject* child : Children())
    if (auto* mask = dynamic_cast<TZelMask*>(child)) fMasks.push_back(mask);
}

void TZelViewPort::Draw(TDeviceDrawer& drawer) {
  CollectMasks();
  ResetChangeTracking(false);
  const float opacity = EffectiveOpacity();
  if (!Drawable() || opacity <= 0) return;
  std::vector<TMaskLayer> layers;
  for (const TZelMask* mask : fMasks) {
    if (!mask->Drawable() || mask->Opacity() <= 0) continue;
    TMaskLayer layer;
    if (mask->MaskLayer(opacity * mask->Opacity() / 100.0f, layer)) layers.push_back(layer);
  }
  if (layers.empty()) return;
  std::vector<TZelObject*> content;
  for (TZelObject* child : Children())
    if (!dynamic_cast<TZelMask*>(child)) content.push_back(child);
  TViewportContent item(content);
  drawer.DrawMask(layers, item, nullptr);
}

}  // namespace zel
