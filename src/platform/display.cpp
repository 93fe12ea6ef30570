#include "platform/display.h"

#include <SDL.h>

#include "core/log.h"

#include <algorithm>
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

std::vector<TRect> MonitorBounds() {
  std::vector<TRect> monitors;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return monitors;
  const int count = SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect r{};
    if (SDL_GetDisplayBounds(i, &r) == 0) monitors.push_back(TRect::FromSize(r.x, r.y, r.w, r.h));
  }
  return monitors;
}

TRect DesktopBounds(const std::vector<TRect>& monitors) {
  if (monitors.empty()) return {};
  TRect all = monitors.front();
  for (const TRect& m : monitors) {
    all.Left = std::min(all.Left, m.Left);
    all.Top = std::min(all.Top, m.Top);
    all.Right = std::max(all.Right, m.Right);
    all.Bottom = std::max(all.Bottom, m.Bottom);
  }
  return all;
}

TScreenSaverInhibitor::TScreenSaverInhibitor() { SDL_DisableScreenSaver(); }
TScreenSaverInhibitor::~TScreenSaverInhibitor() {
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_EnableScreenSaver();
}

void ShowMessageBox(const std::string& caption, const std::string& text, TMessageIcon icon) {
  Log().Write("Message box: " + caption + ": " + text);
  // Scripts that drive the player on a display of their own (the window
  // tests) ask for messages on stderr, where nobody has to click them away.
  const char* where = std::getenv("ZEL_MESSAGE_BOX");
  const bool toStderr = where && std::strcmp(where, "stderr") == 0;
  if (!toStderr && !RunningWithoutDisplay()) {
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
