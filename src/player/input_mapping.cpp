#include "player/input_mapping.h"

#include <algorithm>

#include "ini/ini_document.h"

namespace zel {

namespace {

using namespace input_modifier;
using namespace virtual_key;

// Standard bindings require that none of Shift, Alt and Ctrl is held; the
// Windows key does not matter.
constexpr uint32_t kStandardMask = kShift | kAlt | kCtrl;

// The mapping's detector only answers "did it move"; its idle time is
// never asked.
constexpr uint32_t kMappingIdleInterval = 0;

// The keys that continue a show waiting at a slide end when the navigation
// keys are off.
constexpr int32_t kWaitEndingKeys[] = {kPause, kSpace, kPageDown, kRight, kBrowserForward, kMediaNextTrack,
                                       kMediaPlayPause};

TInputAction Simple(TInputActionKind kind) { return TInputAction{kind, 0, {}}; }

bool KeyInRange(int32_t key) { return key >= 0 && key < TInputMappingClass::kKeyCount; }

}  // namespace

TInputAction MouseOptionAction(TStringView value) {
  if (value == u"Exit") return Simple(TInputActionKind::Exit);
  if (value == u"Next slide") return Simple(TInputActionKind::NextSlide);
  if (value == u"Prev. slide") return Simple(TInputActionKind::PrevSlide);
  if (value == u"Help") return Simple(TInputActionKind::Help);
  if (value == u"Pause") return Simple(TInputActionKind::Pause);
  if (value == u"Go to first") return Simple(TInputActionKind::GoToSlide);
  return {};
}

TInputMappingClass::TInputMappingClass(const TIniSection& main)
    : fScreenSaverBinding(0, 0, TKeyEvent::Pressed, Simple(TInputActionKind::Exit)) {
  fLeftMouse = MouseOptionAction(main.ReadString(u"opt_leftmouse", u""));
  fRightMouse = MouseOptionAction(main.ReadString(u"opt_rightmouse", u""));
  fDoubleClick = MouseOptionAction(main.ReadString(u"opt_dblclick", u""));
  fNavigationKeys = main.ReadBool(u"opt_synchpermitcontrol", true);
  fScreenSaver = main.ReadBool(u"opt_ssaver", false);
  if (fScreenSaver || main.ReadBool(u"opt_exitonmove", false)) {
    fMoveDetector = std::make_unique<TMouseMoveDetector>(kMappingIdleInterval);
  }
  AddStandardBindings(main.ReadInteger(u"opt_slidescount", 0), !main.ReadBool(u"opt_lockf1", false));
}

TInputMappingClass::~TInputMappingClass() {
  // Chains can be long only in theory; unlink them iteratively anyway so
  // that freeing never recurses deeply.
  for (auto& head : fChains) {
    while (head) head = std::move(head->fNext);
  }
}

void TInputMappingClass::AddStandardBindings(int32_t lastSlide, bool helpKey) {
  const auto bind = [this](int32_t key, TInputActionKind kind) {
    AddBinding(key, kStandardMask, 0, Simple(kind));
  };
  bind(kEscape, TInputActionKind::Exit);
  if (fNavigationKeys) {
    for (const int32_t key : {kSpace, kPause, kMediaPlayPause}) bind(key, TInputActionKind::Pause);
    AddBinding(kP, kStandardMask, kCtrl, Simple(TInputActionKind::Pause));
    bind(kMediaStop, TInputActionKind::Stop);
    for (const int32_t key : {kLeft, kPageUp, kBrowserBack, kMediaPrevTrack}) bind(key, TInputActionKind::PrevSlide);
    for (const int32_t key : {kRight, kPageDown, kBrowserForward, kMediaNextTrack})
      bind(key, TInputActionKind::NextSlide);
    // Slide numbers are 1-based and clamped at the first slide, so 0 is
    // the first slide.
    AddBinding(kHome, kStandardMask, 0, TInputAction{TInputActionKind::GoToSlide, 0, {}});
    AddBinding(kEnd, kStandardMask, 0, TInputAction{TInputActionKind::GoToSlide, lastSlide, {}});
  }
  if (helpKey) bind(kF1, TInputActionKind::Help);
}

void TInputMappingClass::AddBinding(int32_t key, uint32_t mask, uint32_t value, TInputAction action) {
  if (!KeyInRange(key)) return;
  auto binding = std::make_unique<TKeyMap>(mask, value, TKeyEvent::Pressed, std::move(action));
  binding->fNext = std::move(fChains[static_cast<size_t>(key)]);
  fChains[static_cast<size_t>(key)] = std::move(binding);
}

const TKeyMap* TInputMappingClass::Chain(int32_t key) const {
  return KeyInRange(key) ? fChains[static_cast<size_t>(key)].get() : nullptr;
}

const TKeyMap* TInputMappingClass::LookUpKey(uint32_t modifiers, int32_t key, TKeyEvent eventType,
                                             bool repeat) const {
  if (fScreenSaver) return &fScreenSaverBinding;
  if (repeat) return nullptr;
  for (const TKeyMap* binding = Chain(key); binding; binding = binding->Next()) {
    if (binding->Matches(modifiers, eventType)) return binding;
  }
  return nullptr;
}

TInputAction TInputMappingClass::KeyAction(uint32_t modifiers, int32_t key, TKeyEvent eventType, bool repeat) const {
  const TKeyMap* binding = LookUpKey(modifiers, key, eventType, repeat);
  return binding ? binding->Action() : TInputAction{};
}

TInputAction TInputMappingClass::LookUpMouse(uint32_t modifiers, int32_t x, int32_t y, TMouseEvent eventType,
                                             TMouseButton button) {
  if (fScreenSaver && modifiers != 0) return Simple(TInputActionKind::Exit);
  if (fMoveDetector && fMoveDetector->Record(x, y)) return Simple(TInputActionKind::Exit);
  if (eventType == TMouseEvent::Release && button == TMouseButton::Left) return fLeftMouse;
  if (eventType == TMouseEvent::Release && button == TMouseButton::Right) return fRightMouse;
  if (eventType == TMouseEvent::DoubleClick && button == TMouseButton::Left) return fDoubleClick;
  return {};
}

bool TInputMappingClass::EndsWait(int32_t key, bool repeat) const {
  if (fNavigationKeys || repeat) return false;
  return std::find(std::begin(kWaitEndingKeys), std::end(kWaitEndingKeys), key) != std::end(kWaitEndingKeys);
}

}  // namespace zel
