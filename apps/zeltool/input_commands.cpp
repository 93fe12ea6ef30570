// The subcommands that show what the player makes of input: the action a
// key or a sequence of mouse events means in a show, and the virtual-key
// code of an SDL key name.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "player/input_mapping.h"
#include "player/sdl_keys.h"
#include "show/zel_source.h"
#include "tool.h"

namespace zel::tool {

namespace {

// A whole decimal integer, sign allowed.
bool ParseInteger(std::string_view text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

void PrintAction(const TInputAction& action) {
  if (action.Empty()) {
    std::printf("none\n");
  } else {
    std::printf("%d %d\n", static_cast<int>(action.kind), static_cast<int>(action.number));
  }
}

// One mouse event as given on the command line.
struct TToolMouseEvent {
  TMouseEvent type;
  TMouseButton button;
  uint32_t modifiers;
  int32_t x, y;
};

// Splits at the first separator; false when there is none.
bool SplitAt(std::string_view& rest, char separator, std::string_view& head) {
  const size_t at = rest.find(separator);
  if (at == std::string_view::npos) return false;
  head = rest.substr(0, at);
  rest.remove_prefix(at + 1);
  return true;
}

// TYPE:BUTTON:MOD:X,Y with TYPE 0..3 and BUTTON 0, 1, 4 or 5.
bool ParseMouseEvent(std::string_view text, TToolMouseEvent& event) {
  std::string_view type, button, modifiers, x;
  if (!SplitAt(text, ':', type) || !SplitAt(text, ':', button) || !SplitAt(text, ':', modifiers) ||
      !SplitAt(text, ',', x))
    return false;
  int32_t typeValue = 0, buttonValue = 0, modifierValue = 0;
  if (!ParseInteger(type, typeValue) || !ParseInteger(button, buttonValue) ||
      !ParseInteger(modifiers, modifierValue) || !ParseInteger(x, event.x) || !ParseInteger(text, event.y))
    return false;
  if (typeValue < 0 || typeValue > 3 || modifierValue < 0) return false;
  if (buttonValue != 0 && buttonValue != 1 && buttonValue != 4 && buttonValue != 5) return false;
  event.type = static_cast<TMouseEvent>(typeValue);
  event.button = static_cast<TMouseButton>(buttonValue);
  event.modifiers = static_cast<uint32_t>(modifierValue);
  return true;
}

}  // namespace

int RunKey(TArguments arguments) {
  constexpr const char* kName = "key";
  if (arguments.size() != 3 && arguments.size() != 4) return UsageError(kName);
  int32_t modifiers = 0, key = 0, type = 1;
  if (!ParseInteger(arguments[1], modifiers) || modifiers < 0)
    return Fail(kName, "bad modifier state '" + arguments[1] + "'");
  if (!ParseInteger(arguments[2], key)) return Fail(kName, "bad key code '" + arguments[2] + "'");
  if (arguments.size() == 4 && !ParseInteger(arguments[3], type))
    return Fail(kName, "bad event type '" + arguments[3] + "'");
  TToolShow show;
  if (const int code = OpenToolShow(arguments[0], kName, show)) return code;
  const TInputMappingClass mapping(show.source->MainSection());
  // Every type other than 1 is a release.
  const TKeyEvent eventType = type == 1 ? TKeyEvent::Pressed : TKeyEvent::Released;
  PrintAction(mapping.KeyAction(static_cast<uint32_t>(modifiers), key, eventType));
  return 0;
}

int RunSdlKey(TArguments arguments) {
  constexpr const char* kName = "sdl-key";
  if (arguments.size() != 1) return UsageError(kName);
  const std::optional<int32_t> key = VirtualKeyFromSdlName(arguments[0]);
  if (!key) return Fail(kName, "no virtual-key code for the key name '" + arguments[0] + "'");
  std::printf("%d\n", static_cast<int>(*key));
  return 0;
}

int RunMouse(TArguments arguments) {
  constexpr const char* kName = "mouse";
  if (arguments.size() < 2) return UsageError(kName);
  std::vector<TToolMouseEvent> events(arguments.size() - 1);
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (!ParseMouseEvent(arguments[i], events[i - 1]))
      return Fail(kName, "bad event '" + arguments[i] + "' (expected TYPE:BUTTON:MOD:X,Y)");
  }
  TToolShow show;
  if (const int code = OpenToolShow(arguments[0], kName, show)) return code;
  // One mapping for all events: the move detector remembers the pointer.
  TInputMappingClass mapping(show.source->MainSection());
  for (const TToolMouseEvent& event : events) {
    PrintAction(mapping.LookUpMouse(event.modifiers, event.x, event.y, event.type, event.button));
  }
  return 0;
}

}  // namespace zel::tool
