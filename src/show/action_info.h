// Actions: the short texts that say what a show should do ("nextslide",
// "gotoslide(3)", "runapp("notes.txt")" ...), and the record an action text
// becomes. Objects carry one in their "Action" key; keys, mouse buttons and
// the navigation panel produce them too.
#pragma once

#include <cstdint>

#include "core/strings.h"

namespace zel {

// The kinds of actions, with the numbers the show format gives them.
enum class TActionKind : uint8_t {
  None = 0,
  Exit = 1,
  PrevSlide = 2,
  NextSlide = 3,
  Help = 4,
  Pause = 5,
  Print = 6,
  GoToSlide = 7,
  OpenWebSite = 8,
  WriteEmail = 9,
  RunApp = 10,
  RunAppAndExit = 11,
  RunPresentation = 12,
  Stop = 13,
  RunPresentationAndReturn = 14,
  OpenDialog = 15,
  CloseDialog = 16,
  SaveSlide = 17,
  ChangePrinter = 18,
  Seek = 19,        // made by the video bar: number is the time in ms
  PanelTaken = 20,  // made by the navigation panel: the event was its own
};

// An action record: kind, number and text. Kind None means no action.
// GoToSlide's number is 1-based (numbers below 1 land on the first slide);
// -1 means "the slide whose identifier is the text".
struct TZelActionInfo {
  TActionKind kind = TActionKind::None;
  int32_t number = 0;
  TString text;

  bool Empty() const noexcept { return kind == TActionKind::None; }
  bool operator==(const TZelActionInfo&) const = default;
};

// The record of an action text. The whole text is compared without regard
// to case; arguments are cut from the text as written. Anything unknown is
// the empty record.
TZelActionInfo ParseAction(TStringView text);

// The text that parses back into the record (for handing an action to the
// engine); empty for kinds that have no text form.
TString ActionText(const TZelActionInfo& action);

// "http://" in front of a web address that has no "http://" or "https://";
// "mailto:" in front of an address that lacks it.
TString WebAddress(TStringView text);
TString MailAddress(TStringView text);

}  // namespace zel
