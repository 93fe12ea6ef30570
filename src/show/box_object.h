// Boxes and frames: a solid or two-colour gradient rectangle of the size
// the project gives.
#pragma once

#include <cstdint>
#include <memory>

#include "draw/device_drawer.h"
#include "show/object_shadow.h"
#include "show/zel_object.h"

namespace zel {

enum class TBoxFillMode : uint8_t { Solid = 0, HGradient = 1, VGradient = 2, TLBRGradient = 3, TRBLGradient = 4 };

// The drawer's gradient type for a fill mode.
uint8_t GradientTypeOf(TBoxFillMode mode) noexcept;

class TZelBox : public TZelObject {
 public:
  TZelBox(TZelObject* parent, TStringView guid);
  ~TZelBox() override;

  TBoxFillMode FillMode() const noexcept { return fFillMode; }
  // ARGB: the colours with their alphas.
  uint32_t Color1() const noexcept { return fColor1; }
  uint32_t Color2() const noexcept { return fColor2; }
  bool Antialiased() const noexcept { return fAntialiased; }

  // The drawer's description of the box as it stands now.
  TBoxDrawParams DrawParams() const;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;
  void DrawSelf(TDeviceDrawer& drawer) override;
  void ReleaseResources(TDeviceDrawer& drawer) override;

 private:
  void DrawShadow(TDeviceDrawer& drawer);

  TBoxFillMode fFillMode = TBoxFillMode::Solid;
  uint32_t fColor1 = 0xFF000000, fColor2 = 0xFF000000;
  bool fAntialiased = false;
  std::unique_ptr<TObjectShadow> fShadowPicture;
};

// The same rectangle under another type name, for the authoring side.
class TZelFrame : public TZelBox {
 public:
  using TZelBox::TZelBox;
};

}  // namespace zel
