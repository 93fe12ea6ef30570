#include "show/object_shadow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/log.h"
#include "imaging/shadow_generator.h"
#include "show/zel_object.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

// Box shadows are computed on a picture of about this many pixels and
// stretched when drawn: a soft shadow needs no more detail.
constexpr double kShadowPixels = 40000;

int32_t RoundedLevelSize(double size, int32_t level) {
  return std::max(1, static_cast<int32_t>(std::lround(size / std::ldexp(1.0, level))));
}

TShadowParams ParamsFor(const TZelObject& object, const TShadowSource& source, const TBoxShadowLook& box) {
  const TShadowKeys& keys = object.Shadow();
  TShadowParams params;
  params.PictureName = source.pictureName;
  const bool isBox = params.IsBox();
  const int32_t level = isBox ? 0 : std::max(0, source.level);
  params.Left = isBox ? 0 : static_cast<int32_t>(std::lround(source.rect.left / std::ldexp(1.0, level)));
  params.Top = isBox ? 0 : static_cast<int32_t>(std::lround(source.rect.top / std::ldexp(1.0, level)));
  params.Right = params.Left + RoundedLevelSize(source.rect.right - source.rect.left, level);
  params.Bottom = params.Top + RoundedLevelSize(source.rect.bottom - source.rect.top, level);
  params.PictureLevel = level;
  // A box's shadow is computed at about 40,000 pixels: the blur is given in
  // the pixels it is computed at. A picture's is computed from the picture
  // itself (the generator halves large ones).
  const double area = static_cast<double>(params.SourceWidth()) * params.SourceHeight();
  const double normalScale = isBox && area > 0 ? std::sqrt(kShadowPixels / area) : 1;
  params.Blur = static_cast<float>(std::max(0.0, keys.size * source.sizeFactor * normalScale));
  params.Blue = keys.color.blue;
  params.Green = keys.color.green;
  params.Red = keys.color.red;
  params.Density = 100;
  params.ContourPreset = std::clamp(keys.spreadIndex, 0, 9);
  params.GradientType = box.gradientType;
  params.GradientStartAlpha = box.startAlpha;
  params.GradientEndAlpha = box.endAlpha;
  return params;
}

}  // namespace

double ShadowOffset(const TShadowKeys& keys, double basis, const T3DVector& xAxis, const T3DVector& yAxis) {
  const double drawnScale = std::sqrt(Length(xAxis) * Length(yAxis));
  const double offset = keys.distance * basis * drawnScale / 100.0;
  return std::isfinite(offset) ? offset : 0;
}

TObjectShadow::TObjectShadow() = default;

TObjectShadow::~TObjectShadow() = default;

TImage* TObjectShadow::Picture() const { return fShadow ? fShadow->Picture() : nullptr; }

void TObjectShadow::Draw(TDeviceDrawer& drawer, const TZelObject& object, const TShadowSource& source,
                         float objectOpacity, const TBoxShadowLook& box) {
  const TShadowKeys& keys = object.Shadow();
  const float opacity = objectOpacity * keys.opacity / 100.0f;
  if (!(opacity > 0) || source.rect.right <= source.rect.left || source.rect.bottom <= source.rect.top) return;
  TZelSlideHost* host = object.Host();
  if (!host) return;
  // Only a box's shadow is normalised: a picture's normalised source
  // rectangle would cut a corner out of the picture instead of scaling it.
  if (!fShadow) fShadow = std::make_unique<TShadow>(false);
  fShadow->Update(ParamsFor(object, source, box), [host](TStringView name) { return host->RequestPicture(name); });
  TImage* picture = fShadow->Picture();
  const TShadowGeometry* geometry = fShadow->Geometry();
  if (!picture || !geometry) return;

  // The source's rectangle lies at the geometry's source rectangle in the
  // shadow picture: one shadow pixel spans (ax, ay) units of the plane.
  const TRect inShadow = geometry->SourceRect();
  if (inShadow.Right <= inShadow.Left || inShadow.Bottom <= inShadow.Top) return;
  const double ax = (source.rect.right - source.rect.left) / (inShadow.Right - inShadow.Left);
  const double ay = (source.rect.bottom - source.rect.top) / (inShadow.Bottom - inShadow.Top);
  const TDrawPlane& plane = source.plane;
  const TFloatPoint anchor{static_cast<float>((plane.anchor.x - source.rect.left) / ax + inShadow.Left),
                           static_cast<float>((plane.anchor.y - source.rect.top) / ay + inShadow.Top)};

  // Moved along the angle: across the screen, or within the object's own
  // plane for a 3D shadow.
  const double offset = ShadowOffset(keys, source.basis, object.XAxis(), object.YAxis());
  const double angle = keys.angle * std::numbers::pi / 180.0;
  const double c = std::cos(angle), s = std::sin(angle);
  const T3DVector shift = keys.shadow3D ? (Normalized(object.XAxis()) * c + Normalized(object.YAxis()) * s) * offset
                                        : T3DVector{c * offset, s * offset, 0};

  TImageDrawParams params;
  params.opacity = opacity;
  params.smooth = 1;
  drawer.DrawImage(*picture, plane.position + shift, params, plane.axisX * ax, plane.axisY * ay, anchor);
}

void TObjectShadow::Release(TDeviceDrawer& drawer) {
  if (TImage* picture = Picture()) drawer.ReleaseImage(*picture);
}

}  // namespace zel
