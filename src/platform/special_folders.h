// The folders that stand in for the Windows environment folders, and the
// player's own folders.
#pragma once

#include <string>

namespace zel {

// Each with a trailing "/".
std::string RoamingAppDataFolder();  // %APPDATA%: $XDG_CONFIG_HOME, else ~/.config
std::string LocalAppDataFolder();    // %LOCALAPPDATA%: $XDG_DATA_HOME, else ~/.local/share
std::string CommonAppDataFolder();   // %PROGRAMDATA%: /var/lib

// The folder of the running executable, with a trailing "/".
std::string PlayerFolder();

}  // namespace zel
