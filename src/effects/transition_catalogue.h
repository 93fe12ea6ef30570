// The catalogue of transitions: which drawn effect a transition class
// becomes, with its parameters scaled to the view it is drawn in, and the
// factory through which the show's filters reach it.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/draw_filter.h"
#include "imaging/geometry.h"
#include "show/effect_params.h"

namespace zel {

class TDrawItem;

// The effect of a class, or none for a class that is not positive. A class
// not made yet is drawn as a cross-fade; the first time a class is met the
// log says so. Class 18 comes through the custom effect hook, made with
// slideA (a cross-fade when it cannot be made). The roll diameter is
// scaled by the view's width and the broom offset by the mean of its width
// and height; the soft edges are round(width x smooth line) pixels wide.
// The caller sets the target rectangle.
std::unique_ptr<TDrawFilter> MakeTransition(const TRect& view, int32_t effectClass, int32_t variant, TDrawItem* slideA,
                                            const TEffectParams& params, double duration);

// The catalogue as the factory every slide's filter makes its effect with:
// laid out in the drawer's view and drawn over its canvas.
void InstallTransitions();

}  // namespace zel
