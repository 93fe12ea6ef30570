#include "show/zel_filter.h"

#include <mutex>
#include <utility>

#include "draw/device_drawer.h"

namespace zel {

namespace {

// Installed once at start-up, read by the drawing thread: the lock keeps a
// late installation from tearing the function being copied.
std::mutex gFactoryLock;
TTransitionFactory gFactory;

TTransitionFactory CurrentFactory() {
  std::lock_guard lock(gFactoryLock);
  return gFactory;
}

}  // namespace

void SetTransitionFactory(TTransitionFactory factory) {
  std::lock_guard lock(gFactoryLock);
  gFactory = std::move(factory);
}

TZelFilter::TZelFilter(const TSlideEffect& effect)
    : fClass(effect.effectClass), fVariant(effect.variant), fDuration(effect.duration), fParams(effect.params) {}

TZelFilter::~TZelFilter() = default;
TZelFilter::TZelFilter(TZelFilter&& other) noexcept = default;
TZelFilter& TZelFilter::operator=(TZelFilter&& other) noexcept = default;

void TZelFilter::Prepare(TDeviceDrawer& drawer, TDrawItem* slideA) {
  if (!fEffect && !fFactoryAsked) {
    // Without a factory nothing is decided yet: one installed later is
    // still asked.
    if (TTransitionFactory factory = CurrentFactory()) {
      fFactoryAsked = true;
      fEffect = factory(drawer, *this, slideA);
    }
  }
  if (fEffect) fEffect->SetTime(fTime);
}

void TZelFilter::DrawEffect(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) {
  if (fEffect) {
    fEffect->Draw(drawer, slideA, slideB);
  } else if (slideB) {
    drawer.Draw(*slideB);
  }
}

void TZelFilter::AfterDraw(TDeviceDrawer& drawer) {
  if (fEffect) fEffect->AfterDraw(drawer);
}

}  // namespace zel
