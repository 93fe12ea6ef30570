// The player's entry point: everything that happens before the main window
// exists, and the orderly end after it.
#pragma once

#include <string>

namespace zel {

extern const char* const kPlayerVersion;

// The message and caption shown when the display has too few colours.
extern const char* const kColorDepthMessage;
extern const char* const kErrorCaption;

// A display of 15 bits per pixel or fewer cannot show a slide show.
bool ColorDepthSupported(int bitsPerPixel);

// The usage text of `zelplayer --help`.
std::string PlayerUsage();

// Runs the player with main's arguments; returns the process's exit code.
int PlayerMain(int argc, const char* const* argv);

}  // namespace zel
