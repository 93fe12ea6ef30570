// Where the show's window goes and how large it is: the client size the
// show asks for (or the whole area for full screen), fitted into the chosen
// monitor (or the whole desktop) with the window's frame, and centred.
#pragma once

#include <cstdint>

#include "imaging/geometry.h"
#include "player/slide_loader.h"

namespace zel {

class TIniSection;

struct TWindowRequest {
  int32_t width = 640, height = 480;
  TWindowStyle style = TWindowStyle::FullScreen;
};

struct TWindowGeometry {
  bool bordered = false;
  bool sizeable = false;
  TRect window;  // outer rectangle, screen coordinates
  int32_t clientWidth = 0, clientHeight = 0;
  bool fullScreen = false;
};

// What the project asks for before the engine runs: "opt_scr_full" 1 the
// primary screen's size full screen; otherwise "opt_scr_width" by
// "opt_scr_height", borderless unless "opt_withoutborder" is false.
TWindowRequest WindowRequestFrom(const TIniSection& main, int32_t screenWidth, int32_t screenHeight);

// area: the chosen monitor's bounds, or the whole desktop ("desktopalign");
// frameWidth, frameHeight: what a bordered window adds around its client
// area; resize: a bordered window may be resized.
TWindowGeometry WindowGeometryFor(const TWindowRequest& request, const TRect& area, int32_t frameWidth,
                                  int32_t frameHeight, bool resize);

}  // namespace zel
