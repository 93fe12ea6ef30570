// Viewports: containers whose content is seen only through their masks.
#pragma once

#include <vector>

#include "show/zel_object.h"

namespace zel {

class TZelMask;

class TZelViewPort : public TZelObject {
 public:
  using TZelObject::TZelObject;

  // The mask children found at the last draw.
  const std::vector<TZelMask*>& Masks() const noexcept { return fMasks; }

  // Draws the children other than masks into an off-screen picture and
  // the drawer combines it with the masks; nothing at all while the
  // viewport is not drawable, at opacity 0, or without a mask that is
  // shown at an opacity above 0.
  void Draw(TDeviceDrawer& drawer) override;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;

 private:
  void CollectMasks();

  std::vector<TZelMask*> fMasks;
};

}  // namespace zel
