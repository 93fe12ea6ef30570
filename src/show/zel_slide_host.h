// What the objects of a show share: the viewer's eye position and camera,
// the optional hit filter, and the show they belong to.
#pragma once

#include <functional>

#include "draw/geometry.h"
#include "show/zel_object.h"

namespace zel {

class TZelSource;

class TZelSlideHost : public TObj {
 public:
  explicit TZelSlideHost(TZelSource* source = nullptr) : fSource(source) {}

  // Null when the host was made without a show.
  TZelSource* Source() const noexcept { return fSource; }

  // The screen area the show is drawn in. The viewer's eye sits in front
  // of its centre at a distance of its height.
  void SetViewBounds(double width, double height) noexcept {
    fViewWidth = width;
    fViewHeight = height;
  }
  double ViewWidth() const noexcept { return fViewWidth; }
  double ViewHeight() const noexcept { return fViewHeight; }

  virtual T3DVector EyePosition() const { return {fViewWidth / 2, fViewHeight / 2, -fViewHeight}; }
  // The ray from the eye through a screen point (on the plane z = 0).
  virtual TCameraRay RayThrough(double x, double y) const {
    const T3DVector eye = EyePosition();
    return {eye, T3DVector{x, y, 0} - eye};
  }

  // Lets objects with a flat frame take part in hit testing.
  const TZelObject::THitFilter& HitFilter() const noexcept { return fHitFilter; }
  void SetHitFilter(TZelObject::THitFilter filter) { fHitFilter = std::move(filter); }

 private:
  TZelSource* fSource;
  double fViewWidth = 800, fViewHeight = 600;
  TZelObject::THitFilter fHitFilter;
};

}  // namespace zel
