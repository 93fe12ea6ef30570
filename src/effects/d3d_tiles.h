// The 3D drawer's tile grid: one cell over the whole screen, whose tile
// batches the effect's triangles into the effecter's vertex buffers. Plain
// and mapped triangles sample work target 1, where the drawer rendered the
// slide the effect works on (positions and source points are screen
// pixels); coloured ones have no texture. Drawing may go
// over the drawer's canvas rectangle.
#pragma once

#include <memory>

#include "effects/eff_tiles.h"

namespace zel {

class T3DDrawer;
class TCustomD3DEffecter;

class TD3DTriController : public TEffController {
 public:
  TD3DTriController(T3DDrawer& drawer, TCustomD3DEffecter& effecter);
  TRect GetBounds() const override;

 protected:
  std::unique_ptr<TEffTile> CreateTile(const TRect& rect, int column, int row) override;

 private:
  T3DDrawer& fDrawer;
  TCustomD3DEffecter& fEffecter;
};

}  // namespace zel
