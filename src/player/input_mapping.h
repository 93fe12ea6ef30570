// The input mapping of a show: which action a key, a mouse button or a
// pointer movement in the main window means, following the show's options
// (mouse buttons, navigation keys, F1, screen-saver mode). One mapping is
// made from the project each time a show is opened.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "core/strings.h"
#include "player/mouse_move_detector.h"
#include "show/action_info.h"

namespace zel {

class TIniSection;

// The mapping speaks in action records.
using TInputActionKind = TActionKind;
using TInputAction = TZelActionInfo;

// Modifier state bits, as reported with every key and mouse event.
namespace input_modifier {
constexpr uint32_t kWindows = 1;
constexpr uint32_t kShift = 2;
constexpr uint32_t kAlt = 4;
constexpr uint32_t kCtrl = 8;
constexpr uint32_t kLeftButton = 16;
constexpr uint32_t kRightButton = 32;
constexpr uint32_t kMiddleButton = 64;
}  // namespace input_modifier

// Key event types: 1 is a press; every other value is a release.
enum class TKeyEvent : uint8_t { Released = 0, Pressed = 1 };

// Mouse event types. A double click arrives as a press followed by a
// double click.
enum class TMouseEvent : uint8_t { Move = 0, Press = 1, Release = 2, DoubleClick = 3 };

// Mouse buttons by their numbers in the event records.
enum class TMouseButton : uint8_t { None = 0, Left = 1, Right = 4, Middle = 5 };

// Virtual-key codes the mapping binds.
namespace virtual_key {
constexpr int32_t kReturn = 0x0D;
constexpr int32_t kPause = 0x13;
constexpr int32_t kEscape = 0x1B;
constexpr int32_t kSpace = 0x20;
constexpr int32_t kPageUp = 0x21;
constexpr int32_t kPageDown = 0x22;
constexpr int32_t kEnd = 0x23;
constexpr int32_t kHome = 0x24;
constexpr int32_t kLeft = 0x25;
constexpr int32_t kRight = 0x27;
constexpr int32_t kP = 0x50;
constexpr int32_t kF1 = 0x70;
constexpr int32_t kBrowserBack = 0xA6;
constexpr int32_t kBrowserForward = 0xA7;
constexpr int32_t kMediaNextTrack = 0xB0;
constexpr int32_t kMediaPrevTrack = 0xB1;
constexpr int32_t kMediaStop = 0xB2;
constexpr int32_t kMediaPlayPause = 0xB3;
}  // namespace virtual_key

// One key binding: the modifier bits under the mask must equal the value,
// and the event type must match. Bindings of one key form a chain, the
// newest first; each owns the next.
class TKeyMap : public TObj {
 public:
  TKeyMap(uint32_t mask, uint32_t value, TKeyEvent eventType, TInputAction action)
      : fMask(mask), fValue(value), fEventType(eventType), fAction(std::move(action)) {}

  bool Matches(uint32_t modifiers, TKeyEvent eventType) const noexcept {
    return eventType == fEventType && (modifiers & fMask) == fValue;
  }
  uint32_t Mask() const noexcept { return fMask; }
  uint32_t Value() const noexcept { return fValue; }
  TKeyEvent EventType() const noexcept { return fEventType; }
  const TInputAction& Action() const noexcept { return fAction; }
  const TKeyMap* Next() const noexcept { return fNext.get(); }

 private:
  friend class TInputMappingClass;
  uint32_t fMask;
  uint32_t fValue;
  TKeyEvent fEventType;
  TInputAction fAction;
  std::unique_ptr<TKeyMap> fNext;
};

class TInputMappingClass : public TObj {
 public:
  static constexpr int32_t kKeyCount = 256;

  // Reads the options from the project's "main" section.
  explicit TInputMappingClass(const TIniSection& main);
  ~TInputMappingClass() override;

  // The binding a key event means, or null. A repeated press (the key held
  // down) never navigates: it gives null, except that a screen saver ends
  // on any key event.
  const TKeyMap* LookUpKey(uint32_t modifiers, int32_t key, TKeyEvent eventType, bool repeat = false) const;
  // The binding's action, or the empty record.
  TInputAction KeyAction(uint32_t modifiers, int32_t key, TKeyEvent eventType, bool repeat = false) const;

  // The action of a mouse event (possibly empty). Every event, moves
  // included, feeds the mouse-move detector when there is one.
  TInputAction LookUpMouse(uint32_t modifiers, int32_t x, int32_t y, TMouseEvent eventType, TMouseButton button);

  // Whether pressing the key ends a wait at a slide end. Only with the
  // navigation keys off: with them on, those keys carry "pause" or
  // "nextslide", which end the wait themselves.
  bool EndsWait(int32_t key, bool repeat = false) const;

  bool NavigationKeys() const noexcept { return fNavigationKeys; }
  bool ScreenSaver() const noexcept { return fScreenSaver; }
  const TInputAction& LeftMouseAction() const noexcept { return fLeftMouse; }
  const TInputAction& RightMouseAction() const noexcept { return fRightMouse; }
  const TInputAction& DoubleClickAction() const noexcept { return fDoubleClick; }
  // Null unless the show is a screen saver or has "opt_exitonmove".
  TMouseMoveDetector* MoveDetector() const noexcept { return fMoveDetector.get(); }
  // The first binding of the key's chain, or null (also for codes out of range).
  const TKeyMap* Chain(int32_t key) const;

 private:
  void AddBinding(int32_t key, uint32_t mask, uint32_t value, TInputAction action);
  void AddStandardBindings(int32_t lastSlide, bool helpKey);

  std::array<std::unique_ptr<TKeyMap>, kKeyCount> fChains;
  TInputAction fLeftMouse;
  TInputAction fRightMouse;
  TInputAction fDoubleClick;
  std::unique_ptr<TMouseMoveDetector> fMoveDetector;
  bool fNavigationKeys = true;
  bool fScreenSaver = false;
  TKeyMap fScreenSaverBinding;
};

// The action a mouse option's value names ("Exit", "Next slide", ...),
// compared exactly; anything else is no action.
TInputAction MouseOptionAction(TStringView value);

}  // namespace zel
