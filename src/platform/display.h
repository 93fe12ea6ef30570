// What the player asks of the display before it opens a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imaging/geometry.h"

namespace zel {

// True when SDL would draw without a real display: the offscreen or dummy
// video driver, or no X11 or Wayland display at all.
bool RunningWithoutDisplay();

// The bits per pixel of the primary display's desktop mode; nothing when
// there is no display to ask.
std::optional<int> DesktopBitsPerPixel();

// The monitors' bounds in desktop coordinates, the primary one first;
// empty when there is no display to ask. Needs SDL's video subsystem.
std::vector<TRect> MonitorBounds();
// The smallest rectangle holding every monitor.
TRect DesktopBounds(const std::vector<TRect>& monitors);

// Keeps the desktop's screen saver off while it lives (and lets it run
// again afterwards).
class TScreenSaverInhibitor {
 public:
  TScreenSaverInhibitor();
  ~TScreenSaverInhibitor();
  TScreenSaverInhibitor(const TScreenSaverInhibitor&) = delete;
  TScreenSaverInhibitor& operator=(const TScreenSaverInhibitor&) = delete;
};

enum class TMessageIcon { Information, Warning, Error };

// A message box on the display; on stderr when there is none or when
// ZEL_MESSAGE_BOX is "stderr". Every message is also logged.
void ShowMessageBox(const std::string& caption, const std::string& text, TMessageIcon icon);

}  // namespace zel
