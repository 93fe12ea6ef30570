// Name translation for files a show names outside itself: the shared styles
// folder ("%styles%") and the environment folders ("%APPDATA%", ...).
#pragma once

#include <functional>

#include "core/strings.h"

namespace zel {

// Replaces the exact tokens "%APPDATA%", "%LOCALAPPDATA%" and "%PROGRAMDATA%"
// by their folders (with a trailing separator, absorbing a separator that
// follows the token).
TString ExpandEnvironmentFolders(TStringView name);

// Replaces each "%styles%" token: the "All\Themes" folder beside the player
// when the resulting file exists there, else "%LOCALAPPDATA%\Orvane\Styles".
// Environment folders are expanded too; other "%...%" runs stay.
TString TranslateName(TStringView name);

// Where "%styles%" looks first; tests point it elsewhere. Empty restores the
// player's own folder.
void SetStylesBaseFolder(TStringView folder);

}  // namespace zel
