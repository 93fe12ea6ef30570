#include "effects/transition_catalogue.h"

#include <cmath>
#include <mutex>
#include <string>
#include <unordered_set>

#include "core/log.h"
#include "draw/device_drawer.h"
#include "effects/alpha_filter.h"
#include "show/zel_filter.h"

namespace zel {

namespace {

constexpr int32_t kCrossFadeClass = 2;

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

std::unique_ptr<TDrawFilter> MakeEffect(int32_t effectClass) {
  if (effectClass != kCrossFadeClass) ReportStandIn(effectClass);
  return std::make_unique<TAlphaFilter>();
}

}  // namespace

std::unique_ptr<TDrawFilter> MakeTransition(const TRect& view, int32_t effectClass, int32_t variant, TDrawItem* slideA,
                                            const TEffectParams& params, double duration) {
  // The cross-fade starts from nothing of the outgoing slide; effects that
  // take a picture of it at their start will.
  (void)slideA;
  if (effectClass <= 0) return nullptr;
  std::unique_ptr<TDrawFilter> filter = MakeEffect(effectClass);
  filter->SetKind(effectClass, variant);
  filter->SetParams(ScaledToView(params, view));
  const float smoothWidth = std::round(static_cast<float>(view.Width()) * params.smoothLine);
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
