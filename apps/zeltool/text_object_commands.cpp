// text: a text object of a slide as the player builds it: the lines with
// their macros filled in, its layout parameters, its size and the name of
// the picture it is rendered under.
#include <cstdio>
#include <string>
#include <vector>

#include "core/strings.h"
#include "show/text_object.h"
#include "show/zel_slide.h"
#include "tool.h"

namespace zel::tool {

namespace {

constexpr const char* kName = "text";

// The first text object of the tree (depth first, project order) with the name.
TZelText* FindText(TZelObject& object, TStringView name) {
  for (TZelObject* child : object.Children()) {
    if (auto* text = dynamic_cast<TZelText*>(child); text && text->Name() == name) return text;
    if (TZelText* inner = FindText(*child, name)) return inner;
  }
  return nullptr;
}

bool HasTime(TArguments arguments) {
  for (const std::string& a : arguments)
    if (a == "--time") return true;
  return false;
}

}  // namespace

int RunText(TArguments arguments) {
  // Without --time the slide is built at show time 0: a text's lines and
  // size do not depend on the time.
  std::vector<std::string> given(arguments.begin(), arguments.end());
  if (!HasTime(arguments)) {
    given.push_back("--time");
    given.push_back("0");
  }
  TToolSlide slide;
  if (const int code = OpenToolSlide(given, kName, 3, slide)) return code;
  TZelText* text = FindText(*slide.slide, Utf8ToString(slide.positionals[2]));
  if (!text) return Fail(kName, "no text object named '" + slide.positionals[2] + "' on the slide");
  text->BuildText();
  for (const TString& line : text->ExpandedLines()) std::printf("%s\n", StringToUtf8(line).c_str());
  std::printf("%d %d %d\n", text->Style(), text->Alignment(), text->LineSpacing());
  std::printf("%g %g\n", text->TextSize().width, text->TextSize().height);
  std::printf("%s\n", StringToUtf8(text->TextPictureName()).c_str());
  return 0;
}

}  // namespace zel::tool
