#include "package/name_translation.h"

#include <mutex>
#include <optional>

#include "platform/disk_names.h"
#include "platform/special_folders.h"

namespace zel {

namespace {

constexpr size_t kMaxEnvironmentToken = 14;

std::mutex gStylesLock;
TString gStylesBase;  // empty: beside the player

TString StylesBase() {
  std::lock_guard lock(gStylesLock);
  return gStylesBase.empty() ? Utf8ToString(PlayerFolder()) : gStylesBase;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

TString EnvironmentFolder(TStringView token) {
  if (token == u"%APPDATA%") return Utf8ToString(RoamingAppDataFolder());
  if (token == u"%LOCALAPPDATA%") return Utf8ToString(LocalAppDataFolder());
  if (token == u"%PROGRAMDATA%") return Utf8ToString(CommonAppDataFolder());
  return {};
}

TString JoinFolder(TString folder, TStringView rest) {
  if (!folder.empty() && !IsSeparator(folder.back())) folder += u'/';
  return folder + TString(rest);
}

}  // namespace

void SetStylesBaseFolder(TStringView folder) {
  std::lock_guard lock(gStylesLock);
  gStylesBase.assign(folder);
}

// Replaces the "%...%" tokens that replace() answers for. A token it does
// not answer stays, and its closing sign may open the next token. With
// absorbSeparator, one separator right after a replaced token is dropped.
template <typename F>
static TString ReplacePercentTokens(TStringView name, F&& replace, bool absorbSeparator) {
  TString out;
  size_t i = 0;
  while (i < name.size()) {
    const size_t open = name.find(u'%', i);
    if (open == TStringView::npos) break;
    const size_t close = name.find(u'%', open + 1);
    if (close == TStringView::npos) break;
    const std::optional<TString> replacement = replace(name.substr(open, close - open + 1));
    if (!replacement) {
      out.append(name.substr(i, close - i));
      i = close;
      continue;
    }
    out.append(name.substr(i, open - i));
    out += *replacement;
    i = close + 1;
    if (absorbSeparator && i < name.size() && IsSeparator(name[i])) ++i;
  }
  out.append(name.substr(std::min(i, name.size())));
  return out;
}

TString ExpandEnvironmentFolders(TStringView name) {
  return ReplacePercentTokens(
      name,
      [](TStringView token) -> std::optional<TString> {
        TString folder = token.size() <= kMaxEnvironmentToken ? EnvironmentFolder(token) : TString();
        if (folder.empty()) return std::nullopt;
        return folder;
      },
      true);
}

// Replaces every "%styles%" token by replacement; false when there was none.
static bool ReplaceStylesTokens(TStringView name, TStringView replacement, TString& out) {
  bool replaced = false;
  out = ReplacePercentTokens(
      name,
      [&](TStringView token) -> std::optional<TString> {
        if (!SameText(token, u"%styles%")) return std::nullopt;
        replaced = true;
        return TString(replacement);
      },
      false);
  return replaced;
}

TString TranslateName(TStringView name) {
  TString out;
  if (ReplaceStylesTokens(name, JoinFolder(StylesBase(), u"All\\Themes"), out) && !DiskFileExists(out)) {
    // Not beside the player: the user's own styles folder.
    ReplaceStylesTokens(name, u"%LOCALAPPDATA%\\Orvane\\Styles", out);
  }
  return ExpandEnvironmentFolders(out);
}

}  // namespace zel
