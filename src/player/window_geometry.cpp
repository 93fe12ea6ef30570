#include "player/window_geometry.h"

#include <algorithm>
#include <cmath>

#include "ini/ini_document.h"

namespace zel {

TWindowRequest WindowRequestFrom(const TIniSection& main, int32_t screenWidth, int32_t screenHeight) {
  if (main.ReadInteger(u"opt_scr_full", 1) == 1) return {screenWidth, screenHeight, TWindowStyle::FullScreen};
  const bool borderless = main.ReadBool(u"opt_withoutborder", true);
  return {main.ReadInteger(u"opt_scr_width", 640), main.ReadInteger(u"opt_scr_height", 480),
          borderless ? TWindowStyle::Borderless : TWindowStyle::Bordered};
}

TWindowGeometry WindowGeometryFor(const TWindowRequest& request, const TRect& area, int32_t frameWidth,
                                  int32_t frameHeight, bool resize) {
  TWindowGeometry g;
  g.bordered = request.style == TWindowStyle::Bordered;
  g.sizeable = g.bordered && resize;
  g.fullScreen = request.style == TWindowStyle::FullScreen;
  const int32_t extraWidth = g.bordered ? frameWidth : 0, extraHeight = g.bordered ? frameHeight : 0;
  g.clientWidth = g.fullScreen ? area.Width() : std::max(1, request.width);
  g.clientHeight = g.fullScreen ? area.Height() : std::max(1, request.height);
  if (g.clientWidth + extraWidth > area.Width() || g.clientHeight + extraHeight > area.Height()) {
    // Scaled down uniformly so that the window with its frame fits.
    const double f = std::min(static_cast<double>(area.Height() - extraHeight) / g.clientHeight,
                              static_cast<double>(area.Width() - extraWidth) / g.clientWidth);
    g.clientWidth = std::max(1, static_cast<int32_t>(std::lround(g.clientWidth * f)));
    g.clientHeight = std::max(1, static_cast<int32_t>(std::lround(g.clientHeight * f)));
  }
  const int32_t outerWidth = g.clientWidth + extraWidth, outerHeight = g.clientHeight + extraHeight;
  const int32_t left = area.Left + (area.Width() - outerWidth) / 2;
  const int32_t top = area.Top + (area.Height() - outerHeight) / 2;
  g.window = TRect::FromSize(left, top, outerWidth, outerHeight);
  return g;
}

}  // namespace zel
