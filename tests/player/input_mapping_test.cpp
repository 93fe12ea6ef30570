// The input mapping: key bindings, mouse actions, screen-saver exits, the
// mouse-move detector and the translation of SDL's keys, modifiers and
// buttons.
#include <gtest/gtest.h>

#include <SDL.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "ini/ini_document.h"
#include "player/input_mapping.h"
#include "player/mouse_move_detector.h"
#include "player/sdl_keys.h"
#include "show/show_project_support.h"

namespace zel {
namespace {

using show_testing::ParseProject;
using Kind = TInputActionKind;
namespace mod = input_modifier;
namespace vk = virtual_key;

constexpr auto kPress = TKeyEvent::Pressed;

// A mapping made from the given lines of the main section; it keeps its
// document alive.
struct TMappingOfShow {
  std::unique_ptr<TIniFile> document;
  std::unique_ptr<TInputMappingClass> mapping;

  explicit TMappingOfShow(const std::string& mainLines) : document(ParseProject("[main]\n" + mainLines)) {
    const TIniSection* main = document->FindSection(u"main");
    EXPECT_NE(main, nullptr);
    mapping = std::make_unique<TInputMappingClass>(*main);
  }
  TInputMappingClass* operator->() const { return mapping.get(); }
  Kind KeyKind(uint32_t modifiers, int32_t key, TKeyEvent type = kPress, bool repeat = false) const {
    return mapping->KeyAction(modifiers, key, type, repeat).kind;
  }
  Kind MouseKind(uint32_t modifiers, int32_t x, int32_t y, TMouseEvent type, TMouseButton button) const {
    return mapping->LookUpMouse(modifiers, x, y, type, button).kind;
  }
};

// ---------------------------------------------------------------------------
// Keys

TEST(InputMappingKeys, StandardBindingsOfADefaultShow) {
  const TMappingOfShow show("");
  const std::map<int32_t, Kind> expected = {
      {vk::kEscape, Kind::Exit},        {vk::kSpace, Kind::Pause},           {vk::kPause, Kind::Pause},
      {vk::kMediaPlayPause, Kind::Pause}, {vk::kMediaStop, Kind::Stop},        {vk::kLeft, Kind::PrevSlide},
      {vk::kPageUp, Kind::PrevSlide},   {vk::kBrowserBack, Kind::PrevSlide}, {vk::kMediaPrevTrack, Kind::PrevSlide},
      {vk::kRight, Kind::NextSlide},    {vk::kPageDown, Kind::NextSlide},    {vk::kBrowserForward, Kind::NextSlide},
      {vk::kMediaNextTrack, Kind::NextSlide}, {vk::kHome, Kind::GoToSlide},  {vk::kEnd, Kind::GoToSlide},
      {vk::kF1, Kind::Help},
  };
  for (int32_t key = 0; key < TInputMappingClass::kKeyCount; ++key) {
    const auto found = expected.find(key);
    const Kind want = found == expected.end() ? Kind::None : found->second;
    EXPECT_EQ(show.KeyKind(0, key), want) << "key " << key;
  }
  EXPECT_EQ(show->KeyAction(0, vk::kHome, kPress).number, 0);
  EXPECT_TRUE(show->NavigationKeys());
  EXPECT_FALSE(show->ScreenSaver());
}

TEST(InputMappingKeys, ShiftAltOrCtrlBlockTheStandardKeysButTheWindowsKeyDoesNot) {
  const TMappingOfShow show("");
  EXPECT_EQ(show.KeyKind(mod::kShift, vk::kRight), Kind::None);
  EXPECT_EQ(show.KeyKind(mod::kAlt, vk::kLeft), Kind::None);
  EXPECT_EQ(show.KeyKind(mod::kCtrl, vk::kEscape), Kind::None);
  EXPECT_EQ(show.KeyKind(mod::kWindows, vk::kRight), Kind::NextSlide);
  // Mouse buttons held do not count either.
  EXPECT_EQ(show.KeyKind(mod::kLeftButton, vk::kRight), Kind::NextSlide);
}

TEST(InputMappingKeys, CtrlPPausesOnlyWithCtrlAlone) {
  const TMappingOfShow show("");
  EXPECT_EQ(show.KeyKind(mod::kCtrl, vk::kP), Kind::Pause);
  EXPECT_EQ(show.KeyKind(mod::kCtrl | mod::kShift, vk::kP), Kind::None);
  EXPECT_EQ(show.KeyKind(mod::kCtrl | mod::kAlt, vk::kP), Kind::None);
  EXPECT_EQ(show.KeyKind(0, vk::kP), Kind::None);
  EXPECT_EQ(show.KeyKind(mod::kCtrl | mod::kWindows, vk::kP), Kind::Pause);
}

TEST(InputMappingKeys, ReleasesRepeatsAndCodesOutOfRangeGiveNothing) {
  const TMappingOfShow show("");
  EXPECT_EQ(show.KeyKind(0, vk::kRight, TKeyEvent::Released), Kind::None);
  EXPECT_EQ(show.KeyKind(0, vk::kRight, kPress, true), Kind::None);
  EXPECT_EQ(show->LookUpKey(0, vk::kEscape, kPress, true), nullptr);
  EXPECT_EQ(show.KeyKind(0, 256), Kind::None);
  EXPECT_EQ(show.KeyKind(0, vk::kRight + 256), Kind::None);
  EXPECT_EQ(show.KeyKind(0, -1), Kind::None);
  EXPECT_EQ(show->Chain(256), nullptr);
}

TEST(InputMappingKeys, TheBindingCarriesItsMaskValueAndType) {
  const TMappingOfShow show("");
  const TKeyMap* ctrlP = show->LookUpKey(mod::kCtrl, vk::kP, kPress);
  ASSERT_NE(ctrlP, nullptr);
  EXPECT_EQ(ctrlP->Mask(), mod::kShift | mod::kAlt | mod::kCtrl);
  EXPECT_EQ(ctrlP->Value(), mod::kCtrl);
  EXPECT_EQ(ctrlP->EventType(), kPress);
  EXPECT_EQ(ctrlP->Next(), nullptr);
  EXPECT_EQ(show->Chain(vk::kP), ctrlP);
}

TEST(InputMappingKeys, EndGoesToTheSlideCountOption) {
  EXPECT_EQ(TMappingOfShow("opt_slidescount=7\n")->KeyAction(0, vk::kEnd, kPress),
            (TInputAction{Kind::GoToSlide, 7, {}}));
  // Without the option the number is 0, which lands on the first slide;
  // such a project has no slides in its order anyway.
  EXPECT_EQ(TMappingOfShow("")->KeyAction(0, vk::kEnd, kPress), (TInputAction{Kind::GoToSlide, 0, {}}));
}

TEST(InputMappingKeys, LockedF1IsIgnored) {
  const TMappingOfShow locked("opt_lockf1=1\n");
  EXPECT_EQ(locked.KeyKind(0, vk::kF1), Kind::None);
  EXPECT_EQ(locked.KeyKind(0, vk::kEscape), Kind::Exit);
  EXPECT_EQ(locked.KeyKind(0, vk::kRight), Kind::NextSlide);
  EXPECT_EQ(TMappingOfShow("opt_lockf1=0\n").KeyKind(0, vk::kF1), Kind::Help);
}

TEST(InputMappingKeys, WithoutNavigationKeysOnlyEscapeAndF1Remain) {
  const TMappingOfShow show("opt_synchpermitcontrol=0\n");
  EXPECT_FALSE(show->NavigationKeys());
  for (const int32_t key : {vk::kSpace, vk::kPause, vk::kLeft, vk::kRight, vk::kPageUp, vk::kPageDown, vk::kHome,
                            vk::kEnd, vk::kMediaStop, vk::kMediaPlayPause, vk::kBrowserForward}) {
    EXPECT_EQ(show.KeyKind(0, key), Kind::None) << "key " << key;
  }
  EXPECT_EQ(show.KeyKind(mod::kCtrl, vk::kP), Kind::None);
  EXPECT_EQ(show.KeyKind(0, vk::kEscape), Kind::Exit);
  EXPECT_EQ(show.KeyKind(0, vk::kF1), Kind::Help);
}

TEST(InputMappingKeys, WaitEndingKeysWorkOnlyWithoutNavigationKeys) {
  const std::set<int32_t> ending = {vk::kPause,          vk::kSpace,          vk::kPageDown,     vk::kRight,
                                    vk::kBrowserForward, vk::kMediaNextTrack, vk::kMediaPlayPause};
  const TMappingOfShow off("opt_synchpermitcontrol=0\n");
  const TMappingOfShow on("");
  for (int32_t key = 0; key < TInputMappingClass::kKeyCount; ++key) {
    EXPECT_EQ(off->EndsWait(key), ending.count(key) == 1) << "key " << key;
    EXPECT_FALSE(on->EndsWait(key)) << "key " << key;
  }
  EXPECT_FALSE(off->EndsWait(vk::kRight, true));
}

TEST(InputMappingKeys, ScreenSaverExitsOnEveryKeyEvent) {
  const TMappingOfShow show("opt_ssaver=1\n");
  EXPECT_TRUE(show->ScreenSaver());
  EXPECT_EQ(show.KeyKind(0, 0x41), Kind::Exit);
  EXPECT_EQ(show.KeyKind(mod::kShift, vk::kRight), Kind::Exit);
  EXPECT_EQ(show.KeyKind(0, 0x41, TKeyEvent::Released), Kind::Exit);
  EXPECT_EQ(show.KeyKind(0, 300), Kind::Exit);
  EXPECT_EQ(show.KeyKind(0, 0x41, kPress, true), Kind::Exit);
}

// ---------------------------------------------------------------------------
// Mouse

TEST(InputMappingMouse, OptionNamesAreComparedExactly) {
  EXPECT_EQ(MouseOptionAction(u"Exit").kind, Kind::Exit);
  EXPECT_EQ(MouseOptionAction(u"Next slide").kind, Kind::NextSlide);
  EXPECT_EQ(MouseOptionAction(u"Prev. slide").kind, Kind::PrevSlide);
  EXPECT_EQ(MouseOptionAction(u"Help").kind, Kind::Help);
  EXPECT_EQ(MouseOptionAction(u"Pause").kind, Kind::Pause);
  EXPECT_EQ(MouseOptionAction(u"Go to first"), (TInputAction{Kind::GoToSlide, 0, {}}));
  EXPECT_EQ(MouseOptionAction(u"next slide").kind, Kind::None);
  EXPECT_EQ(MouseOptionAction(u"Prev slide").kind, Kind::None);
  EXPECT_EQ(MouseOptionAction(u"").kind, Kind::None);
}

TEST(InputMappingMouse, LeftButtonActsOnReleaseOnly) {
  const TMappingOfShow show("opt_leftmouse=Next slide\n");
  EXPECT_EQ(show.MouseKind(mod::kLeftButton, 10, 10, TMouseEvent::Press, TMouseButton::Left), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 10, 10, TMouseEvent::Release, TMouseButton::Left), Kind::NextSlide);
  EXPECT_EQ(show.MouseKind(0, 10, 10, TMouseEvent::DoubleClick, TMouseButton::Left), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 10, 10, TMouseEvent::Release, TMouseButton::Right), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 10, 10, TMouseEvent::Move, TMouseButton::None), Kind::None);
}

TEST(InputMappingMouse, RightButtonAndDoubleClickHaveTheirOwnOptions) {
  const TMappingOfShow show("opt_rightmouse=Prev. slide\nopt_dblclick=Go to first\n");
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::Release, TMouseButton::Right), Kind::PrevSlide);
  EXPECT_EQ(show.MouseKind(mod::kRightButton, 0, 0, TMouseEvent::Press, TMouseButton::Right), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::DoubleClick, TMouseButton::Left), Kind::GoToSlide);
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::DoubleClick, TMouseButton::Right), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::Release, TMouseButton::Left), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::Release, TMouseButton::Middle), Kind::None);
  EXPECT_EQ(show->RightMouseAction().kind, Kind::PrevSlide);
  EXPECT_EQ(show->DoubleClickAction().kind, Kind::GoToSlide);
  EXPECT_EQ(show->LeftMouseAction().kind, Kind::None);
}

TEST(InputMappingMouse, ScreenSaverExitsOnClicksHeldKeysAndMovement) {
  const TMappingOfShow show("opt_ssaver=1\nopt_leftmouse=Pause\n");
  ASSERT_NE(show->MoveDetector(), nullptr);
  EXPECT_EQ(show.MouseKind(mod::kLeftButton, 100, 100, TMouseEvent::Press, TMouseButton::Left), Kind::Exit);
  EXPECT_EQ(show.MouseKind(mod::kShift, 100, 100, TMouseEvent::Move, TMouseButton::None), Kind::Exit);

  const TMappingOfShow moving("opt_ssaver=1\n");
  // The first event only records where the pointer is.
  EXPECT_EQ(moving.MouseKind(0, 500, 500, TMouseEvent::Move, TMouseButton::None), Kind::None);
  EXPECT_EQ(moving.MouseKind(0, 503, 502, TMouseEvent::Move, TMouseButton::None), Kind::None);
  EXPECT_EQ(moving.MouseKind(0, 503, 503, TMouseEvent::Move, TMouseButton::None), Kind::Exit);
}

TEST(InputMappingMouse, ExitOnMoveWorksOutsideScreenSavers) {
  const TMappingOfShow show("opt_exitonmove=1\nopt_leftmouse=Next slide\n");
  ASSERT_NE(show->MoveDetector(), nullptr);
  EXPECT_FALSE(show->ScreenSaver());
  // Held buttons alone do not end such a show.
  EXPECT_EQ(show.MouseKind(mod::kLeftButton, 10, 10, TMouseEvent::Press, TMouseButton::Left), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 12, 12, TMouseEvent::Release, TMouseButton::Left), Kind::NextSlide);
  EXPECT_EQ(show.MouseKind(0, 20, 12, TMouseEvent::Move, TMouseButton::None), Kind::Exit);
}

TEST(InputMappingMouse, WithoutDetectorMovementMeansNothing) {
  const TMappingOfShow show("");
  EXPECT_EQ(show->MoveDetector(), nullptr);
  EXPECT_EQ(show.MouseKind(0, 0, 0, TMouseEvent::Move, TMouseButton::None), Kind::None);
  EXPECT_EQ(show.MouseKind(0, 900, 900, TMouseEvent::Move, TMouseButton::None), Kind::None);
}

// ---------------------------------------------------------------------------
// Mouse-move detector

TEST(MouseMoveDetector, RecordsMovementsOfMoreThanFivePixels) {
  TMouseMoveDetector detector(1000);
  EXPECT_FALSE(detector.Record(100, 100));
  EXPECT_EQ(detector.RecordedCount(), 1);
  EXPECT_FALSE(detector.Record(102, 97));  // 2 + 3
  // Distances count from the last recorded position, not the last seen one.
  EXPECT_FALSE(detector.Record(104, 100));
  EXPECT_TRUE(detector.Record(106, 100));
  EXPECT_EQ(detector.RecordedCount(), 2);
  EXPECT_EQ(detector.LastX(), 106);
  EXPECT_EQ(detector.LastY(), 100);
  EXPECT_TRUE(detector.Record(100, 100));
}

TEST(MouseMoveDetector, ReportsIdleAfterTheInterval) {
  TVirtualClock clock(5000);
  TClockOverride use(clock);
  TMouseMoveDetector detector(1000);
  EXPECT_FALSE(detector.Idle());
  clock.Advance(1000);
  EXPECT_FALSE(detector.Idle());
  clock.Advance(1);
  EXPECT_TRUE(detector.Idle());
  detector.Record(0, 0);
  EXPECT_TRUE(detector.Idle());  // the first position is no movement
  detector.Record(50, 0);
  EXPECT_FALSE(detector.Idle());
}

TEST(MouseMoveDetector, SetIdleForcesOrRestartsTheIdleTime) {
  TVirtualClock clock(0);
  TClockOverride use(clock);
  TMouseMoveDetector detector(1000);
  detector.SetIdle(true);
  EXPECT_TRUE(detector.Idle());
  EXPECT_TRUE(detector.Idle());
  clock.Advance(5000);
  detector.SetIdle(false);
  EXPECT_FALSE(detector.Idle());
  clock.Advance(1000);
  EXPECT_FALSE(detector.Idle());
  clock.Advance(1);
  EXPECT_TRUE(detector.Idle());
  // A movement ends a forced idle.
  detector.SetIdle(true);
  detector.Record(0, 0);
  detector.Record(10, 0);
  EXPECT_FALSE(detector.Idle());
}

// ---------------------------------------------------------------------------
// SDL translation

// Every key the table should know, by SDL's name for it, with its
// virtual-key code.
std::vector<std::pair<std::string, int32_t>> ExpectedKeys() {
  std::vector<std::pair<std::string, int32_t>> keys;
  for (int i = 0; i < 26; ++i) keys.emplace_back(std::string(1, static_cast<char>('A' + i)), 0x41 + i);
  for (int i = 0; i < 10; ++i) keys.emplace_back(std::string(1, static_cast<char>('0' + i)), 0x30 + i);
  for (int i = 0; i < 10; ++i) keys.emplace_back("Keypad " + std::to_string(i), 0x60 + i);
  for (int i = 1; i <= 24; ++i) keys.emplace_back("F" + std::to_string(i), 0x6F + i);
  const std::vector<std::pair<std::string, int32_t>> named = {
      {"Backspace", 0x08},   {"Tab", 0x09},          {"Clear", 0x0C},        {"Return", 0x0D},
      {"Keypad Enter", 0x0D}, {"Pause", 0x13},       {"Escape", 0x1B},       {"Space", 0x20},
      {"PageUp", 0x21},      {"PageDown", 0x22},     {"End", 0x23},          {"Home", 0x24},
      {"Left", 0x25},        {"Up", 0x26},           {"Right", 0x27},        {"Down", 0x28},
      {"Select", 0x29},      {"Execute", 0x2B},      {"PrintScreen", 0x2C},  {"Insert", 0x2D},
      {"Delete", 0x2E},      {"Help", 0x2F},         {"Left Shift", 0x10},   {"Right Shift", 0x10},
      {"Left Ctrl", 0x11},   {"Right Ctrl", 0x11},   {"Left Alt", 0x12},     {"Right Alt", 0x12},
      {"CapsLock", 0x14},    {"Left GUI", 0x5B},     {"Right GUI", 0x5C},    {"Application", 0x5D},
      {"Sleep", 0x5F},       {"Numlock", 0x90},      {"ScrollLock", 0x91},   {"Keypad *", 0x6A},
      {"Keypad +", 0x6B},    {"Keypad -", 0x6D},     {"Keypad .", 0x6E},     {"Keypad /", 0x6F},
      {"AC Back", 0xA6},     {"AC Forward", 0xA7},   {"AC Refresh", 0xA8},   {"AC Stop", 0xA9},
      {"AC Search", 0xAA},   {"AC Bookmarks", 0xAB}, {"AC Home", 0xAC},      {"AudioMute", 0xAD},
      {"VolumeDown", 0xAE},  {"VolumeUp", 0xAF},     {"AudioNext", 0xB0},    {"AudioPrev", 0xB1},
      {"AudioStop", 0xB2},   {"AudioPlay", 0xB3},    {"Mail", 0xB4},         {"MediaSelect", 0xB5},
      {";", 0xBA},           {"=", 0xBB},            {",", 0xBC},            {"-", 0xBD},
      {".", 0xBE},           {"/", 0xBF},            {"`", 0xC0},            {"[", 0xDB},
      {"\\", 0xDC},          {"]", 0xDD},            {"'", 0xDE},
  };
  keys.insert(keys.end(), named.begin(), named.end());
  return keys;
}

TEST(SdlKeyTranslation, EveryTableEntryHasItsVirtualKey) {
  std::set<int32_t> expectedSdlKeys;
  for (const auto& [name, virtualKey] : ExpectedKeys()) {
    const SDL_Keycode sdlKey = SDL_GetKeyFromName(name.c_str());
    ASSERT_NE(sdlKey, SDLK_UNKNOWN) << name;
    EXPECT_TRUE(expectedSdlKeys.insert(sdlKey).second) << name << " named twice";
    EXPECT_EQ(VirtualKeyFromSdlName(name), virtualKey) << name;
    EXPECT_EQ(VirtualKeyFromSdl(sdlKey), virtualKey) << name;
  }
  // Nothing in the table goes untested, and no SDL key appears twice.
  std::set<int32_t> tableKeys;
  for (const TSdlKeyEntry& entry : SdlKeyTable()) {
    EXPECT_TRUE(tableKeys.insert(entry.sdlKey).second) << SDL_GetKeyName(entry.sdlKey) << " twice";
  }
  EXPECT_EQ(tableKeys, expectedSdlKeys);
}

TEST(SdlKeyTranslation, NamesAreCaseInsensitiveAndUnknownNamesGiveNothing) {
  EXPECT_EQ(VirtualKeyFromSdlName("a"), 0x41);
  EXPECT_EQ(VirtualKeyFromSdlName("pagedown"), 0x22);
  EXPECT_EQ(VirtualKeyFromSdlName("NoSuchKey"), std::nullopt);
  EXPECT_EQ(VirtualKeyFromSdlName(""), std::nullopt);
  // SDL knows the key, but it has no virtual-key code here.
  EXPECT_EQ(VirtualKeyFromSdlName("Calculator"), std::nullopt);
}

TEST(SdlKeyTranslation, LockKeysNeverCountAsModifiers) {
  EXPECT_EQ(ModifiersFromSdl(KMOD_CAPS, 0), 0u);
  EXPECT_EQ(ModifiersFromSdl(KMOD_NUM, 0), 0u);
  EXPECT_EQ(ModifiersFromSdl(KMOD_CAPS | KMOD_NUM | KMOD_SCROLL | KMOD_MODE, 0), 0u);
  EXPECT_EQ(ModifiersFromSdl(KMOD_LCTRL | KMOD_CAPS | KMOD_NUM, 0), mod::kCtrl);
  // With Caps Lock on, Right still advances and Ctrl+P still pauses.
  const TMappingOfShow show("");
  EXPECT_EQ(show.KeyKind(ModifiersFromSdl(KMOD_CAPS | KMOD_NUM, 0), vk::kRight), Kind::NextSlide);
  EXPECT_EQ(show.KeyKind(ModifiersFromSdl(KMOD_RCTRL | KMOD_CAPS, 0), vk::kP), Kind::Pause);
}

TEST(SdlKeyTranslation, ModifierAndButtonBits) {
  EXPECT_EQ(ModifiersFromSdl(KMOD_LSHIFT, 0), mod::kShift);
  EXPECT_EQ(ModifiersFromSdl(KMOD_RSHIFT, 0), mod::kShift);
  EXPECT_EQ(ModifiersFromSdl(KMOD_RALT, 0), mod::kAlt);
  EXPECT_EQ(ModifiersFromSdl(KMOD_LGUI, 0), mod::kWindows);
  EXPECT_EQ(ModifiersFromSdl(KMOD_RCTRL | KMOD_LALT, 0), mod::kCtrl | mod::kAlt);
  EXPECT_EQ(ModifiersFromSdl(0, SDL_BUTTON_LMASK), mod::kLeftButton);
  EXPECT_EQ(ModifiersFromSdl(0, SDL_BUTTON_RMASK), mod::kRightButton);
  EXPECT_EQ(ModifiersFromSdl(0, SDL_BUTTON_MMASK), mod::kMiddleButton);
  EXPECT_EQ(ModifiersFromSdl(0, SDL_BUTTON_X1MASK), 0u);
  EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_LEFT), TMouseButton::Left);
  EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_RIGHT), TMouseButton::Right);
  EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_MIDDLE), TMouseButton::Middle);
  EXPECT_EQ(MouseButtonFromSdl(SDL_BUTTON_X1), TMouseButton::None);
}

SDL_KeyboardEvent KeyEvent(uint32_t type, SDL_Keycode key, uint16_t mod, uint8_t repeat) {
  SDL_KeyboardEvent event{};
  event.type = type;
  event.keysym.sym = key;
  event.keysym.mod = mod;
  event.repeat = repeat;
  return event;
}

TEST(SdlKeyTranslation, KeyEventsAndRepeats) {
  const auto held = KeyInputFromSdl(KeyEvent(SDL_KEYDOWN, SDLK_RIGHT, KMOD_CAPS, 1));
  ASSERT_TRUE(held.has_value());
  EXPECT_EQ(held->virtualKey, vk::kRight);
  EXPECT_EQ(held->modifiers, 0u);
  EXPECT_EQ(held->type, TKeyEvent::Pressed);
  EXPECT_TRUE(held->repeat);
  const TMappingOfShow show("");
  // Holding the key advances once, not once per repeat.
  EXPECT_EQ(show.KeyKind(held->modifiers, held->virtualKey, held->type, held->repeat), Kind::None);
  const auto first = KeyInputFromSdl(KeyEvent(SDL_KEYDOWN, SDLK_RIGHT, KMOD_NONE, 0));
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(show.KeyKind(first->modifiers, first->virtualKey, first->type, first->repeat), Kind::NextSlide);

  const auto released = KeyInputFromSdl(KeyEvent(SDL_KEYUP, SDLK_p, KMOD_LCTRL, 0));
  ASSERT_TRUE(released.has_value());
  EXPECT_EQ(released->type, TKeyEvent::Released);
  EXPECT_EQ(released->modifiers, mod::kCtrl);
  EXPECT_FALSE(KeyInputFromSdl(KeyEvent(SDL_KEYDOWN, SDLK_CALCULATOR, 0, 0)).has_value());
}

SDL_MouseButtonEvent ButtonEvent(uint32_t type, uint8_t button, uint8_t clicks) {
  SDL_MouseButtonEvent event{};
  event.type = type;
  event.button = button;
  event.clicks = clicks;
  event.x = 40;
  event.y = 30;
  return event;
}

TEST(SdlKeyTranslation, MouseButtonEvents) {
  // A press holds its own button even when SDL's mask lags behind.
  const auto press = MouseInputsFromSdl(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1), KMOD_SHIFT, 0);
  ASSERT_EQ(press.size(), 1u);
  EXPECT_EQ(press[0].type, TMouseEvent::Press);
  EXPECT_EQ(press[0].button, TMouseButton::Left);
  EXPECT_EQ(press[0].modifiers, mod::kLeftButton | mod::kShift);
  EXPECT_EQ(press[0].x, 40);
  EXPECT_EQ(press[0].y, 30);
  // A release no longer holds it.
  const auto release = MouseInputsFromSdl(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 1), 0,
                                          SDL_BUTTON_RMASK | SDL_BUTTON_LMASK);
  ASSERT_EQ(release.size(), 1u);
  EXPECT_EQ(release[0].type, TMouseEvent::Release);
  EXPECT_EQ(release[0].button, TMouseButton::Right);
  EXPECT_EQ(release[0].modifiers, mod::kLeftButton);
  // The second click comes as a press and then a double click.
  const auto second = MouseInputsFromSdl(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 2), 0, SDL_BUTTON_LMASK);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].type, TMouseEvent::Press);
  EXPECT_EQ(second[1].type, TMouseEvent::DoubleClick);
  EXPECT_EQ(second[1].button, TMouseButton::Left);
  EXPECT_EQ(MouseInputsFromSdl(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 3), 0, 0).size(), 1u);
  EXPECT_EQ(MouseInputsFromSdl(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 2), 0, 0).size(), 1u);
}

TEST(SdlKeyTranslation, MouseMotionCarriesHeldButtons) {
  SDL_MouseMotionEvent event{};
  event.type = SDL_MOUSEMOTION;
  event.state = SDL_BUTTON_MMASK;
  event.x = -3;
  event.y = 7;
  const TMouseInput input = MouseInputFromSdl(event, KMOD_NUM | KMOD_LALT);
  EXPECT_EQ(input.type, TMouseEvent::Move);
  EXPECT_EQ(input.button, TMouseButton::None);
  EXPECT_EQ(input.modifiers, mod::kMiddleButton | mod::kAlt);
  EXPECT_EQ(input.x, -3);
  EXPECT_EQ(input.y, 7);
}

}  // namespace
}  // namespace zel
