// Soft drop shadows: the alpha of a picture blurred by shrinking it with a
// wide B-spline filter and enlarging it again (much cheaper than a large
// convolution), optionally reshaped by a contour curve, and then coloured.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_store.h"
#include "imaging/contour_curves.h"

namespace zel {

class TDropShadow : public TObj {
 public:
  TDropShadow();

  // The reduction factor f = x + 1, x being the blur in pixels.
  void SetFactor(double x) { fFactor = x + 1.0; }
  double Factor() const { return fFactor; }
  // The margin a blur of factor f adds on each side: ceil(2.5 f), with f at
  // least 1.
  static int MarginFor(double factor);

  // The contour the blurred alpha goes through (identity by default).
  TCurvesData& Curve() { return *fCurve; }
  const TCurvesData& Curve() const { return *fCurve; }

  void SetProgress(TBitmapProgress progress) { fProgress = std::move(progress); }

  // The blurred alpha of source: its values when it has 1 byte per pixel,
  // its alpha bytes when it has 4 (any other format is a programming
  // error). The result is 8-bit, (width + 2m) x (height + 2m) with
  // m = MarginFor(Factor()), the source lying at (m, m). Null when the
  // progress said stop; what was made so far stays in Reduced() and Result().
  TBitmap* Make(const TBitmap& source);

  int Margin() const { return fMargin; }
  TBitmap* Reduced() const { return fReduced.get(); }
  TBitmap* Result() const { return fResult.get(); }
  std::unique_ptr<TBitmap> TakeResult() { return std::move(fResult); }

 private:
  std::unique_ptr<TBitmap> MakePadded(const TBitmap& source, int margin);
  std::vector<uint8_t> ContourTable() const;
  bool Ask(float fraction) const { return !fProgress || fProgress(fraction); }
  TBitmapProgress Part(float from, float to) const;

  double fFactor = 3.0;
  std::unique_ptr<TCurvesData> fCurve;
  std::unique_ptr<TBitmap> fReduced;
  std::unique_ptr<TBitmap> fResult;
  int fMargin = 0;
  TBitmapProgress fProgress;
};

// Colours the drop shadow of a picture.
class TShadowProducer : public TObj {
 public:
  TShadowProducer();

  double Blur = 0.0;  // in pixels of the picture
  uint8_t Blue = 0, Green = 0, Red = 0;
  uint8_t ShadowAlpha = 255;
  int32_t ContourPreset = 0;  // a preset of TCurvesData; others mean none
  TBitmapProgress Progress;

  TDropShadow& DropShadow() { return *fDropShadow; }

  // The shadow of the picture's level 0, which must be 32-bit with alpha (a
  // programming error otherwise), as a picture named name: an "A8R8G8B8"
  // bitmap of the drop shadow's size in the shadow colour with alpha
  // value x ShadowAlpha / 255. Null when the progress said stop.
  std::unique_ptr<TImage> Make(TBitmapStore& picture, TString name);
  std::unique_ptr<TImage> Make(TImage& picture, TString name) { return Make(picture.Store(), std::move(name)); }

 private:
  std::unique_ptr<TBitmap> Colourise(const TBitmap& alpha) const;

  std::unique_ptr<TDropShadow> fDropShadow;
};

}  // namespace zel
