// What the player asks of the display before it opens a window.
#pragma once

#include <optional>
#include <string>

namespace zel {

// True when SDL would draw without a real display: the offscreen or dummy
// video driver, or no X11 or Wayland display at all.
bool RunningWithoutDisplay();

// The bits per pixel of the primary display's desktop mode; nothing when
// there is no display to ask.
std::optional<int> DesktopBitsPerPixel();

enum class TMessageIcon { Information, Warning, Error };

// A message box on the display; on stderr when there is none.
void ShowMessageBox(const std::string& caption, const std::string& text, TMessageIcon icon);

}  // namespace zel
