// The parameters a transition is played with, from the show's global
// settings and from a slide's own transition settings.
#pragma once

#include <cstdint>

#include "core/strings.h"

namespace zel {

class TIniIdentList;

struct TRgbColor {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const TRgbColor&) const = default;
};

// A colour the project stores as one integer: red in bits 0-7, green in
// 8-15, blue in 16-23.
TRgbColor RgbFromInteger(int32_t value) noexcept;
int32_t RgbToInteger(TRgbColor color) noexcept;

// What a transition receives besides its class, variant and duration. The
// initial values are those a project gets when it names none.
struct TEffectParams {
  float smoothLine = 0;    // fraction of the picture size
  float broomOffset = 0;   // fraction
  float rollDiameter = 0;  // fraction
  bool rollVariants = true;
  bool rollUseBackColor = false;
  TRgbColor rollBackColor;
  bool roll3D = false;
  float rollCurving = 0.125f;
  bool flipCenter = false;
  float flipCurving = 0.5f;
  bool flipSmooth = true;
  float swapDepth = 4;
  float swapWidth = 1;
  float swapMaxAngle = 60;
  int32_t centerX = 50;  // percent
  int32_t centerY = 50;  // percent
  int32_t mosaicDX = 1;
  int32_t mosaicDY = 1;
  int32_t mosaicSC = 0;
  int32_t seed = 0;
  TString customEffects;  // descriptions joined by "|"

  bool operator==(const TEffectParams&) const = default;
};

// The variant a character of an effect string stands for: "1"-"8" are 1-8,
// "A"-"H" and "a"-"h" are 9-16, anything else is 1.
int32_t EffectVariantOfChar(char16_t c) noexcept;

// The global parameters from the main section. The smooth line is always
// read; the others only when global transitions are on (otherwise they keep
// their initial values). The custom effects text is left empty: the effect
// pool knows which descriptions belong in it.
TEffectParams ReadGlobalEffectParams(const TIniIdentList& main, bool globalOn);

// A slide's own parameters over the global ones, for a slide with its own
// transition: every field reads the slide's key with the global value as
// default, except the roll variants ("EffectRollVariants" must be "1") and
// the roll diameter (default 0). The smooth line, seed and custom effects
// are not touched.
void ApplySlideEffectParams(const TIniIdentList& slide, TEffectParams& params);

// "EffectSmoothline" of a slide that sets "EffectUseSmoothline".
void ApplySlideSmoothLine(const TIniIdentList& slide, TEffectParams& params);

}  // namespace zel
