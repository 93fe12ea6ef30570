// A mouse event on a slide: which object it meets, how buttons and texts
// with actions look under the pointer, and which action a click carries
// out. An action runs only when the main button goes down and comes up on
// the same object.
#pragma once

#include <cstdint>

#include "core/strings.h"
#include "show/action_info.h"

namespace zel {

class TZelObject;

enum class TClickEvent : uint8_t { Move = 0, Down = 1, Up = 2 };

struct TClickInput {
  float x = 0, y = 0;  // in the slide's view
  TClickEvent event = TClickEvent::Move;
  // The button that went down or up: 1 the main (left) one.
  uint8_t button = 0;
  // The buttons held (the modifier bits: 16 left, 32 right, 64 middle).
  uint32_t buttonsHeld = 0;
};

struct TClickResult {
  TZelObject* hit = nullptr;
  // The object's action text and record when the click carries it out;
  // empty otherwise (or when the object has no action).
  bool carriedOut = false;
  TString actionText;
  TZelActionInfo action;
};

// The main button's number and the held-button bits.
constexpr uint8_t kMainButton = 1;
constexpr uint32_t kMainButtonHeld = 16;
constexpr uint32_t kOtherButtonsHeld = 32 | 64;

// Every button and text of the tree returns to its normal look first.
// While actions are off, or while another button than the main one is
// held, nothing else happens. A button release clears every pressed mark
// of the tree, so a press on one object and a release on another never
// runs the first one's action later.
TClickResult ClickOnSlide(TZelObject& slide, const TClickInput& input, bool actionsAllowed);

// Clears every pressed mark and look of the tree (a new slide came).
void ResetClickState(TZelObject& slide);

}  // namespace zel
