// What lies behind a slide's objects: a solid colour, one of two
// two-colour gradients, or a tiled picture.
#pragma once

#include <cstdint>

#include "core/strings.h"
#include "show/effect_params.h"

namespace zel {

class TIniIdentList;

enum class TBackgroundKind : uint8_t { Solid = 0, Gradient1 = 1, Gradient2 = 2, Picture = 3 };

struct TBackgroundDescriptor {
  TBackgroundKind kind = TBackgroundKind::Solid;
  TString imageName;
  double size = 100;  // percent of the slide's width or height
  TRgbColor color1, color2;
  bool operator==(const TBackgroundDescriptor&) const = default;
};

// The background of a slide: the show's ("opt_" keys of the main section),
// or the slide's own when its section has "UsePersonal" and "Pers_Fon"
// both "1". Styles it does not know, and a picture without a name, give
// black.
TBackgroundDescriptor ReadSlideBackground(const TIniIdentList& main, const TIniIdentList* slideSection);

}  // namespace zel
