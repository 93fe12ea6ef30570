#include "show/action_info.h"

#include <array>
#include <utility>

#include "ini/ini_document.h"

namespace zel {

namespace {

struct TNamedKind {
  const char16_t* name;
  TActionKind kind;
};

constexpr std::array<TNamedKind, 10> kPlainActions{{
    {u"exit", TActionKind::Exit},
    {u"prevslide", TActionKind::PrevSlide},
    {u"nextslide", TActionKind::NextSlide},
    {u"help", TActionKind::Help},
    {u"pause", TActionKind::Pause},
    {u"print", TActionKind::Print},
    {u"stop", TActionKind::Stop},
    {u"closedialog", TActionKind::CloseDialog},
    {u"saveslide", TActionKind::SaveSlide},
    {u"changeprinter", TActionKind::ChangePrinter},
}};

// In the order they are tried: the first that begins the text wins.
constexpr std::array<TNamedKind, 8> kActionsWithArgument{{
    {u"gotoslide(", TActionKind::GoToSlide},
    {u"openwebsite(", TActionKind::OpenWebSite},
    {u"writeemail(", TActionKind::WriteEmail},
    {u"runapp(", TActionKind::RunApp},
    {u"runappandexit(", TActionKind::RunAppAndExit},
    {u"runpresentation(", TActionKind::RunPresentation},
    {u"runpresentationandreturn(", TActionKind::RunPresentationAndReturn},
    {u"opendialog(", TActionKind::OpenDialog},
}};

bool BeginsWith(TStringView text, TStringView prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool BeginsWithFolded(TStringView text, TStringView prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// The text between skip characters after the name and trim characters at
// the end; empty when the text is too short to hold both.
TString Between(TStringView text, size_t nameLength, size_t skip, size_t trim) {
  const size_t first = nameLength + skip;
  if (text.size() < first + trim) return {};
  return TString(text.substr(first, text.size() - first - trim));
}

}  // namespace

TZelActionInfo ParseAction(TStringView text) {
  const TString folded = LowerCase(text);
  if (folded == u"gotofirstslide") return {TActionKind::GoToSlide, 0, {}};
  for (const TNamedKind& plain : kPlainActions) {
    if (folded == plain.name) return {plain.kind, 0, {}};
  }
  for (const TNamedKind& named : kActionsWithArgument) {
    const TStringView name(named.name);
    if (!BeginsWith(folded, name)) continue;
    if (named.kind != TActionKind::GoToSlide) return {named.kind, 0, Between(text, name.size(), 1, 2)};
    // A slide number, or else a slide identifier.
    TString argument = Between(text, name.size(), 0, 1);
    int32_t number = 0;
    if (IniTextToInt(argument, number)) return {TActionKind::GoToSlide, number, std::move(argument)};
    return {TActionKind::GoToSlide, -1, std::move(argument)};
  }
  return {};
}

TString ActionText(const TZelActionInfo& action) {
  for (const TNamedKind& plain : kPlainActions) {
    if (action.kind == plain.kind) return plain.name;
  }
  for (const TNamedKind& named : kActionsWithArgument) {
    if (action.kind != named.kind) continue;
    if (action.kind != TActionKind::GoToSlide) return TString(named.name) + u"\"" + action.text + u"\")";
    if (action.number == -1) return TString(named.name) + action.text + u")";
    return TString(named.name) + Utf8ToString(std::to_string(action.number)) + u")";
  }
  return {};
}

TString WebAddress(TStringView text) {
  if (BeginsWithFolded(text, u"http://") || BeginsWithFolded(text, u"https://")) return TString(text);
  return u"http://" + TString(text);
}

TString MailAddress(TStringView text) {
  if (BeginsWithFolded(text, u"mailto:")) return TString(text);
  return u"mailto:" + TString(text);
}

}  // namespace zel
