#include "show/box_object.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "ini/ini_document.h"

namespace zel {

namespace {

const std::array<TString, 5> kFillModeNames = {u"Solid", u"HGradient", u"VGradient", u"TLBRGradient",
                                               u"TRBLGradient"};

uint32_t WithAlpha(uint32_t rgb, int32_t alpha) {
  return static_cast<uint32_t>(std::clamp(alpha, 0, 255)) << 24 | (rgb & 0xFFFFFF);
}

}  // namespace

uint8_t GradientTypeOf(TBoxFillMode mode) noexcept {
  switch (mode) {
    case TBoxFillMode::HGradient:
      return 6;
    case TBoxFillMode::VGradient:
      return 5;
    case TBoxFillMode::TLBRGradient:
      return 0;
    case TBoxFillMode::TRBLGradient:
      return 1;
    case TBoxFillMode::Solid:
      break;
  }
  return 8;
}

void TZelBox::ReadKindKeys(const TIniIdentList& keys) {
  const TIniPoint size = keys.ReadPoint(u"Size", {0, 0});
  SetSize({size.x, size.y});
  // The fill mode's name must match exactly.
  fFillMode = static_cast<TBoxFillMode>(keys.ReadIndex(u"FillMode", kFillModeNames, 0));
  fColor1 = WithAlpha(keys.ReadColor(u"Color1", 0), keys.ReadInteger(u"Alpha1", 255));
  fColor2 = WithAlpha(keys.ReadColor(u"Color2", 0), keys.ReadInteger(u"Alpha2", 255));
  fAntialiased = keys.ReadBool(u"Antialiased", false);
}

TBoxDrawParams TZelBox::DrawParams() const {
  TBoxDrawParams params;
  for (uint8_t& flag : params.antialias) flag = fAntialiased ? 1 : 0;
  params.gradientType = GradientTypeOf(fFillMode);
  params.color1 = fColor1;
  params.color2 = fFillMode == TBoxFillMode::Solid ? fColor1 : fColor2;
  params.width = static_cast<float>(Size().width);
  params.height = static_cast<float>(Size().height);
  params.opacity = EffectiveOpacity();
  return params;
}

TZelBox::TZelBox(TZelObject* parent, TStringView guid) : TZelObject(parent, guid) {}

TZelBox::~TZelBox() = default;

void TZelBox::DrawShadow(TDeviceDrawer& drawer) {
  if (!Shadow().enabled) return;
  const TFloatPoint corner = CornerOffset();
  const double w = Size().width, h = Size().height;
  TShadowSource source;
  source.pictureName = u"N\\A";
  source.rect = {0, 0, static_cast<float>(w), static_cast<float>(h)};
  source.plane = {Origin(), XAxis(), YAxis(), {-corner.x, -corner.y}};
  source.sizeFactor = std::sqrt(w * h) / 400.0;
  source.basis = std::sqrt(w * h);
  // The shadow fades as the box does.
  TBoxShadowLook look;
  look.gradientType = GradientTypeOf(fFillMode);
  look.startAlpha = static_cast<uint8_t>(fColor1 >> 24);
  look.endAlpha = static_cast<uint8_t>((fFillMode == TBoxFillMode::Solid ? fColor1 : fColor2) >> 24);
  if (!fShadowPicture) fShadowPicture = std::make_unique<TObjectShadow>();
  fShadowPicture->Draw(drawer, *this, source, EffectiveOpacity(), look);
}

void TZelBox::ReleaseResources(TDeviceDrawer& drawer) {
  if (fShadowPicture) fShadowPicture->Release(drawer);
  TZelObject::ReleaseResources(drawer);
}

void TZelBox::DrawSelf(TDeviceDrawer& drawer) {
  if (Size().width <= 0 || Size().height <= 0) return;
  DrawShadow(drawer);
  const TFloatPoint corner = CornerOffset();
  drawer.DrawBox(DrawParams(), Origin(), XAxis(), YAxis(), {-corner.x, -corner.y});
}

}  // namespace zel
