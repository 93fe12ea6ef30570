#include "show/key_point.h"

#include <cmath>

#include "ini/ini_document.h"

namespace zel {

std::span<const TString> KeyPointAnchorNames() {
  static const TString names[kKeyPointAnchorCount] = {u"SlideBegin", u"PrevEffectEnd", u"NextEffectBegin",
                                                      u"SlideEnd"};
  return names;
}

const TString& KeyPointAnchorName(TKeyPointAnchor anchor) {
  return KeyPointAnchorNames()[static_cast<size_t>(anchor) % kKeyPointAnchorCount];
}

std::optional<TKeyPointAnchor> KeyPointAnchorFromName(TStringView name) {
  // The project folds names the same way as its keys.
  const TString folded = IniFold(name);
  const auto names = KeyPointAnchorNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (IniFold(names[i]) == folded) return static_cast<TKeyPointAnchor>(i);
  return std::nullopt;
}

double TSlideAnchorTimes::AnchorTime(TKeyPointAnchor anchor) const {
  switch (anchor) {
    case TKeyPointAnchor::SlideBegin:
      return fStart;
    case TKeyPointAnchor::PrevEffectEnd:
      return fStart + fInEffect;
    case TKeyPointAnchor::NextEffectBegin:
      return fEnd;
    case TKeyPointAnchor::SlideEnd:
      return fEnd + fOutEffect;
  }
  return fStart;
}

TKeyPointValues::TKeyPointValues() {
  fValues.fill(0.0f);
  Set(TKeyValue::Opacity, 100.0f);
  Set(TKeyValue::ScaleX, 100.0f);
  Set(TKeyValue::ScaleY, 100.0f);
}

void TKeyPointValues::Set(TKeyValue which, float value) noexcept {
  if ((which == TKeyValue::ScaleX || which == TKeyValue::ScaleY) && !(value >= kMinKeyPointScale))
    value = kMinKeyPointScale;
  fValues[static_cast<size_t>(which)] = value;
}

namespace {

// Compared in ten-thousandths, the precision the authoring side works in.
bool DiffersAtFourthDecimal(float a, float b) {
  return std::round(static_cast<double>(a) * 10000.0) != std::round(static_cast<double>(b) * 10000.0);
}

}  // namespace

bool TKeyPoint::SetValue(TKeyValue which, float value) noexcept {
  const float old = fValues.Get(which);
  fValues.Set(which, value);
  const bool changed = DiffersAtFourthDecimal(old, fValues.Get(which));
  if (changed) fChanged = true;
  return changed;
}

bool TKeyPoint::SetColor(TKeyPointColor color) noexcept {
  const bool changed = !(fValues.Color() == color);
  fValues.SetColor(color);
  if (changed) fChanged = true;
  return changed;
}

}  // namespace zel
