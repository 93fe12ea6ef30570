// The layer above the slides (dialogs, the navigation panel, the logo) as
// the engine sees it. The layer itself arrives later; until then the
// engine works with one that holds nothing.
#pragma once

#include <optional>

#include "core/strings.h"
#include "draw/draw_item.h"

namespace zel {

class TMouseData;

class TThirdSlideLayer : public TDrawItem {
 public:
  // The show time of this frame.
  virtual void SetTime(double time) = 0;
  // An open dialog that pauses the show holds it.
  virtual bool HoldsShow() const = 0;
  virtual bool DialogOpen() const = 0;
  virtual void OpenDialog(const TString& name) = 0;
  virtual void CloseDialog() = 0;
  // Before going to another slide: the dialogs that hold the show go.
  virtual void CloseDialogsForNavigation() = 0;
  // The action of what the pointer is over, when the layer took the event.
  virtual std::optional<TString> HitTest(const TMouseData& mouse, bool& took) = 0;
  // Whether anything in the layer changed since it was last drawn.
  virtual bool Changed() const = 0;
};

class TNullThirdSlide final : public TThirdSlideLayer {
 public:
  void SetTime(double) override {}
  bool HoldsShow() const override { return false; }
  bool DialogOpen() const override { return false; }
  void OpenDialog(const TString&) override {}
  void CloseDialog() override {}
  void CloseDialogsForNavigation() override {}
  std::optional<TString> HitTest(const TMouseData&, bool& took) override {
    took = false;
    return std::nullopt;
  }
  bool Changed() const override { return false; }
  void Draw(TDeviceDrawer&) override {}
};

}  // namespace zel
