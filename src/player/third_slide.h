// The layer above the slides: the dialogs the show opens (each a small
// slide that fades in and out over 200 ms), the show's logo, and the place
// of the navigation panel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/geometry.h"
#include "player/slide_producer.h"
#include "player/third_slide_layer.h"

namespace zel {

class TImage;
class TZelDialog;
class TZelSource;

// Where an item sits: a position and an alignment, each a pair of
// percentages from -100 to 100 across the drawing rectangle.
struct TItemPlacement {
  float positionX = 0, positionY = 0;
  float alignX = 0, alignY = 0;
};

// The nine places by their codes ("Left-Top" 0 ... "Center" 8), moved
// inward by the offset percent.
TItemPlacement PlacementFor(int32_t code, float offset);
// The logo numbers its places differently; any other value is the centre.
int32_t LogoPlacementCode(int32_t logoPosition);
// The item's top-left corner in the rectangle.
TPoint PlaceItem(const TItemPlacement& placement, const TRect& rect, int32_t width, int32_t height);

class TThirdSlide : public TThirdSlideLayer {
 public:
  static constexpr uint64_t kFadeMs = 200;

  // The source is not owned; dialogs are built over it. frameWidth is the
  // loader's frame width.
  TThirdSlide(TZelSource& source, const TRect& drawingRect, int32_t frameWidth, int32_t frameHeight,
              TColor background);
  ~TThirdSlide() override;

  // --- What the engine asks ---------------------------------------------------
  void SetTime(double time) override;
  bool HoldsShow() const override;
  bool DialogOpen() const override { return !fDialogs.empty(); }
  void OpenDialog(const TString& name) override;
  void CloseDialog() override { CloseDialogAt(-1); }
  void CloseDialogsForNavigation() override;
  std::optional<TString> HitTest(const TMouseData& mouse, bool& took) override;
  bool Changed() const override { return fChanged; }
  void Draw(TDeviceDrawer& drawer) override;

  // --- Dialogs ----------------------------------------------------------------
  // Adds a built dialog (see the rules in OpenDialog).
  void AddDialog(std::unique_ptr<TZelDialog> dialog);
  // -1 or an index out of range: the topmost.
  void CloseDialogAt(int index);
  TZelDialog* TopmostDialog() const { return fDialogs.empty() ? nullptr : fDialogs.back().get(); }
  const std::vector<std::unique_ptr<TZelDialog>>& Dialogs() const noexcept { return fDialogs; }

  // --- Logo -------------------------------------------------------------------
  bool HasLogo() const noexcept { return fLogo != nullptr; }
  // Where the logo is drawn, in screen pixels.
  TRect LogoRect() const;
  int32_t LogoLevel() const noexcept { return fLogoLevel; }
  void SetLogoHidden(bool hidden) noexcept { fLogoHidden = hidden; }

 private:
  struct TFade {
    TZelDialog* dialog = nullptr;
    bool opening = false;
    uint64_t start = 0;  // system ms; 0 until the first tick
    float from = 100;    // a fade-out never rises above where it began
  };
  void LoadLogo();
  void StartFade(TZelDialog* dialog, bool opening);
  void AdvanceFade();
  void RemoveDialog(TZelDialog* dialog);
  void FillOutsideSlides(TDeviceDrawer& drawer) const;

  TZelSource& fSource;
  TSlideProducer fDialogMaker;
  TRect fRect;
  int32_t fFrameWidth, fFrameHeight;
  double fHorizontalScale;
  TColor fBackground;
  std::vector<std::unique_ptr<TZelDialog>> fDialogs;
  TFade fFade;
  bool fChanged = true;

  std::unique_ptr<TImage> fLogo;
  TItemPlacement fLogoPlacement;
  float fLogoOpacity = 100;
  float fLogoSize = 10;
  int32_t fLogoLevel = 0;
  bool fLogoHidden = false;
};

}  // namespace zel
