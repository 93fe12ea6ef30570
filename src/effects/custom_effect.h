// Custom transitions (class 18): small shows of their own that play with
// the outgoing and incoming slides as pictures. Both slides are rendered
// into the drawer's work targets, and the effect's own slide is drawn with
// its effect-buffer pictures showing those targets.
//
// This layer holds what every such effect shares: the drawing, the
// pictures' stand-in textures, the list of effect names and the
// process-wide hook through which the catalogue makes one. The module that
// builds the effect's show installs the hook; without it class 18 is a
// cross-fade.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/strings.h"
#include "effects/draw_filter.h"
#include "render/custom_texture.h"
#include "show/effect_params.h"

namespace zel {

class TDeviceDrawer;
class TDrawItem;
class TShowRandom;
class TZelSlide;

// The names of a custom effects text: the items between "|", empty ones
// left out.
std::vector<TString> CustomEffectNames(TStringView text);

// The name a transition plays: none for no names, the only one without
// asking the random source, else one drawn uniformly.
TString PickCustomEffect(std::span<const TString> names, TShowRandom& random);

// Makes the custom effect of a transition that leads out of `slide`; none
// when it cannot be made (the catalogue then plays a cross-fade).
using TCustomEffectHook =
    std::function<std::unique_ptr<TDrawFilter>(TZelSlide& slide, TStringView effects, const TEffectParams& params)>;
// Installs the hook (none removes it).
void SetCustomEffectHook(TCustomEffectHook hook);
// The custom effect through the hook, for an item that is a slide; none
// without a hook, for anything that is not a slide (generated items have
// no show to open an effect from) or when the hook makes none.
std::unique_ptr<TDrawFilter> MakeCustomEffect(TDrawItem* slide, const TEffectParams& params);

// A picture's stand-in for a work target: it draws with the target's
// device texture and the target's texel scale, so the picture's own pixel
// coordinates address the screen pixels the slide was rendered at. The
// work target stays the effecter's; the stand-in never frees it.
class TEffectBufferTexture : public TCustomTexture {
 public:
  explicit TEffectBufferTexture(TRenderTargetTexture& target);
  ~TEffectBufferTexture() override;

  TRenderTargetTexture& Target() const noexcept { return fTarget; }

  T3DTexture* GetTexture() override;
  void FillLevel(TBitmap&) override {}
  void Upload() override {}

 private:
  TRenderTargetTexture& fTarget;
};

// Every picture object of the slide at any depth (exactly the picture
// class, not its descendants) whose "ReplaceWithEffectBuffer" is 1 or 2
// gets a stand-in for work target 1 (outgoing) or 2 (incoming). Returns
// how many were attached.
int AttachEffectBuffers(TZelSlide& slide, TCustomD3DEffecter& effecter);
// Takes the stand-ins off again; whatever else the pictures carry stays.
// Returns how many were removed.
int DetachEffectBuffers(TZelSlide& slide);

// The base of the custom effects: both slides are rendered into textures
// first, and the effect then draws a scene of its own with them.
class TSlideEffFilter : public TDrawFilter {
 public:
  TSlideEffFilter();
  ~TSlideEffFilter() override;

  // Hands the rendered slides to the scene's objects that show them, and
  // takes them back.
  virtual void AttachBuffers(TCustomD3DEffecter& effecter) = 0;
  virtual void DetachBuffers() = 0;
  // Gets the scene ready for drawing on the drawer.
  virtual void BindDrawer(TDeviceDrawer& drawer) = 0;
  // Positions the scene at a progress of 0 .. 1.
  virtual void SetProgress(double progress) = 0;
  // Copies slide backgrounds into the scene where the effect asks for it;
  // either slide may be none (an item that is not a slide).
  virtual void TakeBackgrounds(TZelSlide* outgoing, TZelSlide* incoming) = 0;

  // The slides are rendered without their backgrounds.
  bool TransparentBackground() const noexcept { return fTransparentBackground; }
  void SetTransparentBackground(bool transparent) noexcept { fTransparentBackground = transparent; }

  // The effect's own slide; none before it is built.
  TZelSlide* EffectSlide() const noexcept { return fSlide.get(); }

 protected:
  void SetEffectSlide(std::unique_ptr<TZelSlide> slide);
  // A descendant frees the slide before whatever the slide's objects still
  // reach (its host) goes.
  void FreeEffectSlide();

  void DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                          TDrawItem* slideB) override;

 private:
  // A into work target 1, B into 2, each without its background when the
  // effect asks for a transparent one.
  void RenderSlides(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA, TDrawItem* slideB);
  void DrawScene(T3DDrawer& drawer, TCustomD3DEffecter& effecter);

  bool fTransparentBackground = false;
  std::unique_ptr<TZelSlide> fSlide;
  // The drawer the scene was last bound to: a scene moving to another
  // drawer is bound again.
  const TDeviceDrawer* fBoundDrawer = nullptr;
};

}  // namespace zel
