#include "platform/display.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zel {

bool RunningWithoutDisplay() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !(x11 && *x11) && !(wayland && *wayland);
}

std::optional<int> DesktopBitsPerPixel() {
  if (RunningWithoutDisplay()) return std::nullopt;
  const bool wasInitialised = SDL_WasInit(SDL_INIT_VIDEO) != 0;
  if (!wasInitialised && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return std::nullopt;
  std::optional<int> bits;
  SDL_DisplayMode mode{};
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  if (!wasInitialised) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return bits;
}

void ShowMessageBox(const std::string& caption, const std::string& text, TMessageIcon icon) {
  if (!RunningWithoutDisplay()) {
    const Uint32 flags = icon == TMessageIcon::Error     ? SDL_MESSAGEBOX_ERROR
                         : icon == TMessageIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                                         : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr) == 0) return;
  }
  // Message texts end lines with CR, as the shows expect; a terminal wants LF.
  std::string shown = text;
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), shown.c_str());
}

}  // namespace zel
