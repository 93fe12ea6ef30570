// A dialog: a slide of its own shown above the show (help, custom dialogs),
// built like a slide at time 0 without a transition or a slide number.
#pragma once

#include "show/zel_slide.h"

namespace zel {

class TZelDialog : public TZelSlide {
 public:
  TZelDialog(TZelSlideHost* host, TString name, bool pausesShow)
      : TZelSlide(host, -1), fName(std::move(name)), fPausesShow(pausesShow) {}

  const TString& DialogName() const noexcept { return fName; }
  // "DialogPause": the show waits while the dialog is open.
  bool PausesShow() const noexcept { return fPausesShow; }
  float DialogOpacity() const noexcept { return fOpacity; }
  void SetDialogOpacity(float opacity) noexcept { fOpacity = opacity; }
  bool DrawnOnce() const noexcept { return fDrawnOnce; }
  void SetDrawnOnce() noexcept { fDrawnOnce = true; }

  float BaseOpacity() const override { return fOpacity; }

 private:
  TString fName;
  bool fPausesShow;
  float fOpacity = 100;
  bool fDrawnOnce = false;
};

}  // namespace zel
