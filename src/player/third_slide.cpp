#include "player/third_slide.h"

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "core/tick_count.h"
#include "imaging/bitmap_store.h"
#include "ini/ini_document.h"
#include "player/engine_data.h"
#include "show/zel_dialog.h"
#include "show/zel_source.h"

namespace zel {

namespace {

// An opacity must move by more than this to count as a change.
constexpr double kOpacityStep = 0.001;

int32_t Round(double value) { return static_cast<int32_t>(std::lround(value)); }

}  // namespace

TItemPlacement PlacementFor(int32_t code, float o) {
  switch (code) {
    case 0:
      return {o - 100, o - 100, -100, -100};
    case 1:
      return {0, o - 100, 0, -100};
    case 2:
      return {100 - o, o - 100, 100, -100};
    case 3:
      return {100 - o, 0, 100, 0};
    case 4:
      return {100 - o, 100 - o, 100, 100};
    case 5:
      return {0, 100 - o, 0, 100};
    case 6:
      return {o - 100, 100 - o, -100, 100};
    case 7:
      return {o - 100, 0, -100, 0};
    default:
      return {0, 0, 0, 0};
  }
}

int32_t LogoPlacementCode(int32_t logoPosition) {
  // Left, Top, Right, Bottom, (centre), Left-Top, Right-Top, Right-Bottom,
  // Left-Bottom.
  static constexpr int32_t kCodes[9] = {7, 1, 3, 5, 8, 0, 2, 4, 6};
  return logoPosition >= 0 && logoPosition < 9 ? kCodes[logoPosition] : 8;
}

TPoint PlaceItem(const TItemPlacement& p, const TRect& rect, int32_t width, int32_t height) {
  const int32_t left = Round((p.positionX / 100.0 + 1) * rect.Width() / 2) + rect.Left - Round(width * (p.alignX + 100) / 200.0);
  const int32_t top = Round((p.positionY / 100.0 + 1) * rect.Height() / 2) + rect.Top - Round(height * (p.alignY + 100) / 200.0);
  return {left, top};
}

TThirdSlide::TThirdSlide(TZelSource& source, const TRect& drawingRect, int32_t frameWidth, int32_t frameHeight,
                         TColor background)
    : fSource(source),
      fDialogMaker(&source, false),
      fRect(drawingRect),
      fFrameWidth(std::max(1, frameWidth)),
      fFrameHeight(std::max(1, frameHeight)),
      fHorizontalScale(static_cast<double>(drawingRect.Width()) / std::max(1, frameWidth)),
      fBackground(background) {
  fDialogMaker.SetFrame(fFrameWidth, fFrameHeight, TFillMode::Fit, 100, 100);
  LoadLogo();
}

TThirdSlide::~TThirdSlide() = default;

// --- Logo ------------------------------------------------------------------------

void TThirdSlide::LoadLogo() {
  const TIniSection& main = fSource.MainSection();
  const TString name = main.ReadString(u"opt_logo_fn", u"");
  if (name.empty() || !main.ReadBool(u"opt_logo", false)) return;
  const int32_t position = main.ReadInteger(u"opt_logo_pos", 0);
  fLogoOpacity = static_cast<float>(std::clamp(main.ReadFloat(u"opt_logo_opacity", 100), 0.0, 100.0));
  const float offset = static_cast<float>(std::clamp(main.ReadFloat(u"opt_logo_offset", 0), -100.0, 100.0));
  fLogoSize = static_cast<float>(std::clamp(main.ReadFloat(u"opt_logo_size", 10), 0.0, 100.0));
  fLogoPlacement = PlacementFor(LogoPlacementCode(position), offset);
  // A missing or damaged file gives the accessor's stand-in picture.
  fLogo = fDialogMaker.Host().RequestPicture(name);
  if (!fLogo || fLogo->Width() <= 0 || fLogo->Height() <= 0) {
    fLogo.reset();
    return;
  }
  // Drawn from a copy halved while both sides stay at least twice the size
  // it is shown at.
  const double targetHeight = fRect.Height() * fLogoSize / 100.0;
  const double targetWidth = targetHeight * fLogo->Width() / fLogo->Height();
  int32_t w = fLogo->Width(), h = fLogo->Height();
  while (w > 1 && h > 1 && w >= 2 * targetWidth && h >= 2 * targetHeight) {
    w = (w + 1) / 2;
    h = (h + 1) / 2;
    ++fLogoLevel;
  }
}

TRect TThirdSlide::LogoRect() const {
  if (!fLogo) return {};
  const int32_t height = Round(fRect.Height() * fLogoSize / 100.0);
  const int32_t width = Round(fLogo->Width() * static_cast<double>(height) / fLogo->Height() * fHorizontalScale);
  const TPoint at = PlaceItem(fLogoPlacement, fRect, width, height);
  return TRect::FromSize(at.X, at.Y, width, height);
}

// --- Dialogs -----------------------------------------------------------------------

void TThirdSlide::OpenDialog(const TString& name) {
  std::unique_ptr<TZelDialog> dialog;
  try {
    dialog = fDialogMaker.BuildDialog(name);
  } catch (const std::exception& e) {
    Log().Write("dialog " + StringToUtf8(name) + " not built: " + e.what());
  }
  if (dialog) AddDialog(std::move(dialog));
}

void TThirdSlide::AddDialog(std::unique_ptr<TZelDialog> dialog) {
  if (fFade.dialog && !fFade.opening) return;  // a dialog is fading out
  for (const auto& open : fDialogs) {
    if (open->DialogName() == dialog->DialogName()) {
      // Opening an open dialog closes it.
      StartFade(open.get(), false);
      return;
    }
  }
  dialog->SetDialogOpacity(0);
  fDialogs.push_back(std::move(dialog));
  StartFade(fDialogs.back().get(), true);
}

void TThirdSlide::CloseDialogAt(int index) {
  if (fDialogs.empty() || (fFade.dialog && !fFade.opening)) return;
  const size_t at = index >= 0 && static_cast<size_t>(index) < fDialogs.size() ? static_cast<size_t>(index)
                                                                               : fDialogs.size() - 1;
  StartFade(fDialogs[at].get(), false);
}

void TThirdSlide::CloseDialogsForNavigation() {
  std::vector<TZelDialog*> pausing;
  for (const auto& dialog : fDialogs)
    if (dialog->PausesShow()) pausing.push_back(dialog.get());
  if (pausing.empty()) return;
  // All but the topmost go at once; the first one left fades out.
  const TZelDialog* topmost = pausing.back();
  for (TZelDialog* dialog : pausing)
    if (dialog != topmost) RemoveDialog(dialog);
  for (const auto& dialog : fDialogs) {
    if (dialog->PausesShow()) {
      if (fFade.dialog && !fFade.opening) return;
      StartFade(dialog.get(), false);
      return;
    }
  }
}

bool TThirdSlide::HoldsShow() const {
  return std::any_of(fDialogs.begin(), fDialogs.end(), [](const auto& d) { return d->PausesShow(); });
}

void TThirdSlide::StartFade(TZelDialog* dialog, bool opening) {
  fFade = {dialog, opening, 0, dialog->DialogOpacity()};
  fChanged = true;
}

void TThirdSlide::RemoveDialog(TZelDialog* dialog) {
  if (fFade.dialog == dialog) fFade = {};
  fDialogs.erase(std::remove_if(fDialogs.begin(), fDialogs.end(), [dialog](const auto& d) { return d.get() == dialog; }),
                 fDialogs.end());
  fChanged = true;
}

void TThirdSlide::SetTime(double time) {
  (void)time;
  AdvanceFade();
}

void TThirdSlide::AdvanceFade() {
  TZelDialog* dialog = fFade.dialog;
  if (!dialog || !dialog->DrawnOnce()) return;
  const uint64_t now = TickCount();
  if (fFade.start == 0) fFade.start = now == 0 ? 1 : now;
  const double elapsed = static_cast<double>(now - std::min(now, fFade.start));
  const double c = std::min(100.0, elapsed * 100.0 / kFadeMs);
  // A dialog closed while it was still fading in goes out from the
  // opacity it had reached.
  const double opacity = fFade.opening ? c : std::min<double>(100 - c, fFade.from);
  if (std::fabs(opacity - dialog->DialogOpacity()) > kOpacityStep) {
    dialog->SetDialogOpacity(static_cast<float>(opacity));
    fChanged = true;
  }
  if (!fFade.opening && dialog->DialogOpacity() < 1) {
    RemoveDialog(dialog);
    return;
  }
  if (c >= 100) fFade = {};
}

// --- Hit testing and drawing ------------------------------------------------------

std::optional<TString> TThirdSlide::HitTest(const TMouseData& mouse, bool& took) {
  took = false;
  for (auto it = fDialogs.rbegin(); it != fDialogs.rend(); ++it) {
    TZelObject* hit = (*it)->HitTest(static_cast<float>(mouse.X), static_cast<float>(mouse.Y));
    if (!hit) continue;
    took = true;
    if (!hit->Action().empty()) return hit->Action();
    return std::nullopt;
  }
  return std::nullopt;
}

void TThirdSlide::FillOutsideSlides(TDeviceDrawer& drawer) const {
  const float w = static_cast<float>(fFrameWidth), h = static_cast<float>(fFrameHeight);
  const float l = static_cast<float>(fRect.Left), t = static_cast<float>(fRect.Top);
  const float r = static_cast<float>(fRect.Right), b = static_cast<float>(fRect.Bottom);
  if (t > 0) drawer.FillRect({0, 0}, {w, t}, fBackground);
  if (b < h) drawer.FillRect({0, b}, {w, h}, fBackground);
  if (l > 0) drawer.FillRect({0, t}, {l, b}, fBackground);
  if (r < w) drawer.FillRect({r, t}, {w, b}, fBackground);
}

void TThirdSlide::Draw(TDeviceDrawer& drawer) {
  for (const auto& dialog : fDialogs) {
    drawer.Draw(*dialog);
    dialog->SetDrawnOnce();
  }
  if (fLogo && !fLogoHidden) {
    const TRect at = LogoRect();
    TImageDrawParams params;
    params.opacity = fLogoOpacity;
    params.level = fLogoLevel;
    params.antialiased = 1;
    const T3DVector axisX{static_cast<double>(at.Width()) / fLogo->Width(), 0, 0};
    const T3DVector axisY{0, static_cast<double>(at.Height()) / fLogo->Height(), 0};
    drawer.DrawImage(*fLogo, {static_cast<double>(at.Left), static_cast<double>(at.Top), 0}, params, axisX, axisY,
                     {0, 0});
  }
  // Without a navigation panel the fill comes after every item.
  FillOutsideSlides(drawer);
  fChanged = false;
}

}  // namespace zel
