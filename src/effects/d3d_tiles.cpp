#include "effects/d3d_tiles.h"

#include <array>

#include "imaging/color.h"
#include "render/d3d_effecter.h"
#include "render/drawer_3d.h"
#include "render/screen.h"

namespace zel {

namespace {

uint8_t ByteOf(float value) {
  if (!(value > 0)) return 0;
  return value >= 255 ? 255 : static_cast<uint8_t>(value + 0.5f);
}

class TD3DTriTile : public TEffTile {
 public:
  TD3DTriTile(TEffController& controller, const TRect& rect, T3DDrawer& drawer, TCustomD3DEffecter& effecter)
      : TEffTile(controller, rect, 0, 0), fDrawer(drawer), fEffecter(effecter) {}

  void BeginTriangles(bool textured, bool fullModulation) override {
    (void)fullModulation;  // the batcher always multiplies colour and alpha
    // What the screen's batcher still holds lies under the effect.
    fDrawer.Screen().Batcher().Flush();
    fTextured = textured;
    if (textured) {
      TCustomTexture* textures[1] = {fEffecter.WorkTarget(1)};
      fEffecter.TexturedBatcher().Begin(textures);
    } else {
      fEffecter.PlainBatcher().Begin(std::span<TCustomTexture* const>{});
    }
  }

  void AddTriangle(const TEffTriangle& v) override {
    const TScreenPoint points[3] = {Space(v[0].x, v[0].y, 0), Space(v[1].x, v[1].y, 0), Space(v[2].x, v[2].y, 0)};
    const TColor colors[3] = {White(v[0].alpha), White(v[1].alpha), White(v[2].alpha)};
    const TTriangleCoords coords[1] = {{{Source(v[0].x, v[0].y), Source(v[1].x, v[1].y), Source(v[2].x, v[2].y)}}};
    Batcher().AddTriangle(points, colors, coords);
  }

  void AddColouredTriangle(const std::array<TEffPoint, 3>& p, const TEffColours& c) override {
    AddColouredTriangle3D({TEffPoint3D{p[0].x, p[0].y, 0}, {p[1].x, p[1].y, 0}, {p[2].x, p[2].y, 0}}, c);
  }

  void AddMappedTriangle(const std::array<TEffSourcePoint, 3>& source, const std::array<TEffPoint, 3>& d) override {
    AddMappedTriangle3D(source, {TEffPoint3D{d[0].x, d[0].y, 0}, {d[1].x, d[1].y, 0}, {d[2].x, d[2].y, 0}});
  }

  void AddColouredTriangle3D(const std::array<TEffPoint3D, 3>& p, const TEffColours& c) override {
    const TScreenPoint points[3] = {Space(p[0].x, p[0].y, p[0].z), Space(p[1].x, p[1].y, p[1].z),
                                    Space(p[2].x, p[2].y, p[2].z)};
    const TColor colors[3] = {c[0], c[1], c[2]};
    Batcher().AddTriangle(points, colors, {});
  }

  void AddMappedTriangle3D(const std::array<TEffSourcePoint, 3>& s, const std::array<TEffPoint3D, 3>& d) override {
    const TScreenPoint points[3] = {Space(d[0].x, d[0].y, d[0].z), Space(d[1].x, d[1].y, d[1].z),
                                    Space(d[2].x, d[2].y, d[2].z)};
    const TColor colors[3] = {Grey(s[0].brightness), Grey(s[1].brightness), Grey(s[2].brightness)};
    const TTriangleCoords coords[1] = {{{Source(s[0].x, s[0].y), Source(s[1].x, s[1].y), Source(s[2].x, s[2].y)}}};
    Batcher().AddTriangle(points, colors, coords);
  }

  void EndTriangles() override { Batcher().Flush(); }

 private:
  TVertexBuffer& Batcher() { return fTextured ? fEffecter.TexturedBatcher() : fEffecter.PlainBatcher(); }
  TScreenPoint Space(float x, float y, float z) const {
    const TFloatPoint p = fDrawer.Screen().ScreenToSpace({x, y});
    return {p.x, p.y, z};
  }
  // The work target was rendered with its origin at the area's corner.
  TFloatPoint Source(float x, float y) const {
    const TRect& area = fEffecter.Area();
    return {x - static_cast<float>(area.Left), y - static_cast<float>(area.Top)};
  }
  static TColor White(float alpha) { return MakeColor(255, 255, 255, ByteOf(alpha)); }
  static TColor Grey(float brightness) {
    const uint8_t g = ByteOf(brightness);
    return MakeColor(g, g, g, 255);
  }

  T3DDrawer& fDrawer;
  TCustomD3DEffecter& fEffecter;
  bool fTextured = true;
};

}  // namespace

TD3DTriController::TD3DTriController(T3DDrawer& drawer, TCustomD3DEffecter& effecter)
    : fDrawer(drawer), fEffecter(effecter) {
  const TRect& area = effecter.Area();
  const float columns[2] = {static_cast<float>(area.Left), static_cast<float>(area.Right)};
  const float rows[2] = {static_cast<float>(area.Top), static_cast<float>(area.Bottom)};
  SetGrid(columns, rows);
}

TRect TD3DTriController::GetBounds() const { return fEffecter.Bounds(); }

std::unique_ptr<TEffTile> TD3DTriController::CreateTile(const TRect& rect, int column, int row) {
  (void)column;
  (void)row;
  return std::make_unique<TD3DTriTile>(*this, rect, fDrawer, fEffecter);
}

}  // namespace zel
