#include "effects/transition_catalogue.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <unordered_set>

#include "core/log.h"
#include "draw/device_drawer.h"
#include "effects/alpha_filter.h"
#include "effects/custom_effect.h"
#include "effects/flat_filter.h"
#include "effects/mask_filters.h"
#include "show/zel_filter.h"

namespace zel {

namespace {

constexpr int32_t kMosaicClass = 1;
constexpr int32_t kCrossFadeClass = 2;
constexpr int32_t kFirstMaskClass = 4;
constexpr int32_t kLastMaskClass = 10;
constexpr int32_t kPushClass = 12;
constexpr int32_t kSlideInClass = 13;
constexpr int32_t kCustomClass = 18;

// Slides are built and drawn on different threads; each class that stands
// in as a cross-fade is reported once a run, not once a slide.
void ReportStandIn(int32_t effectClass) {
  static std::mutex lock;
  static std::unordered_set<int32_t> reported;
  {
    std::lock_guard guard(lock);
    if (!reported.insert(effectClass).second) return;
  }
  Log().Write("transition class " + std::to_string(effectClass) + " drawn as a cross-fade");
}

TEffectParams ScaledToView(TEffectParams params, const TRect& view) {
  const float width = static_cast<float>(view.Width());
  const float height = static_cast<float>(view.Height());
  params.rollDiameter *= width;
  params.broomOffset *= (width + height) * 0.5f;
  return params;
}

std::unique_ptr<TDrawFilter> CrossFade(int32_t effectClass) {
  if (effectClass != kCrossFadeClass) ReportStandIn(effectClass);
  return std::make_unique<TAlphaFilter>();
}

// The mosaic's start times spread over the parameter's levels below 100,
// else over 1000.
std::unique_ptr<TDrawFilter> Mosaic(const TRect& view, const TEffectParams& params) {
  const float spread = params.mosaicSC < 100 ? static_cast<float>(params.mosaicSC) : 1000.0f;
  return std::make_unique<TFlatFilter>(
      std::make_unique<TRandomFilter>(view, params.mosaicDX, params.mosaicDY, params.seed, spread));
}

// The slide-in (13) and the push (12); a direction they do not have is a
// cross-fade. Both repeat the slide's edges, which the movement uncovers.
std::unique_ptr<TDrawFilter> Motion(int32_t effectClass, int32_t direction) {
  if (direction < 1 || direction > 4) return CrossFade(effectClass);
  std::unique_ptr<TFlatFilter> filter;
  if (effectClass == kPushClass) {
    filter = std::make_unique<TFlatFilter>(std::make_unique<TPushFilter>(direction));
    filter->SetPushDirection(direction);
  } else {
    filter = std::make_unique<TFlatFilter>(std::make_unique<TSlideFilter>(direction));
  }
  filter->SetEdgeRepeat(true);
  return filter;
}

std::unique_ptr<TDrawFilter> Mask(const TRect& view, int32_t effectClass, int32_t variant, const TEffectParams& params,
                                  float smoothWidth) {
  const TMaskChoice choice = MaskChoiceOf(effectClass, variant, params.centerX, params.centerY);
  std::unique_ptr<TCommonFilter> mask = MakeMask(choice, view, smoothWidth);
  if (!mask) return CrossFade(effectClass);
  auto filter = std::make_unique<TFlatFilter>(std::move(mask));
  filter->SetReverse(choice.reverse);
  return filter;
}

// A custom effect that cannot be made (no hook, no show to open it from,
// no name, a project that does not open) is a cross-fade without a log
// line: unlike the stand-ins, nothing of this program is missing.
std::unique_ptr<TDrawFilter> Custom(TDrawItem* slideA, const TEffectParams& params) {
  if (std::unique_ptr<TDrawFilter> custom = MakeCustomEffect(slideA, params)) return custom;
  return std::make_unique<TAlphaFilter>();
}

std::unique_ptr<TDrawFilter> MakeEffect(const TRect& view, int32_t effectClass, int32_t variant, TDrawItem* slideA,
                                        const TEffectParams& params, float smoothWidth) {
  if (effectClass == kMosaicClass) return Mosaic(view, params);
  if (effectClass == kCustomClass) return Custom(slideA, params);
  if (effectClass >= kFirstMaskClass && effectClass <= kLastMaskClass)
    return Mask(view, effectClass, variant, params, smoothWidth);
  if (effectClass == kPushClass || effectClass == kSlideInClass) return Motion(effectClass, variant);
  // The clock, broom, rolls, overturn and swap come with the 3D
  // transitions.
  return CrossFade(effectClass);
}

}  // namespace

std::unique_ptr<TDrawFilter> MakeTransition(const TRect& view, int32_t effectClass, int32_t variant, TDrawItem* slideA,
                                            const TEffectParams& params, double duration) {
  if (effectClass <= 0) return nullptr;
  // A negative smooth line is no soft edge.
  const float smoothWidth = std::max(0.0f, std::round(static_cast<float>(view.Width()) * params.smoothLine));
  std::unique_ptr<TDrawFilter> filter = MakeEffect(view, effectClass, variant, slideA, params, smoothWidth);
  filter->SetKind(effectClass, variant);
  filter->SetParams(ScaledToView(params, view));
  filter->Init(view, smoothWidth, duration);
  return filter;
}

void InstallTransitions() {
  SetTransitionFactory(
      [](TDeviceDrawer& drawer, const TZelFilter& filter, TDrawItem* slideA) -> std::unique_ptr<TTransitionEffect> {
        std::unique_ptr<TDrawFilter> effect = MakeTransition(drawer.ViewRect(), filter.EffectClass(), filter.Variant(),
                                                             slideA, filter.Params(), filter.Duration());
        if (effect) effect->SetTargetRect(drawer.CanvasRect());
        return effect;
      });
}

}  // namespace zel
