// The transition that leads into a slide: its class, variant, duration and
// parameters as the show chose them, the time the engine last set, and the
// effect drawn with them. The effect itself comes from the transition
// catalogue, which lies above this layer; it reaches the filter through a
// process-wide factory installed at start-up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "draw/draw_transition.h"
#include "show/effect_params.h"
#include "show/zel_source.h"

namespace zel {

class TZelFilter;

// Makes the drawn effect of a filter for a drawer; none when the filter's
// class has no effect. slideA is the outgoing slide the effect starts from.
using TTransitionFactory =
    std::function<std::unique_ptr<TTransitionEffect>(TDeviceDrawer& drawer, const TZelFilter& filter, TDrawItem* slideA)>;
// Installs the factory every filter makes its effect with (none removes it).
void SetTransitionFactory(TTransitionFactory factory);

// Owned by its slide; the drawn effect belongs to the filter, so filters
// move but are never copied.
class TZelFilter : public TDrawTransition {
 public:
  TZelFilter() = default;
  explicit TZelFilter(const TSlideEffect& effect);
  ~TZelFilter() override;
  TZelFilter(TZelFilter&& other) noexcept;
  TZelFilter& operator=(TZelFilter&& other) noexcept;
  TZelFilter(const TZelFilter&) = delete;
  TZelFilter& operator=(const TZelFilter&) = delete;

  int32_t EffectClass() const noexcept { return fClass; }
  int32_t Variant() const noexcept { return fVariant; }
  const TEffectParams& Params() const noexcept { return fParams; }

  // Written by the engine every frame: the show clock less the slide's
  // start, in milliseconds.
  void SetTime(double time) noexcept { fTime = static_cast<float>(time); }

  bool IsEffect() const override { return fClass > 0; }
  // Makes the effect through the factory the first time (a factory that
  // answers none is not asked again) and hands it the time.
  void Prepare(TDeviceDrawer& drawer, TDrawItem* slideA) override;
  double Time() const override { return fTime; }
  double Duration() const override { return fDuration; }
  // Through the effect; without one the incoming slide alone.
  void DrawEffect(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) override;
  // Passed on to the effect after every frame.
  void AfterDraw(TDeviceDrawer& drawer) override;

  // The effect made by Prepare; none before it or without a factory.
  TTransitionEffect* Effect() const noexcept { return fEffect.get(); }

 private:
  int32_t fClass = 0;
  int32_t fVariant = 0;
  double fDuration = 0;  // ms
  float fTime = 0;       // ms
  TEffectParams fParams;
  bool fFactoryAsked = false;
  std::unique_ptr<TTransitionEffect> fEffect;
};

}  // namespace zel
