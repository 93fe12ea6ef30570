#include "effects/alpha_filter.h"

#include <cmath>

#include "effects/slide_rendering.h"
#include "render/d3d_effecter.h"
#include "render/drawer_3d.h"

namespace zel {

uint8_t CrossFadeAlpha(double progress) {
  const double alpha = std::round(progress * 255.0);
  if (!(alpha > 0)) return 0;
  return alpha >= 255 ? 255 : static_cast<uint8_t>(alpha);
}

void TAlphaFilter::DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                                      TDrawItem* slideB) {
  TWorkTargetsHeld held(effecter);
  DrawEffectSlide(drawer, slideA);
  effecter.RenderSlide(EdgeRepeat(), [&] { DrawEffectSlide(drawer, slideB); });
  DrawTargetWithAlpha(drawer, effecter, CrossFadeAlpha(Progress()));
}

void TAlphaFilter::DrawTargetWithAlpha(T3DDrawer& drawer, TCustomD3DEffecter& effecter, uint8_t alpha) const {
  TCustomTexture* textures[1] = {effecter.WorkTarget(1)};
  const TRect& dest = TargetRect();
  if (!textures[0] || dest.IsEmpty()) return;
  T3DScreen& screen = drawer.Screen();
  // What the screen's batcher still holds lies under the fade.
  screen.Batcher().Flush();
  const TFloatPoint a = screen.ScreenToSpace({static_cast<float>(dest.Left), static_cast<float>(dest.Top)});
  const TFloatPoint b = screen.ScreenToSpace({static_cast<float>(dest.Right), static_cast<float>(dest.Bottom)});
  const TScreenPoint corners[4] = {{a.x, a.y, 0}, {b.x, a.y, 0}, {b.x, b.y, 0}, {a.x, b.y, 0}};
  // The work target was rendered with its origin at the area's corner.
  const TRect& area = effecter.Area();
  const float l = static_cast<float>(dest.Left - area.Left), t = static_cast<float>(dest.Top - area.Top);
  const float r = static_cast<float>(dest.Right - area.Left), bt = static_cast<float>(dest.Bottom - area.Top);
  const TFloatPoint texCorners[4] = {{l, t}, {r, t}, {r, bt}, {l, bt}};
  const TColor color = MakeColor(255, 255, 255, alpha);
  const TColor colors[3] = {color, color, color};
  static constexpr int kTriangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  TVertexBuffer& batcher = effecter.TexturedBatcher();
  batcher.Begin(textures);
  for (const auto& triangle : kTriangles) {
    const TScreenPoint points[3] = {corners[triangle[0]], corners[triangle[1]], corners[triangle[2]]};
    const TTriangleCoords coords[1] = {{{texCorners[triangle[0]], texCorners[triangle[1]], texCorners[triangle[2]]}}};
    batcher.AddTriangle(points, colors, coords);
  }
  batcher.Flush();
}

}  // namespace zel
