// What every drawable object of a slide shares below the object tree: its
// identity (a GUID) and its key-point list with the current animated values.
#pragma once

#include "core/strings.h"
#include "draw/draw_item.h"
#include "show/key_points.h"

namespace zel {

// A new GUID in its 38-character braced text form.
TString NewGuidString();

class TZelParams : public TDrawItem, public TAnchorTimeSource {
 public:
  // An empty GUID gets a new one.
  explicit TZelParams(TStringView guid);
  TZelParams(const TZelParams&) = delete;
  TZelParams& operator=(const TZelParams&) = delete;

  const TString& Guid() const noexcept { return fGuid; }

  TKeyPoints& KeyPoints() noexcept { return fKeyPoints; }
  const TKeyPoints& KeyPoints() const noexcept { return fKeyPoints; }
  const TKeyPointValues& Values() const noexcept { return fKeyPoints.Current(); }

  float Opacity() const noexcept { return Values().Opacity(); }
  float Angle() const noexcept { return Values().Angle(); }
  float ScaleX() const noexcept { return Values().ScaleX(); }
  float ScaleY() const noexcept { return Values().ScaleY(); }
  float PositionX() const noexcept { return Values().PositionX(); }
  float PositionY() const noexcept { return Values().PositionY(); }
  float Depth() const noexcept { return Values().Depth(); }
  float CenterX() const noexcept { return Values().CenterX(); }
  float CenterY() const noexcept { return Values().CenterY(); }
  float AngleX() const noexcept { return Values().AngleX(); }
  float AngleY() const noexcept { return Values().AngleY(); }
  float Blur() const noexcept { return Values().Blur(); }
  float ColorDegree() const noexcept { return Values().ColorDegree(); }
  const TKeyPointColor& Color() const noexcept { return Values().Color(); }

  float GetBlur() const override { return Blur(); }
  // The opacity the drawer uses, percent.
  virtual float EffectiveOpacity() const { return Opacity(); }
  virtual void UpdateTransform(bool withChildren) = 0;
  // A free object's anchors all lie at 0.
  double AnchorTime(TKeyPointAnchor anchor) const override {
    (void)anchor;
    return 0;
  }

 protected:
  void SetGuid(TString guid) { fGuid = std::move(guid); }

 private:
  TString fGuid;
  TKeyPoints fKeyPoints{this};
};

}  // namespace zel
