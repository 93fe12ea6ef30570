// The drawer's passes through render targets: whole-item blur at half
// resolution, sharpening, and masks.
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "imaging/bitmap_store.h"
#include "render/drawer_3d.h"
#include "render/tiled_texture.h"

namespace zel {

namespace {

constexpr float kMinimalBlur = 0.00001f;

TFloatRect WholeRect(const TRect& rect) {
  return {static_cast<float>(rect.Left), static_cast<float>(rect.Top), static_cast<float>(rect.Right),
          static_cast<float>(rect.Bottom)};
}

TFloatRect Halved(const TRect& rect) {
  return {rect.Left / 2.0f, rect.Top / 2.0f, rect.Right / 2.0f, rect.Bottom / 2.0f};
}

// Pops the render target pushed last when it goes out of scope.
class TTargetScope {
 public:
  explicit TTargetScope(T3DScreen& screen) : fScreen(screen) {}
  ~TTargetScope() { fScreen.PopRenderTarget(); }
  TTargetScope(const TTargetScope&) = delete;
  TTargetScope& operator=(const TTargetScope&) = delete;

 private:
  T3DScreen& fScreen;
};

// Mask layers go into a premultiplied target, combined by the maximum:
// only premultiplied colours keep a transparent pixel from adding colour.
TImageDrawParams MaskLayerParams(const TMaskLayer& layer) {
  TImageDrawParams params = layer.imageParams;
  params.premultiplied = 1;
  return params;
}

}  // namespace

bool T3DDrawer::PushCleared(TRenderTargetTexture& target) {
  T3DTexture* device = target.GetTexture();
  if (!device || !fScreen->PushRenderTarget(*device, 0, 0)) return false;
  fScreen->Clear(0x00000000, false);
  return true;
}

void T3DDrawer::DrawTargetQuad(std::span<TCustomTexture* const> textures, const TRect& dest,
                               std::span<const TFloatRect> sources) {
  const TFloatPoint a = fScreen->ScreenToSpace({static_cast<float>(dest.Left), static_cast<float>(dest.Top)});
  const TFloatPoint b = fScreen->ScreenToSpace({static_cast<float>(dest.Right), static_cast<float>(dest.Bottom)});
  const TScreenPoint corners[4] = {{a.x, a.y, 0}, {b.x, a.y, 0}, {b.x, b.y, 0}, {a.x, b.y, 0}};
  TVertexBuffer& batcher = fScreen->Batcher();
  batcher.Begin(textures);
  static constexpr int kTriangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  const TColor white[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  for (const auto& triangle : kTriangles) {
    const TScreenPoint points[3] = {corners[triangle[0]], corners[triangle[1]], corners[triangle[2]]};
    TTriangleCoords sets[TVertexBuffer::kMaxTextures];
    for (size_t t = 0; t < sources.size(); ++t) {
      const TFloatRect& s = sources[t];
      const TFloatPoint texCorners[4] = {{s.left, s.top}, {s.right, s.top}, {s.right, s.bottom}, {s.left, s.bottom}};
      for (int k = 0; k < 3; ++k) sets[t].P[k] = texCorners[triangle[k]];
    }
    batcher.AddTriangle(points, white, std::span<const TTriangleCoords>(sets, sources.size()));
  }
  batcher.Flush();
}

void T3DDrawer::DrawItemContent(TDrawItem& item) {
  const float blur = item.GetBlur();
  // A blurred object keeps its blur when the whole frame is sharpened: the
  // blur runs on targets of its own inside the sharpening pass.
  const bool blurInsideSharpening = blur >= kMinimalBlur && fSharpenTarget && !fBlurring;
  const bool pass = blurInsideSharpening || (!fBusy && (std::fabs(blur) >= kMinimalBlur || (blur < 0 && !fSharpenTarget)));
  if (!pass || !IsReady()) {
    TDeviceDrawer::DrawItemContent(item);
    return;
  }
  const double width = CanvasSizeSet() ? CanvasSize().X : ViewRect().Width();
  if (blur > 0) {
    Notify(&item, TFrameStage::BeforeItem);
    BlurPass(item, blur / 1000.0 * width);
    Notify(&item, TFrameStage::AfterItem);
    return;
  }
  BeginSharpen();
  try {
    TDeviceDrawer::DrawItemContent(item);
  } catch (...) {
    if (fSharpenTarget) {
      fScreen->PopRenderTarget();
      fSharpenTarget.reset();
      fBusy = false;
    }
    throw;
  }
  EndSharpen(0, static_cast<float>(-(blur / 100.0) * width));
}

void T3DDrawer::BlurPass(TDrawItem& item, double radius) {
  struct TIdle {
    bool& busy;
    bool& blurring;
    bool outerBusy;
    ~TIdle() {
      busy = outerBusy;
      blurring = false;
    }
  } idle{fBusy, fBlurring, fBusy};
  fBusy = true;
  fBlurring = true;
  ResetDrawnArea();
  TPooledRenderTarget full = fFullTargets.Acquire(fScreen.get(), true);
  if (!PushCleared(*full)) {
    item.Draw(*this);
    return;
  }
  {
    TTargetScope scope(*fScreen);
    item.Draw(*this);
  }
  if (fDrawnArea.IsEmpty()) return;
  // The blur spreads beyond what was drawn: three taps a pass at every
  // step, at half resolution, and a pixel for filtering. Cutting the result
  // at the drawn area would leave a hard edge around a blurred item.
  const TBlurPlan plan = PlanBlur(radius);
  const int reach = plan.Method == TBlurMethod::Mix ? 2 : 2 * 3 * ((2 << plan.DoublePasses) - 1) + 2;
  fDrawnArea = TRect{fDrawnArea.Left - reach, fDrawnArea.Top - reach, fDrawnArea.Right + reach, fDrawnArea.Bottom + reach}
                   .Intersect(ScreenRect());
  TPooledRenderTarget half = fHalfTargets.Acquire(fScreen.get(), true);
  if (!PushCleared(*half)) return;
  {
    TTargetScope scope(*fScreen);
    const TRect& screen = ScreenRect();
    TCustomTexture* textures[1] = {full.get()};
    const TFloatRect source = WholeRect(screen);
    DrawTargetQuad(textures, {0, 0, screen.Width() / 2, screen.Height() / 2}, std::span(&source, 1));
  }
  BlurHalfImage(plan, *full, *half);
}

void T3DDrawer::BlurHalfImage(const TBlurPlan& plan, TRenderTargetTexture& full, TRenderTargetTexture& half) {
  if (plan.Method == TBlurMethod::Mix) {
    TShader* mix = Shader(TDrawerShader::GaussMix);
    if (!mix) return;
    UseShader(mix);
    const float constants[4] = {static_cast<float>(plan.MixAlpha), 0, 0, 0};
    SetShaderConstants(constants);
    TCustomTexture* textures[2] = {&full, &half};
    const TFloatRect sources[2] = {WholeRect(fDrawnArea), Halved(fDrawnArea)};
    DrawTargetQuad(textures, fDrawnArea, sources);
    UseShader(nullptr);
    return;
  }
  TPooledRenderTarget other = fHalfTargets.Acquire(fScreen.get(), true);
  for (int i = 0; i < plan.DoublePasses; ++i) {
    SeparablePass(TDrawerShader::GaussBlurH7, half, *other, 1.0, 1 << i);
    SeparablePass(TDrawerShader::GaussBlurV7, *other, half, 1.0, 1 << i);
  }
  const int step = 1 << plan.DoublePasses;
  SeparablePass(TDrawerShader::GaussBlurH7, half, *other, plan.FinalWeight, step);
  // The final vertical pass stays at half size and the result is then
  // stretched over the drawn area: linear filtering and the blur are both
  // weighted sums, so the order gives the same picture, and the seven reads
  // a pixel are made on a quarter of the pixels.
  SeparablePass(TDrawerShader::GaussBlurV7, *other, half, plan.FinalWeight, step);
  TCustomTexture* textures[1] = {&half};
  const TFloatRect source = Halved(fDrawnArea);
  DrawTargetQuad(textures, fDrawnArea, std::span(&source, 1));
}

void T3DDrawer::SeparablePass(TDrawerShader shader, TRenderTargetTexture& from, TRenderTargetTexture& to,
                              double weight, int step) {
  TShader* program = Shader(shader);
  if (!program || !PushCleared(to)) return;
  const int halfWidth = ScreenRect().Width() / 2, halfHeight = ScreenRect().Height() / 2;
  const T3DSize device = from.DeviceSize();
  const float texelX = 1.0f / static_cast<float>(device.Width), texelY = 1.0f / static_cast<float>(device.Height);
  const bool horizontal = shader == TDrawerShader::GaussBlurH7;
  const auto weights = BlurWeights(weight);
  const float constants[12] = {weights[0], weights[1], weights[2], weights[3],
                               static_cast<float>(step) * (horizontal ? texelX : texelY), 0, 0, 0,
                               0.5f * texelX, 0.5f * texelY, (static_cast<float>(halfWidth) - 0.5f) * texelX,
                               (static_cast<float>(halfHeight) - 0.5f) * texelY};
  UseShader(program);
  SetShaderConstants(constants);
  TCustomTexture* textures[1] = {&from};
  const TFloatRect source{0, 0, static_cast<float>(halfWidth), static_cast<float>(halfHeight)};
  DrawTargetQuad(textures, {0, 0, halfWidth, halfHeight}, std::span(&source, 1));
  UseShader(nullptr);
  fScreen->PopRenderTarget();
}

void T3DDrawer::BeginSharpen() {
  if (fShaderLevel < 2 || fSharpenTarget || !IsReady() || !Shader(TDrawerShader::Unsharp)) return;
  fSharpenTarget = fFullTargets.Acquire(fScreen.get(), true);
  if (!PushCleared(*fSharpenTarget)) {
    fSharpenTarget.reset();
    return;
  }
  fBusy = true;
}

void T3DDrawer::EndSharpen(float threshold, float amount) {
  if (!fSharpenTarget) return;
  Log().WriteFloat("apply unsharp, amount= ", amount);
  fScreen->PopRenderTarget();
  fBusy = false;
  TPooledRenderTarget target = std::move(fSharpenTarget);
  const T3DSize device = target->DeviceSize();
  const float constants[12] = {1.0f / static_cast<float>(device.Width), 1.0f / static_cast<float>(device.Height), 0, 0,
                               threshold / 256.0f, 0, 0, 0, amount / 100.0f, 0, 0, 0};
  UseShader(Shader(TDrawerShader::Unsharp));
  SetShaderConstants(constants);
  TCustomTexture* textures[1] = {target.get()};
  const TFloatRect source = WholeRect(ScreenRect());
  DrawTargetQuad(textures, ScreenRect(), std::span(&source, 1));
  UseShader(nullptr);
}

void T3DDrawer::DrawMaskLayers(std::span<const TMaskLayer> layers) {
  for (const TMaskLayer& layer : layers) {
    const TDrawPlane& p = layer.plane;
    if (layer.picture) {
      DrawImage(*layer.picture, p.position, MaskLayerParams(layer), p.axisX, p.axisY, p.anchor);
    } else if (layer.video) {
      DrawVideo(*layer.video, p.position, layer.videoParams, p.axisX, p.axisY, p.anchor);
    }
  }
}

bool T3DDrawer::DrawSingleLayerMask(const TMaskLayer& layer, TRenderTargetTexture& content) {
  // The picture alone can mask the item when it lies flat and covers the
  // canvas at screen size pixel for pixel: the item's target is then its
  // partner texture.
  const TDrawPlane& p = layer.plane;
  if (!layer.picture || fScreen->HasCanvas()) return false;
  if (p.position.z != 0 || !(p.axisX == T3DVector{1, 0, 0}) || !(p.axisY == T3DVector{0, 1, 0})) return false;
  const TImageDrawParams params = MaskLayerParams(layer);
  TMultiTexture6* texture = TextureFor(*layer.picture, params);
  if (!texture || texture->Level() != 0) return false;
  const TFloatRect& s = layer.imageParams.source;
  const TFloatRect source = s.Empty() ? TFloatRect{0, 0, static_cast<float>(texture->SourceView()->Width()),
                                                   static_cast<float>(texture->SourceView()->Height())}
                                      : s;
  const TRect& screen = ScreenRect();
  const bool covers = source.right - source.left == static_cast<float>(screen.Width()) &&
                      source.bottom - source.top == static_cast<float>(screen.Height()) &&
                      p.position.x + Offset().x + (source.left - p.anchor.x) == 0 &&
                      p.position.y + Offset().y + (source.top - p.anchor.y) == 0;
  if (!covers) return false;
  if (!ApplyImageState(*texture, params)) return true;
  texture->SetPartner(&content, {0, 0}, screen);
  const T3DVector at = p.position + T3DVector{Offset().x, Offset().y, 0};
  texture->Draw(at, p.anchor, source, p.axisX, p.axisY);
  fScreen->Batcher().Flush();
  texture->SetPartner(nullptr, {0, 0}, {});
  return true;
}

void T3DDrawer::DrawMask(std::span<const TMaskLayer> layers, TDrawItem& item, const TMaskGrid* grid) {
  if (!IsReady()) return;
  TPooledRenderTarget content = fFullTargets.Acquire(fScreen.get(), true);
  if (!PushCleared(*content)) return;
  {
    TTargetScope scope(*fScreen);
    if (grid && grid->picture && grid->cellWidth > 0 && grid->cellHeight > 0) {
      const T3DSize space = fScreen->PixelSpaceSize();
      TImageDrawParams cell;
      const T3DVector axisX{grid->cellWidth / std::max(1, grid->picture->Width()), 0, 0};
      const T3DVector axisY{0, grid->cellHeight / std::max(1, grid->picture->Height()), 0};
      for (float y = 0; y < static_cast<float>(space.Height); y += grid->cellHeight) {
        for (float x = 0; x < static_cast<float>(space.Width); x += grid->cellWidth) {
          DrawImage(*grid->picture, {x - Offset().x, y - Offset().y, 0}, cell, axisX, axisY, {0, 0});
        }
      }
    }
    Draw(item);
  }
  if (layers.size() == 1 && DrawSingleLayerMask(layers[0], *content)) return;
  TPooledRenderTarget mask = fFullTargets.Acquire(fScreen.get(), true);
  if (!PushCleared(*mask)) return;
  {
    TTargetScope scope(*fScreen);
    fScreen->Batcher().Flush();
    fScreen->Renderer()->SetBlendMode(kBlendMaximum);
    try {
      DrawMaskLayers(layers);
    } catch (...) {
      fScreen->Batcher().Flush();
      fScreen->Renderer()->SetBlendMode(kBlendNormal);
      throw;
    }
    fScreen->Batcher().Flush();
    fScreen->Renderer()->SetBlendMode(kBlendNormal);
  }
  TCustomTexture* textures[2] = {mask.get(), content.get()};
  const TFloatRect sources[2] = {WholeRect(ScreenRect()), WholeRect(ScreenRect())};
  DrawTargetQuad(textures, ScreenRect(), sources);
}

}  // namespace zel
