// Actions without a window: how an action text parses, and what mouse
// events on a slide hit and carry out.
#include <cstdio>
#include <string>

#include "show/action_info.h"
#include "show/slide_click.h"
#include "show/zel_object.h"
#include "show/zel_slide.h"
#include "tool.h"

namespace zel::tool {

namespace {

std::string RecordText(const TZelActionInfo& action) {
  return std::to_string(static_cast<int>(action.kind)) + " " + std::to_string(action.number) + " " +
         WordText(action.text);
}

// "move:X,Y", "down:X,Y" or "up:X,Y" (the main button for down and up).
bool ParseClickEvent(const std::string& text, TClickInput& input) {
  const size_t colon = text.find(':');
  const size_t comma = text.find(',', colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || comma == std::string::npos) return false;
  const std::string kind = text.substr(0, colon);
  double x = 0, y = 0;
  if (!ParseShowTime(text.substr(colon + 1, comma - colon - 1), x) || !ParseShowTime(text.substr(comma + 1), y))
    return false;
  input.x = static_cast<float>(x);
  input.y = static_cast<float>(y);
  if (kind == "move") {
    input.event = TClickEvent::Move;
    input.button = 0;
  } else if (kind == "down") {
    input.event = TClickEvent::Down;
    input.button = kMainButton;
  } else if (kind == "up") {
    input.event = TClickEvent::Up;
    input.button = kMainButton;
  } else {
    return false;
  }
  return true;
}

bool IsClickEvent(const std::string& text) {
  return text.rfind("move:", 0) == 0 || text.rfind("down:", 0) == 0 || text.rfind("up:", 0) == 0;
}

}  // namespace

int RunAction(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("action");
  std::printf("%s\n", RecordText(ParseAction(Utf8ToString(arguments[0]))).c_str());
  return 0;
}

int RunClick(TArguments arguments) {
  std::vector<std::string> rest, events;
  for (const std::string& a : arguments) (IsClickEvent(a) ? events : rest).push_back(a);
  if (events.empty()) return UsageError("click");
  TToolSlide slide;
  if (const int code = OpenToolSlide(rest, "click", 2, slide)) return code;
  bool mainHeld = false;
  for (const std::string& text : events) {
    TClickInput input;
    if (!ParseClickEvent(text, input)) return Fail("click", "an event must be move:X,Y, down:X,Y or up:X,Y: " + text);
    if (input.event == TClickEvent::Down) mainHeld = true;
    if (input.event == TClickEvent::Up) mainHeld = false;
    input.buttonsHeld = mainHeld ? kMainButtonHeld : 0;
    const TClickResult result = ClickOnSlide(*slide.slide, input, true);
    const std::string hit = result.hit ? WordText(result.hit->Name()) : "-";
    const int look = result.hit ? static_cast<int>(result.hit->ClickLook()) : 0;
    std::printf("%s %d %s\n", hit.c_str(), look, RecordText(result.carriedOut ? result.action : TZelActionInfo{}).c_str());
  }
  return 0;
}

}  // namespace zel::tool
