// One key point of an object's animation: a moment on the slide's time line
// (an anchor of the slide plus an offset) and the drawable values the object
// has at that moment.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

// The slide moments a key point can be tied to. The numbers are those of
// the project text.
enum class TKeyPointAnchor : uint8_t { SlideBegin = 0, PrevEffectEnd = 1, NextEffectBegin = 2, SlideEnd = 3 };
inline constexpr int kKeyPointAnchorCount = 4;

// "SlideBegin", "PrevEffectEnd", "NextEffectBegin", "SlideEnd", in anchor order.
std::span<const TString> KeyPointAnchorNames();
const TString& KeyPointAnchorName(TKeyPointAnchor anchor);
// Matched without regard to case; nothing for an unknown name.
std::optional<TKeyPointAnchor> KeyPointAnchorFromName(TStringView name);

// Whoever knows the times of the slide an animation lives on. The object
// tree implements it; the key points only ask.
class TAnchorTimeSource {
 public:
  virtual ~TAnchorTimeSource() = default;
  virtual double AnchorTime(TKeyPointAnchor anchor) const = 0;
};

// The anchors of a slide from its time-table entry: begin = start,
// previous effect end = start + incoming transition, next effect begin =
// end, slide end = end + outgoing transition.
class TSlideAnchorTimes : public TAnchorTimeSource {
 public:
  TSlideAnchorTimes() = default;
  TSlideAnchorTimes(double start, double end, double inEffect, double outEffect)
      : fStart(start), fEnd(end), fInEffect(inEffect), fOutEffect(outEffect) {}

  void Set(double start, double end, double inEffect, double outEffect) {
    fStart = start;
    fEnd = end;
    fInEffect = inEffect;
    fOutEffect = outEffect;
  }
  double AnchorTime(TKeyPointAnchor anchor) const override;

 private:
  double fStart = 0, fEnd = 0, fInEffect = 0, fOutEffect = 0;
};

// The animated float values, in the order they are stored.
enum class TKeyValue : uint8_t {
  Opacity,
  Angle,  // radians
  ScaleX,
  ScaleY,
  PositionX,
  PositionY,
  Depth,
  CenterX,
  CenterY,
  // Four values that travel from key point to key point but are never read
  // from the project; nothing interpolates them.
  Extra1,
  Extra2,
  Extra3,
  Extra4,
  AngleX,  // radians
  AngleY,  // radians
  Blur,
  ColorDegree,
};
inline constexpr int kKeyValueCount = 17;

// Scales below this would make the perspective ratios and the placement
// degenerate.
inline constexpr float kMinKeyPointScale = 0.001f;

struct TKeyPointColor {
  uint8_t red = 255, green = 255, blue = 255;
  bool operator==(const TKeyPointColor&) const = default;
};

// The full set of drawable values of a key point, or the current values of
// a key-point list.
class TKeyPointValues {
 public:
  TKeyPointValues();

  float Get(TKeyValue which) const noexcept { return fValues[static_cast<size_t>(which)]; }
  // Scales are kept at kMinKeyPointScale or more.
  void Set(TKeyValue which, float value) noexcept;
  const TKeyPointColor& Color() const noexcept { return fColor; }
  void SetColor(TKeyPointColor color) noexcept { fColor = color; }

  float Opacity() const noexcept { return Get(TKeyValue::Opacity); }
  float Angle() const noexcept { return Get(TKeyValue::Angle); }
  float ScaleX() const noexcept { return Get(TKeyValue::ScaleX); }
  float ScaleY() const noexcept { return Get(TKeyValue::ScaleY); }
  float PositionX() const noexcept { return Get(TKeyValue::PositionX); }
  float PositionY() const noexcept { return Get(TKeyValue::PositionY); }
  float Depth() const noexcept { return Get(TKeyValue::Depth); }
  float CenterX() const noexcept { return Get(TKeyValue::CenterX); }
  float CenterY() const noexcept { return Get(TKeyValue::CenterY); }
  float AngleX() const noexcept { return Get(TKeyValue::AngleX); }
  float AngleY() const noexcept { return Get(TKeyValue::AngleY); }
  float Blur() const noexcept { return Get(TKeyValue::Blur); }
  float ColorDegree() const noexcept { return Get(TKeyValue::ColorDegree); }

  bool operator==(const TKeyPointValues&) const = default;

 private:
  friend class TKeyPointList;  // interpolation writes the raw array
  std::array<float, kKeyValueCount> fValues;
  TKeyPointColor fColor;
};

class TKeyPoint : public TObj {
 public:
  TKeyPoint(TKeyPointAnchor anchor, double offset, const TKeyPointValues& values)
      : fAnchor(anchor), fOffset(offset), fValues(values) {}

  TKeyPointAnchor Anchor() const noexcept { return fAnchor; }
  double Offset() const noexcept { return fOffset; }
  const TKeyPointValues& Values() const noexcept { return fValues; }

  // Setting a value marks the key point changed only when the new value
  // differs from the old one at the fourth decimal place, so that a value
  // written back unchanged by an editor does not force a redraw. Both
  // return whether the mark was set.
  bool SetValue(TKeyValue which, float value) noexcept;
  bool SetColor(TKeyPointColor color) noexcept;

  bool Changed() const noexcept { return fChanged; }
  void SetChanged(bool changed) noexcept { fChanged = changed; }

 private:
  TKeyPointAnchor fAnchor;
  double fOffset;
  TKeyPointValues fValues;
  bool fChanged = false;
};

}  // namespace zel
