// The object drawer on the screen: every item of a frame draws itself by
// calling these operations, which become textured, coloured quads in the
// screen's pixel space. Pictures are drawn from their tiled textures
// (cached on the picture), boxes as plain or soft-edged quads; whole-item
// blur, sharpening and masks go through render targets from two pools (the
// screen's size and half of it).
#pragma once

#include <array>
#include <memory>
#include <mutex>

#include "draw/device_drawer.h"
#include "render/blur_plan.h"
#include "render/custom_texture.h"
#include "render/d3d_effecter.h"
#include "render/screen.h"
#include "render/shader.h"
#include "render/texture_store.h"

namespace zel {

class TBoxAntialiaser;
class TMultiTexture6;
class TTextureManager6;

// The drawer's pixel shaders, in their fixed order.
enum class TDrawerShader : int {
  Unsharp = 0,
  YuvLum = 1,
  YuvDeinterlaceLum = 2,
  ChromaKey = 3,
  ChromaDeinter = 4,
  VideoMask = 5,
  ColorCorrection = 6,
  GaussBlurH7 = 7,
  GaussBlurV7 = 8,
  GaussMix = 9,
};
constexpr int kDrawerShaderCount = 10;
// The shader's name, which is also its source's name.
const char* DrawerShaderName(TDrawerShader shader);

// The alpha an opacity percent gives: round(opacity x 2.55) within 0..255.
uint8_t OpacityToAlpha(double opacity);
// The four corner colours (top-left, top-right, bottom-right, bottom-left)
// of a box's gradient type, before opacity; false for an unknown type.
bool GradientCorners(int gradientType, TColor first, TColor second, TColor corners[4]);

class T3DDrawer : public TDeviceDrawer {
 public:
  T3DDrawer();
  ~T3DDrawer() override;

  T3DScreen& Screen() { return *fScreen; }

  bool BeginFrame() override;
  void EndFrame() override;
  bool Present() override;
  void LeaveThread() override;
  bool IsReady() const override;
  TRect GetTargetRect() const override;
  void Init(TDrawDevice* device) override;
  void Close() override;
  void PrepareImage(TImage& picture, const TImageDrawParams& params) override;
  void ReleaseImage(TImage& picture) override;
  void ResetStates() override;
  void Clear(TColor color, bool depth) override;
  void ClearRect(TColor color, const TRect& rect) override;
  void DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params, const T3DVector& axisX,
                 const T3DVector& axisY, const TFloatPoint& anchor) override;
  void DrawBox(const TBoxDrawParams& params, const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY,
               const TFloatPoint& anchor) override;
  // Video frames come with the video images of this drawer; until then a
  // frame is not drawn.
  void DrawVideo(TYUVImage& frame, const T3DVector& position, const TVideoDrawParams& params, const T3DVector& axisX,
                 const T3DVector& axisY, const TFloatPoint& anchor) override;
  void FillRect(TFloatPoint corner1, TFloatPoint corner2, uint32_t color) override;
  void DrawMask(std::span<const TMaskLayer> layers, TDrawItem& item, const TMaskGrid* grid) override;
  void BeginSharpen() override;
  void EndSharpen(float threshold, float amount) override;
  bool CopyScreen(TBitmap& bitmap) override;
  std::unique_ptr<TBitmap> Screenshot() override;
  void SetCanvas(const TRect& rect, TPoint size) override;

  // Frames are drawn but not shown (export and tests read them back).
  void SetNoPresent(bool noPresent) { fNoPresent = noPresent; }
  bool NoPresent() const { return fNoPresent; }
  // The bounding box, in screen pixels, of what was drawn since the last
  // reset (a blur pass resets it).
  const TRect& DrawnArea() const { return fDrawnArea; }
  void ResetDrawnArea() { fDrawnArea = {}; }
  // The shader level of the engine: 2 with pixel shaders; sharpening needs
  // it. Tests lower it to see the fall-backs.
  int ShaderLevel() const { return fShaderLevel; }
  void SetShaderLevel(int level) { fShaderLevel = level; }
  TShader* Shader(TDrawerShader shader) const { return fShaders[static_cast<size_t>(shader)].get(); }

  TTextureManager6* TextureManager() const { return fTextures.get(); }
  TCustomD3DEffecter& Effecter() { return *fEffecter; }
  TRenderTargetManager& FullTargets() { return fFullTargets; }
  TRenderTargetManager& HalfTargets() { return fHalfTargets; }
  // The picture's cached texture for the parameters, made when missing;
  // none when the picture cannot be tiled.
  TMultiTexture6* TextureFor(TImage& picture, const TImageDrawParams& params);
  // The slide an effect is drawing now (set by transitions).
  TDrawItem* EffectSlide() const { return fEffectSlide; }
  void SetEffectSlide(TDrawItem* slide) { fEffectSlide = slide; }

 protected:
  void DrawItemContent(TDrawItem& item) override;

 private:
  void CreateShaders();
  void SizePools();
  bool ApplyImageState(TMultiTexture6& texture, const TImageDrawParams& params);
  void DrawReadyTexture(TCustomTexture& texture, const T3DVector& position, const TImageDrawParams& params,
                        const T3DVector& axisX, const T3DVector& axisY, const TFloatPoint& anchor);
  // Grows the drawn area by the projected corners of a quad while a blur
  // pass runs.
  void GrowDrawnArea(const T3DVector corners[4]);
  void SetShaderConstants(std::span<const float> values);
  void UseShader(TShader* shader);

  // The passes through render targets (drawer_passes.cpp).
  void BlurPass(TDrawItem& item, double radius);
  void BlurHalfImage(const TBlurPlan& plan, TRenderTargetTexture& full, TRenderTargetTexture& half);
  void SeparablePass(TDrawerShader shader, TRenderTargetTexture& from, TRenderTargetTexture& to, double weight, int step);
  void DrawMaskLayers(std::span<const TMaskLayer> layers);
  bool DrawSingleLayerMask(const TMaskLayer& layer, TRenderTargetTexture& content);
  // Covers a rectangle of screen pixels with the textures, each from its
  // own rectangle of content pixels.
  void DrawTargetQuad(std::span<TCustomTexture* const> textures, const TRect& dest, std::span<const TFloatRect> sources);
  // Pushed at the screen's origin and cleared to transparent black.
  bool PushCleared(TRenderTargetTexture& target);

  std::unique_ptr<T3DScreen> fScreen;
  TRenderTargetManager fFullTargets;
  TRenderTargetManager fHalfTargets;
  std::unique_ptr<TTextureManager6> fTextures;
  std::unique_ptr<TBoxAntialiaser> fBoxAntialiaser;
  std::unique_ptr<TCustomD3DEffecter> fEffecter;
  TPooledRenderTarget fSharpenTarget;
  TDrawItem* fEffectSlide = nullptr;
  // A blur or sharpening pass is running.
  bool fBusy = false;
  // A blur pass is running: one blur does not nest in another, but may run
  // inside the frame's sharpening pass.
  bool fBlurring = false;
  std::array<std::unique_ptr<TShader>, kDrawerShaderCount> fShaders;
  TRect fDrawnArea;
  bool fNoPresent = false;
  int fShaderLevel = 2;
  // Held while picture textures are made, prepared and released.
  std::recursive_mutex fLock;
  // Declared last: the stores it knows of free their textures while the
  // texture manager still exists.
  TTextureStoreRegistry fStores;
};

}  // namespace zel
