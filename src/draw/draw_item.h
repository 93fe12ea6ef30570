// The base of everything that can be drawn: the show's objects, the root of
// the show's item tree and the frame compositor. An item draws itself by
// calling the drawer's operations with its current, already animated
// parameters.
#pragma once

#include <cstdint>

#include "core/obj.h"

namespace zel {

class TDeviceDrawer;

class TDrawItem : public TObj {
 public:
  // Either change flag set; kinds add their own tests.
  virtual bool IsChanged() const { return fContentChanged || fLayoutChanged; }
  // The whole-picture blur (positive) or sharpening (negative) amount.
  virtual float GetBlur() const { return 0; }
  // Called after every top-level frame, also when drawing failed.
  virtual void AfterDraw(TDeviceDrawer& drawer) { (void)drawer; }
  virtual void Draw(TDeviceDrawer& drawer) = 0;

  bool ContentChanged() const noexcept { return fContentChanged != 0; }
  bool LayoutChanged() const noexcept { return fLayoutChanged != 0; }
  void SetContentChanged(bool changed) noexcept { fContentChanged = changed ? 1 : 0; }
  void SetLayoutChanged(bool changed) noexcept { fLayoutChanged = changed ? 1 : 0; }

 private:
  uint8_t fContentChanged = 0;
  uint8_t fLayoutChanged = 0;
};

}  // namespace zel
