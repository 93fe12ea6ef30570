// The base of every drawn transition: the effect's duration and clamped
// time, the rectangles it works in, its flags and a copy of the parameters
// it was made with. A subclass draws the geometry on the GL drawer through
// the drawer's work-target machine; any other drawer gets both slides drawn
// one over the other, so the frame still holds what the effect ends on.
#pragma once

#include <cstdint>

#include "draw/draw_transition.h"
#include "imaging/geometry.h"
#include "show/effect_params.h"

namespace zel {

class T3DDrawer;
class TCustomD3DEffecter;

class TDrawFilter : public TTransitionEffect {
 public:
  // The rectangle the effect is laid out in (the drawer's view), the width
  // of its soft edges in pixels and its length in milliseconds; the time
  // starts at 0.
  void Init(const TRect& workingRect, float smoothWidth, double duration);

  // Kept within 0 .. duration; a time that is not >= 0 (NaN included) is 0.
  void SetTime(double time) override;
  void Draw(TDeviceDrawer& drawer, TDrawItem* slideA, TDrawItem* slideB) override;

  float Time() const noexcept { return fTime; }
  float Duration() const noexcept { return fDuration; }
  // 1 / duration; 0 for an effect of no length.
  double DurationReciprocal() const noexcept { return fReciprocal; }
  // How far the effect has run, 0 .. 1.
  double Progress() const noexcept { return fTime * fReciprocal; }

  float SmoothWidth() const noexcept { return fSmoothWidth; }
  const TRect& WorkingRect() const noexcept { return fWorkingRect; }
  // Where the result is drawn, in screen pixels: the drawer's canvas.
  const TRect& TargetRect() const noexcept { return fTargetRect; }
  void SetTargetRect(const TRect& rect) noexcept { fTargetRect = rect; }
  // The effect runs backwards (the variants that undo a movement).
  bool Reverse() const noexcept { return fReverse; }
  void SetReverse(bool reverse) noexcept { fReverse = reverse; }
  // The slides' last column and row are repeated outward in the work
  // targets, so filtering at the edge does not pull in the cleared colour.
  bool EdgeRepeat() const noexcept { return fEdgeRepeat; }
  void SetEdgeRepeat(bool repeat) noexcept { fEdgeRepeat = repeat; }

  int32_t EffectClass() const noexcept { return fClass; }
  int32_t Variant() const noexcept { return fVariant; }
  void SetKind(int32_t effectClass, int32_t variant) noexcept {
    fClass = effectClass;
    fVariant = variant;
  }
  const TEffectParams& Params() const noexcept { return fParams; }
  void SetParams(const TEffectParams& params) { fParams = params; }

 protected:
  // The effect's geometry on a ready GL drawer; the effecter holds the
  // work targets for this frame.
  virtual void DrawWithController(T3DDrawer& drawer, TCustomD3DEffecter& effecter, TDrawItem* slideA,
                                  TDrawItem* slideB) = 0;

 private:
  float fDuration = 0;
  double fReciprocal = 0;
  float fTime = 0;
  float fSmoothWidth = 0;
  TRect fWorkingRect;
  TRect fTargetRect;
  bool fReverse = false;
  bool fEdgeRepeat = false;
  int32_t fClass = 0;
  int32_t fVariant = 0;
  TEffectParams fParams;
};

}  // namespace zel
