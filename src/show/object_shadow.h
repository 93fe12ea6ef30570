// The soft drop shadow an object casts: made by the shadow generator from
// the object's picture (or, for a box, its rectangle) and drawn before the
// object, moved along the shadow's angle.
#pragma once

#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "core/strings.h"
#include "draw/device_drawer.h"

namespace zel {

class TShadow;
class TZelObject;
struct TShadowKeys;

// What a shadow is made from and where it lies.
struct TShadowSource {
  // The picture that casts the shadow; "N\A" for a box's rectangle.
  TString pictureName;
  // The part of the picture that casts it, in the plane's units (a
  // picture's full-size pixels, a box's own units).
  TFloatRect rect;
  // The picture's resolution level the shadow is made from.
  int32_t level = 0;
  // Where the picture lies: position, axes per unit and the picture point
  // at the position.
  TDrawPlane plane;
  // Blur in picture pixels (at the level) per unit of "ShadowSize".
  double sizeFactor = 0;
  // The object's size the distance is measured in, in own units.
  double basis = 0;
};

// The alpha gradient a box passes on to its shadow (the drawer's gradient
// types; 8 uniform).
struct TBoxShadowLook {
  uint8_t gradientType = 8;
  uint8_t startAlpha = 255, endAlpha = 255;
};

class TObjectShadow : public TObj {
 public:
  TObjectShadow();
  ~TObjectShadow() override;

  // Draws the shadow the object's keys describe, made from the source,
  // unless its opacity is 0. objectOpacity is the object's effective
  // opacity (percent).
  void Draw(TDeviceDrawer& drawer, const TZelObject& object, const TShadowSource& source, float objectOpacity,
            const TBoxShadowLook& box = {});
  void Release(TDeviceDrawer& drawer);
  // The picture last drawn, or null.
  TImage* Picture() const;

 private:
  std::unique_ptr<TShadow> fShadow;
};

// How far, in screen units, the shadow of an object lies from it: the
// distance key times the basis times the object's drawn scale, over 100.
double ShadowOffset(const TShadowKeys& keys, double basis, const T3DVector& xAxis, const T3DVector& yAxis);

}  // namespace zel
