#include "show/effect_params.h"

#include <cmath>

#include "ini/ini_document.h"

namespace zel {

TRgbColor RgbFromInteger(int32_t value) noexcept {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits & 0xFF), static_cast<uint8_t>((bits >> 8) & 0xFF),
          static_cast<uint8_t>((bits >> 16) & 0xFF)};
}

int32_t RgbToInteger(TRgbColor color) noexcept {
  return static_cast<int32_t>(color.red) | static_cast<int32_t>(color.green) << 8 |
         static_cast<int32_t>(color.blue) << 16;
}

int32_t EffectVariantOfChar(char16_t c) noexcept {
  if (c >= u'1' && c <= u'8') return c - u'1' + 1;
  if (c >= u'A' && c <= u'H') return c - u'A' + 9;
  if (c >= u'a' && c <= u'h') return c - u'a' + 9;
  return 1;
}

namespace {

// The main section's switches are strings that mean "on" only as "1".
bool IsOne(const TIniIdentList& section, TStringView key, TStringView defaultValue) {
  return section.ReadString(key, defaultValue) == u"1";
}

float Scaled(const TIniIdentList& section, TStringView key, int32_t defaultValue, double factor) {
  return static_cast<float>(section.ReadInteger(key, defaultValue) * factor);
}

float ReadSingle(const TIniIdentList& section, TStringView key, float defaultValue) {
  return static_cast<float>(section.ReadFloat(key, defaultValue));
}

}  // namespace

TEffectParams ReadGlobalEffectParams(const TIniIdentList& main, bool globalOn) {
  TEffectParams p;
  p.smoothLine = Scaled(main, u"opt_fx_smoothline", 0, 0.001);
  if (!globalOn) return p;
  p.broomOffset = Scaled(main, u"opt_fx_broomoffset", 0, 0.01);
  p.rollDiameter = Scaled(main, u"opt_fx_rolldiameter", 0, 0.001);
  p.rollVariants = IsOne(main, u"opt_fx_rollvariants", u"1");
  p.rollUseBackColor = IsOne(main, u"opt_fx_rollusebackcolor", u"0");
  p.roll3D = IsOne(main, u"opt_fx_roll3d", u"0");
  p.rollCurving = ReadSingle(main, u"opt_fx_rollcurving", 0.125f);
  p.flipCurving = ReadSingle(main, u"opt_fx_flipcurving", 0.5f);
  p.flipCenter = IsOne(main, u"opt_fx_flipcenter", u"0");
  p.flipSmooth = IsOne(main, u"opt_fx_flipsmooth", u"1");
  p.swapDepth = ReadSingle(main, u"opt_fx_swapdepth", 4);
  p.swapWidth = ReadSingle(main, u"opt_fx_swapwidth", 1);
  p.swapMaxAngle = ReadSingle(main, u"opt_fx_swapmaxangle", 60);
  p.rollBackColor = p.rollUseBackColor ? RgbFromInteger(main.ReadInteger(u"opt_fx_rollbackcolor", 0)) : TRgbColor{};
  p.mosaicDX = main.ReadInteger(u"opt_fx_mosaic_dx", 1);
  p.mosaicDY = main.ReadInteger(u"opt_fx_mosaic_dy", 1);
  p.mosaicSC = main.ReadInteger(u"opt_fx_mosaic_sc", 0);
  p.centerX = main.ReadInteger(u"opt_fx_center_x", 50);
  p.centerY = main.ReadInteger(u"opt_fx_center_y", 50);
  return p;
}

void ApplySlideEffectParams(const TIniIdentList& slide, TEffectParams& p) {
  p.rollVariants = slide.ReadString(u"EffectRollVariants", u"") == u"1";
  p.rollDiameter = Scaled(slide, u"EffectRollDiameter", 0, 0.001);
  // The broom offset is stored in hundredths; the global value goes back to
  // that unit to serve as the default.
  p.broomOffset =
      Scaled(slide, u"EffectBroomOffset", static_cast<int32_t>(std::lround(p.broomOffset * 100.0)), 0.01);
  p.roll3D = slide.ReadBool(u"EffectRoll3D", p.roll3D);
  p.rollCurving = ReadSingle(slide, u"EffectRollCurving", p.rollCurving);
  p.flipCenter = slide.ReadBool(u"EffectFlipCenter", p.flipCenter);
  p.flipCurving = ReadSingle(slide, u"EffectFlipCurving", p.flipCurving);
  p.flipSmooth = slide.ReadBool(u"EffectFlipSmooth", p.flipSmooth);
  p.swapDepth = ReadSingle(slide, u"EffectSwapDepth", p.swapDepth);
  p.swapWidth = ReadSingle(slide, u"EffectSwapWidth", p.swapWidth);
  p.swapMaxAngle = ReadSingle(slide, u"EffectSwapMaxAngle", p.swapMaxAngle);
  p.rollUseBackColor = slide.ReadBool(u"EffectRollUseBackColor", p.rollUseBackColor);
  if (p.rollUseBackColor)
    p.rollBackColor = RgbFromInteger(slide.ReadInteger(u"EffectRollBackColor", RgbToInteger(p.rollBackColor)));
  p.mosaicDX = slide.ReadInteger(u"EffectMosaicDX", p.mosaicDX);
  p.mosaicDY = slide.ReadInteger(u"EffectMosaicDY", p.mosaicDY);
  p.mosaicSC = slide.ReadInteger(u"EffectMosaicSC", p.mosaicSC);
  p.centerX = slide.ReadInteger(u"EffectCenterX", p.centerX);
  p.centerY = slide.ReadInteger(u"EffectCenterY", p.centerY);
}

void ApplySlideSmoothLine(const TIniIdentList& slide, TEffectParams& p) {
  p.smoothLine = Scaled(slide, u"EffectSmoothline", static_cast<int32_t>(std::lround(p.smoothLine * 1000.0)), 0.001);
}

}  // namespace zel
