#include "package/name_translation.h"

#include <mutex>

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

TString ExpandEnvironmentFolders(TStringView name) {
  TString out;
  size_t i = 0;
  while (i < name.size()) {
    const size_t open = name.find(u'%', i);
    if (open == TStringView::npos) break;
    const size_t close = name.find(u'%', open + 1);
    if (close == TStringView::npos) break;
    const TStringView token = name.substr(open, close - open + 1);
    const TString folder = token.size() <= kMaxEnvironmentToken ? EnvironmentFolder(token) : TString();
    if (folder.empty()) {
      // Not ours: keep the text up to the closing sign, which may open the next token.
      out.append(name.substr(i, close - i));
      i = close;
      continue;
    }
    out.append(name.substr(i, open - i));
    out += folder;
    i = close + 1;
    if (i < name.size() && IsSeparator(name[i])) ++i;
  }
  out.append(name.substr(std::min(i, name.size())));
  return out;
}

// Replaces every "%styles%" token by replacement; false when there was none.
static bool ReplaceStylesTokens(TStringView name, TStringView replacement, TString& out) {
  out.clear();
  bool replaced = false;
  size_t i = 0;
  while (i < name.size()) {
    const size_t open = name.find(u'%', i);
    if (open == TStringView::npos) break;
    const size_t close = name.find(u'%', open + 1);
    if (close == TStringView::npos) break;
    if (!SameText(name.substr(open, close - open + 1), u"%styles%")) {
      out.append(name.substr(i, close - i));
      i = close;
      continue;
    }
    out.append(name.substr(i, open - i));
    out.append(replacement);
    replaced = true;
    i = close + 1;
  }
  out.append(name.substr(std::min(i, name.size())));
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
