// The main window's input: SDL's events translated and routed, keys,
// mouse buttons and the wheel looked up in the show's input mapping, and
// the actions that navigate the show.
#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/log.h"
#include "player/main_form.h"
#include "player/slide_navigation.h"
#include "show/zel_source.h"

namespace zel {

namespace {

TMouseData::TKind DataKind(TMouseEvent type) {
  switch (type) {
    case TMouseEvent::Press:
    case TMouseEvent::DoubleClick:
      return TMouseData::TKind::Press;
    case TMouseEvent::Release:
      return TMouseData::TKind::Release;
    case TMouseEvent::Move:
      break;
  }
  return TMouseData::TKind::Move;
}

uint32_t MouseButtonMask() { return SDL_GetMouseState(nullptr, nullptr); }

// Wheel units as the show counts them: 120 a notch, positive away from
// the user.
int32_t WheelDelta(const SDL_MouseWheelEvent& wheel) {
  auto delta = static_cast<int32_t>(std::lround(wheel.preciseY * 120.0f));
  if (delta == 0) delta = wheel.y * 120;
  return wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -delta : delta;
}

}  // namespace

// --- Events -------------------------------------------------------------------------

bool TMainForm::OnSdlEvent(TVxMessage& message) {
  const auto* event = static_cast<const SDL_Event*>(message.Event);
  if (!event) return false;
  switch (event->type) {
    case SDL_QUIT:
      CloseRequest();
      return true;
    case SDL_WINDOWEVENT:
      OnWindowEvent(*event);
      return true;
    case SDL_KEYDOWN:
      if (const auto key = KeyInputFromSdl(event->key)) KeyDown(*key);
      return true;
    case SDL_MOUSEMOTION:
      MouseInput(MouseInputFromSdl(event->motion, static_cast<uint16_t>(SDL_GetModState())));
      return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      OnMouseButton(*event);
      return true;
    case SDL_MOUSEWHEEL:
      Wheel(WheelDelta(event->wheel), ModifiersFromSdl(static_cast<uint16_t>(SDL_GetModState()), MouseButtonMask()));
      return true;
    default:
      return false;
  }
}

void TMainForm::OnWindowEvent(const SDL_Event& event) {
  switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      CloseRequest();
      break;
    case SDL_WINDOWEVENT_ENTER:
      fMouseMonitor.Entered();
      break;
    case SDL_WINDOWEVENT_LEAVE:
      fMouseMonitor.Left();
      fViewer->Mouse(TMouseData::TKind::Move, 0, -1, -1);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED:
      fViewer->SetWindowActive(false);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
      fViewer->SetWindowActive(true);
      break;
    default:
      break;
  }
}

void TMainForm::OnMouseButton(const SDL_Event& event) {
  for (const TMouseInput& input :
       MouseInputsFromSdl(event.button, static_cast<uint16_t>(SDL_GetModState()), MouseButtonMask())) {
    MouseInput(input);
  }
}

// --- Keys, mouse and wheel --------------------------------------------------------------

void TMainForm::KeyDown(const TKeyInput& key) {
  if (fBusy > 0 || fClosing || !fMapping) return;
  if (fStartupChild && key.virtualKey == virtual_key::kReturn && !key.repeat) {
    RunAction({TActionKind::CloseDialog, 0, {}});
    return;
  }
  TZelEngine* engine = fViewer->Engine();
  if (engine && engine->DialogOpen()) {
    if (key.virtualKey == virtual_key::kEscape) {
      fViewer->CloseDialog();
      return;
    }
    // The dialog has every other key but F1.
    if (key.virtualKey != virtual_key::kF1) return;
  }
  if (const TKeyMap* binding = fMapping->LookUpKey(key.modifiers, key.virtualKey, key.type, key.repeat)) {
    RunAction(binding->Action());
    return;
  }
  if (engine && engine->Waiting() && fMapping->EndsWait(key.virtualKey, key.repeat)) engine->ContinueFromBarrier();
}

void TMainForm::MouseInput(const TMouseInput& mouse) {
  if (fBusy > 0 || fClosing || !fMapping) return;
  if (Clock().Milliseconds() - fCreatedAt < kMouseDeafMs) return;
  if (mouse.type == TMouseEvent::Move) fMouseMonitor.Moved(mouse.x, mouse.y);
  const TZelActionInfo action = fMapping->LookUpMouse(mouse.modifiers, mouse.x, mouse.y, mouse.type, mouse.button);
  if (fMouseMonitor.Hidden() && action.kind != TActionKind::Help) {
    if (!action.Empty()) RunAction(action);
    return;
  }
  // Objects under the pointer see the event first; the mapped action is
  // carried out when none takes it.
  if (mouse.type == TMouseEvent::DoubleClick) {
    if (!action.Empty()) RunAction(action);
  } else if (action.Empty()) {
    fViewer->Mouse(DataKind(mouse.type), mouse.modifiers, mouse.x, mouse.y, static_cast<uint8_t>(mouse.button));
  } else {
    fViewer->MouseWithAction(DataKind(mouse.type), mouse.modifiers, mouse.x, mouse.y, action,
                             static_cast<uint8_t>(mouse.button));
  }
}

void TMainForm::Wheel(int32_t delta, uint32_t modifiers) {
  if (fBusy > 0 || fClosing || !fWheelNavigation || !fSource) return;
  if (Clock().Milliseconds() - fCreatedAt < kMouseDeafMs) return;
  using namespace input_modifier;
  if ((modifiers & (kWindows | kShift | kAlt | kCtrl)) == kCtrl) {
    // Toward the user is the next slide.
    if (delta < 0) NextSlide();
    if (delta > 0) PreviousSlide();
    return;
  }
  fWheelRemainder += delta;
  const int32_t notches = fWheelRemainder / kWheelNotch;
  fWheelRemainder -= notches * kWheelNotch;
  if (notches != 0) SeekBy(-static_cast<int64_t>(notches) * kWheelStepMs);
}

// --- Navigation ------------------------------------------------------------------------------

void TMainForm::NextSlide() {
  TZelEngine* engine = fViewer->Engine();
  if (engine && engine->Waiting()) {
    engine->ContinueFromBarrier();
    return;
  }
  if (!fSource) return;
  fViewer->Seek(std::llround(NextSlideTarget(*fSource, fViewer->Position(), fViewer->Paused())));
}

void TMainForm::PreviousSlide() {
  if (fSource) fViewer->Seek(std::llround(PreviousSlideTarget(*fSource, fViewer->Position())));
}

void TMainForm::GoToSlide(const TZelActionInfo& action) {
  if (!fSource || fSource->SlideCount() <= 0) return;
  fViewer->Seek(std::llround(GoToSlideTarget(*fSource, SlideIndexForAction(*fSource, action))));
}

void TMainForm::TogglePause() {
  TZelEngine* engine = fViewer->Engine();
  if (engine && engine->Waiting()) {
    engine->ContinueFromBarrier();
    return;
  }
  fViewer->SetPaused(!fViewer->Paused());
}

void TMainForm::SeekBy(int64_t delta) {
  const int64_t length = std::max<int64_t>(0, fViewer->Length());
  fViewer->Seek(std::clamp<int64_t>(fViewer->Position() + delta, 0, length));
}

}  // namespace zel
