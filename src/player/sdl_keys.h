// Translation of SDL's keyboard and mouse reports into the terms the input
// mapping uses: virtual-key codes (the numbering shows are written for),
// modifier bits, mouse event types and button numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/input_mapping.h"

struct SDL_KeyboardEvent;
struct SDL_MouseButtonEvent;
struct SDL_MouseMotionEvent;

namespace zel {

// One row of the key table: an SDL key code (SDL_Keycode) and its
// virtual-key code.
struct TSdlKeyEntry {
  int32_t sdlKey;
  int32_t virtualKey;
};

// The whole table, each SDL key once.
std::span<const TSdlKeyEntry> SdlKeyTable();

// The virtual-key code of an SDL key code; none for keys without one.
std::optional<int32_t> VirtualKeyFromSdl(int32_t sdlKey);
// The same for an SDL key name ("Right", "PageDown", "F1", "A"); none
// for a name SDL does not know or a key without a virtual-key code.
std::optional<int32_t> VirtualKeyFromSdlName(const std::string& name);

// The modifier bits of SDL's key modifier state (SDL_Keymod) and mouse
// button mask (SDL_BUTTON_LMASK ...). Caps Lock, Num Lock, Scroll Lock and
// AltGr's mode key are toggles or layout switches, never modifiers.
uint32_t ModifiersFromSdl(uint16_t keyMod, uint32_t mouseButtonMask);

// SDL's button numbers (SDL_BUTTON_LEFT ...) as the mapping numbers them;
// extra buttons are None.
TMouseButton MouseButtonFromSdl(uint8_t sdlButton);

// A key event in the mapping's terms. A held key's repeated presses come
// with repeat set, so that holding an arrow does not race through a show.
struct TKeyInput {
  int32_t virtualKey = 0;
  uint32_t modifiers = 0;
  TKeyEvent type = TKeyEvent::Pressed;
  bool repeat = false;
};
// None for keys without a virtual-key code.
std::optional<TKeyInput> KeyInputFromSdl(const SDL_KeyboardEvent& event);

// A mouse event in the mapping's terms.
struct TMouseInput {
  uint32_t modifiers = 0;
  int32_t x = 0;
  int32_t y = 0;
  TMouseEvent type = TMouseEvent::Move;
  TMouseButton button = TMouseButton::None;
};
// A button event gives one input; the second press of a double click gives
// the press and then the double click. The key modifier state is SDL's at
// the time (SDL_GetModState). The button mask of a press holds the pressed
// button and that of a release no longer does, whatever SDL reported.
std::vector<TMouseInput> MouseInputsFromSdl(const SDL_MouseButtonEvent& event, uint16_t keyMod,
                                            uint32_t mouseButtonMask);
TMouseInput MouseInputFromSdl(const SDL_MouseMotionEvent& event, uint16_t keyMod);

}  // namespace zel
