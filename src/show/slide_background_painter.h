// Draws a slide's background: a solid colour, a two-colour gradient, or a
// picture repeated in tiles centred on the slide, drawn from a copy reduced
// to about the size the tiles are drawn at.
#pragma once

#include <memory>
#include <vector>

#include "draw/device_drawer.h"
#include "show/slide_background.h"

namespace zel {

class TImage;
class TZelSlideHost;

// The slide's rectangle on screen: its plane, anchored at its top-left
// corner, and its size in its own units.
struct TSlideArea {
  TDrawPlane plane;
  float width = 0, height = 0;
};

class TSlideBackgroundPainter {
 public:
  TSlideBackgroundPainter();
  ~TSlideBackgroundPainter();

  // opacity in percent. Pictures are asked of the host, kept under their
  // "SlideBg: " names, at most two at a time.
  void Draw(TDeviceDrawer& drawer, const TBackgroundDescriptor& background, float opacity, const TSlideArea& area,
            TZelSlideHost* host);
  // The names of the pictures kept, oldest first.
  std::vector<TString> KeptNames() const;
  void Release(TDeviceDrawer& drawer);

 private:
  struct TKeptPicture {
    TString name;
    std::unique_ptr<TImage> picture;
  };
  void DrawTiles(TDeviceDrawer& drawer, const TBackgroundDescriptor& background, float opacity,
                 const TSlideArea& area, TZelSlideHost* host);
  TImage* KeptPicture(const TString& key, TStringView name, TZelSlideHost* host);

  std::vector<TKeptPicture> fKept;
};

// Halvings (rounding up) of a w x h picture while both sides stay more than
// twice the drawn size.
int32_t BackgroundLevel(int32_t width, int32_t height, double drawnWidth, double drawnHeight);

}  // namespace zel
