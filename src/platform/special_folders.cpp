#include "platform/special_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"

namespace zel {

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/tmp";
}

std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
  const char* value = std::getenv(variable);
  // The XDG rules ignore a relative value.
  if (value && value[0] == '/') return WithSlash(value);
  return WithSlash(JoinPath(HomeFolder(), fallbackUnderHome));
}

}  // namespace

std::string RoamingAppDataFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }
std::string LocalAppDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }
std::string CommonAppDataFolder() { return "/var/lib/"; }

std::string PlayerFolder() { return WithSlash(ExtractFileDir(PlayerExecutablePath())); }

}  // namespace zel
