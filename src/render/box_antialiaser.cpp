#include "render/box_antialiaser.h"

#include "imaging/pixel_format.h"
#include "render/screen.h"
#include "render/soft_edges.h"
#include "render/vertex_buffer.h"

namespace zel {

TBoxAntiTexture::TBoxAntiTexture(T3DScreen* screen, const TBitmap& source)
    : TCustomTexture(screen, kTexKindPicture), fSource(source) {
  SetSize(kSize, kSize);
}

void TBoxAntiTexture::FillLevel(TBitmap& level) { level.Draw(level.BoundsRect(), fSource, false, {0, 0}); }

namespace {

std::unique_ptr<TBitmap> WhiteBitmap() {
  auto bitmap = std::make_unique<TDirectBitmap>(TBoxAntiTexture::kSize, TBoxAntiTexture::kSize, FormatA8R8G8B8());
  bitmap->Fill(bitmap->BoundsRect(), 0xFFFFFFFF);
  return bitmap;
}

}  // namespace

TBoxAntialiaser::TBoxAntialiaser(T3DScreen* screen) : fScreen(screen), fBitmap(WhiteBitmap()) {
  ZEL_ASSERT(screen != nullptr, "TBoxAntialiaser: Screen=nil");
  fTexture = std::make_unique<TBoxAntiTexture>(screen, *fBitmap);
}

TBoxAntialiaser::~TBoxAntialiaser() = default;

void TBoxAntialiaser::DrawBox(const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY,
                              const bool (&edges)[4], const TColor (&colors)[4]) {
  if (!fTexture->Screen()) return;
  // Axes of one texel: 256 of them span the box, so the texture covers it
  // exactly; the colour comes from the vertices.
  constexpr double kTexel = 1.0 / TBoxAntiTexture::kSize;
  const T3DVector x = axisX * kTexel, y = axisY * kTexel;
  constexpr float kSide = static_cast<float>(TBoxAntiTexture::kSize);
  TSoftEdgeQuad quad;
  quad.Corners[0] = position;
  quad.Corners[1] = position + x * kSide;
  quad.Corners[2] = position + x * kSide + y * kSide;
  quad.Corners[3] = position + y * kSide;
  quad.TexSets = 1;
  quad.Tex[0][0] = {0, 0};
  quad.Tex[0][1] = {kSide, 0};
  quad.Tex[0][2] = {kSide, kSide};
  quad.Tex[0][3] = {0, kSide};
  quad.TexClamp[0] = {0, 0, kSide, kSide};
  for (int i = 0; i < 4; ++i) {
    quad.Colors[i] = colors[i];
    quad.Edges[i] = edges[i];
  }
  TVertexBuffer& batcher = fScreen->Batcher();
  TCustomTexture* textures[1] = {fTexture.get()};
  batcher.Begin(textures);
  // Set after Begin, which draws what was pending with its own flags; put
  // back once this box is drawn, so later batches keep theirs.
  const bool fullModulation = batcher.FullModulation;
  batcher.FullModulation = true;
  DrawSoftEdgeQuad(batcher, fScreen->Perspective(), quad);
  batcher.Flush();
  batcher.FullModulation = fullModulation;
}

}  // namespace zel
