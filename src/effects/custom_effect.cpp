#include "effects/custom_effect.h"

#include <algorithm>
#include <mutex>
#include <typeinfo>
#include <utility>

#include "draw/device_drawer.h"
#include "effects/slide_rendering.h"
#include "imaging/bitmap_store.h"
#include "render/d3d_effecter.h"
#include "render/drawer_3d.h"
#include "show/picture_object.h"
#include "show/show_random.h"
#include "show/zel_slide.h"

namespace zel {

namespace {

constexpr TColor kOpaqueBlack = 0xFF000000;

// Installed once at start-up, read by the drawing thread when a transition
// is first drawn.
std::mutex gHookLock;
TCustomEffectHook gHook;

TCustomEffectHook CurrentHook() {
  std::lock_guard guard(gHookLock);
  return gHook;
}

// Every object below the root, depth first in project order.
template <class Visit>
void EachObject(const TZelObject& root, Visit&& visit) {
  for (TZelObject* child : root.Children()) {
    visit(*child);
    EachObject(*child, visit);
  }
}

// The slides' backgrounds are left out while they are rendered for an
// effect that wants them over a transparent background; afterwards both
// draw theirs again, also when rendering throws.
class TBackgroundsLeftOut {
 public:
  TBackgroundsLeftOut(TZelSlide* a, TZelSlide* b, bool leaveOut) : fA(a), fB(b) { Set(leaveOut); }
  ~TBackgroundsLeftOut() { Set(false); }
  TBackgroundsLeftOut(const TBackgroundsLeftOut&) = delete;
  TBackgroundsLeftOut& operator=(const TBackgroundsLeftOut&) = delete;

 private:
  void Set(bool leaveOut) {
    if (fA) fA->SetNoBackground(leaveOut);
    if (fB) fB->SetNoBackground(leaveOut);
  }
  TZelSlide* fA;
  TZelSlide* fB;
};

// The buffers stay on the scene's pictures only while the scene is drawn:
// the work targets go back to the pool after the frame. The screen's
// batcher may still hold triangles of a stand-in, so they are drawn before
// the stand-ins go.
class TBuffersAttached {
 public:
  TBuffersAttached(TSlideEffFilter& filter, T3DDrawer& drawer, TCustomD3DEffecter& effecter)
      : fFilter(filter), fDrawer(drawer) {
    fFilter.AttachBuffers(effecter);
  }
  ~TBuffersAttached() {
    fDrawer.Screen().Batcher().Flush();
    fFilter.DetachBuffers();
  }
  TBuffersAttached(const TBuffersAttached&) = delete;
  TBuffersAttached& operator=(const TBuffersAttached&) = delete;

 private:
  TSlideEffFilter& fFilter;
  T3DDrawer& fDrawer;
};

class TDrawerOffset {
 public:
  TDrawerOffset(TDeviceDrawer& drawer, TFloatPoint offset) : fDrawer(drawer) { fDrawer.SetOffset(offset.x, offset.y); }
  ~TDrawerOffset() { fDrawer.SetOffset(0, 0); }
  TDrawerOffset(const TDrawerOffset&) = delete;
  TDrawerOffset& operator=(const TDrawerOffset&) = delete;

 private:
  TDeviceDrawer& fDrawer;
};

}  // namespace

std::vector<TString> CustomEffectNames(TStringView text) {
  std::vector<TString> names;
  size_t start = 0;
  while (start <= text.size()) {
    size_t bar = text.find(u'|', start);
    if (bar == TStringView::npos) bar = text.size();
    if (bar > start) names.emplace_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  return names;
}

TString PickCustomEffect(std::span<const TString> names, TShowRandom& random) {
  if (names.empty()) return {};
  // Only a real choice takes a number from the generator, so a show with
  // one effect leaves the sequence to its other draws.
  if (names.size() == 1) return names.front();
  return names[random.Next(static_cast<uint32_t>(names.size()))];
}

void SetCustomEffectHook(TCustomEffectHook hook) {
  std::lock_guard guard(gHookLock);
  gHook = std::move(hook);
}

std::unique_ptr<TDrawFilter> MakeCustomEffect(TDrawItem* slide, const TEffectParams& params) {
  auto* zelSlide = dynamic_cast<TZelSlide*>(slide);
  if (!zelSlide) return nullptr;
  TCustomEffectHook hook = CurrentHook();
  if (!hook) return nullptr;
  return hook(*zelSlide, params.customEffects, params);
}

// --- The pictures' stand-ins -------------------------------------------------

TEffectBufferTexture::TEffectBufferTexture(TRenderTargetTexture& target)
    : TCustomTexture(target.Screen(), kTexKindTarget), fTarget(target) {
  // The same size gives the same texel scale as the target's own.
  SetSize(target.Size().Width, target.Size().Height);
  SetPremultiplied(target.Premultiplied());
}

TEffectBufferTexture::~TEffectBufferTexture() = default;

T3DTexture* TEffectBufferTexture::GetTexture() { return fTarget.GetTexture(); }

int AttachEffectBuffers(TZelSlide& slide, TCustomD3DEffecter& effecter) {
  int attached = 0;
  EachObject(slide, [&](TZelObject& object) {
    // Masks are pictures too, but they shape a viewport and show nothing.
    if (typeid(object) != typeid(TZelImage)) return;
    auto& image = static_cast<TZelImage&>(object);
    const int32_t number = image.EffectBufferNumber();
    if (number != 1 && number != 2) return;
    TRenderTargetTexture* target = effecter.WorkTarget(number);
    TImage* picture = image.Picture();
    if (!target || !picture || !target->Screen()) return;
    picture->Attached().push_back(std::make_unique<TEffectBufferTexture>(*target));
    ++attached;
  });
  return attached;
}

int DetachEffectBuffers(TZelSlide& slide) {
  size_t removed = 0;
  EachObject(slide, [&](TZelObject& object) {
    auto* image = dynamic_cast<TZelImage*>(&object);
    TImage* picture = image ? image->Picture() : nullptr;
    if (!picture) return;
    removed += std::erase_if(picture->Attached(), [](const std::unique_ptr<TObj>& attached) {
      return dynamic_cast<TEffectBufferTexture*>(attached.get()) != nullptr;
    });
  });
  return static_cast<int>(removed);
}

// --- The drawing -------------------------------------------------------------

TSlideEffFilter::TSlideEffFilter() = default;

TSlideEffFilter::~TSlideEffFilter() = default;

void TSlideEffFilter::SetEffectSlide(std::unique_ptr<TZelSlide> slide) {
  fSlide = std::move(slide);
  fBoundDrawer = nullptr;
}

void TSlideEffFilter::FreeEffectSlide() {
  fSlide.reset();
  fBoundDrawer = nullptr;
}

void TSlideEffFilter::DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                                         TDrawItem* slideB) {
  TWorkTargetsHeld held(effecter);
  effecter.AcquireTargets(true);
  // Bound before its first frame on this drawer, so its pictures are on
  // the device before the scene is positioned and drawn.
  if (fBoundDrawer != &drawer) {
    BindDrawer(drawer);
    fBoundDrawer = &drawer;
  }
  RenderSlides(drawer, effecter, slideA, slideB);
  SetProgress(Progress());
  TakeBackgrounds(dynamic_cast<TZelSlide*>(slideA), dynamic_cast<TZelSlide*>(slideB));
  DrawScene(drawer, effecter);
}

void TSlideEffFilter::RenderSlides(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                                   TDrawItem* slideB) {
  TBackgroundsLeftOut leftOut(dynamic_cast<TZelSlide*>(slideA), dynamic_cast<TZelSlide*>(slideB),
                              fTransparentBackground);
  const auto renderA = [&] { DrawEffectSlide(drawer, slideA); };
  const auto renderB = [&] { DrawEffectSlide(drawer, slideB); };
  // Scenes alternate between the two targets; starting from the one the
  // effecter points at keeps A in target 1 and B in target 2.
  if (!effecter.Toggle()) {
    effecter.RenderScene(renderA);
    effecter.RenderScene(renderB);
  } else {
    effecter.RenderScene(renderB);
    effecter.RenderScene(renderA);
  }
}

void TSlideEffFilter::DrawScene(T3DDrawer& drawer, TCustomD3DEffecter& effecter) {
  // The scene covers the frame: what was drawn before it does not show
  // through its transparent parts.
  drawer.Clear(kOpaqueBlack, true);
  TZelSlide* scene = fSlide.get();
  if (!scene) return;
  TBuffersAttached attached(*this, drawer, effecter);
  // The scene is laid out from the canvas's corner, in the drawer's space.
  const TRect& canvas = TargetRect();
  const TFloatPoint corner =
      drawer.Screen().ScreenToSpace({static_cast<float>(canvas.Left), static_cast<float>(canvas.Top)});
  TDrawerOffset offset(drawer, corner);
  DrawEffectSlide(drawer, scene);
}

}  // namespace zel
