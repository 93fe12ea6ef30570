#include "show/slide_background_painter.h"

#include <algorithm>
#include <cmath>

#include "imaging/bitmap_store.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

constexpr size_t kMaxKeptPictures = 2;
// The background reaches this far beyond the slide on every side, so that
// no seam shows at its edges.
constexpr float kOverlap = 2;

uint32_t Opaque(TRgbColor color) {
  return 0xFF000000u | static_cast<uint32_t>(color.red) << 16 | static_cast<uint32_t>(color.green) << 8 | color.blue;
}


}  // namespace

int32_t BackgroundLevel(int32_t width, int32_t height, double drawnWidth, double drawnHeight) {
  int32_t level = 0;
  while (level < 30) {
    const int32_t w = (width + 1) / 2, h = (height + 1) / 2;
    // A 1 x 1 picture halves to itself.
    if (!(w > 2 * drawnWidth && h > 2 * drawnHeight) || (w == width && h == height)) break;
    width = w;
    height = h;
    ++level;
  }
  return level;
}

TSlideBackgroundPainter::TSlideBackgroundPainter() = default;
TSlideBackgroundPainter::~TSlideBackgroundPainter() = default;

void TSlideBackgroundPainter::Draw(TDeviceDrawer& drawer, const TBackgroundDescriptor& background, float opacity,
                                   const TSlideArea& area, TZelSlideHost* host) {
  if (opacity <= 0 || area.width <= 0 || area.height <= 0) return;
  if (background.kind == TBackgroundKind::Picture) {
    DrawTiles(drawer, background, opacity, area, host);
    return;
  }
  TBoxDrawParams box;
  box.gradientType = background.kind == TBackgroundKind::Gradient1   ? 6
                     : background.kind == TBackgroundKind::Gradient2 ? 5
                                                                     : 8;
  box.color1 = Opaque(background.color1);
  box.color2 = Opaque(background.color2);
  box.width = area.width + 2 * kOverlap;
  box.height = area.height + 2 * kOverlap;
  box.opacity = opacity;
  const TDrawPlane& p = area.plane;
  drawer.DrawBox(box, p.position, p.axisX, p.axisY, {p.anchor.x + kOverlap, p.anchor.y + kOverlap});
}

void TSlideBackgroundPainter::DrawTiles(TDeviceDrawer& drawer, const TBackgroundDescriptor& background,
                                        float opacity, const TSlideArea& area, TZelSlideHost* host) {
  if (!host || background.imageName.empty() || !(background.size > 0)) return;
  const TString key = TString(u"SlideBg: ") + IntToStr(std::lround(background.size)) + u":" + background.imageName;
  TImage* source = KeptPicture(key, background.imageName, host);
  if (!source || source->Width() <= 0 || source->Height() <= 0) return;
  const double pw = source->Width(), ph = source->Height();
  // The tile: the size percent of the slide's width when the slide is at
  // least as wide for its height as the picture, else of its height.
  double tw, th;
  if (area.width / area.height >= pw / ph) {
    tw = area.width * background.size / 100.0;
    th = tw * ph / pw;
  } else {
    th = area.height * background.size / 100.0;
    tw = th * pw / ph;
  }
  if (!(tw > 0.01) || !(th > 0.01)) return;
  const TDrawPlane& p = area.plane;
  TImageDrawParams params;
  params.opacity = opacity;
  params.level = BackgroundLevel(source->Width(), source->Height(), tw * Length(p.axisX), th * Length(p.axisY));
  const T3DVector axisX = p.axisX * (tw / pw), axisY = p.axisY * (th / ph);
  const int columns = static_cast<int>(std::min(1000.0, std::ceil(area.width / tw / 2)));
  const int rows = static_cast<int>(std::min(1000.0, std::ceil(area.height / th / 2)));
  for (int row = -rows; row <= rows; ++row) {
    for (int column = -columns; column <= columns; ++column) {
      // The tile's top-left corner from the slide's, in the slide's units.
      const double left = area.width / 2 + (column - 0.5) * tw, top = area.height / 2 + (row - 0.5) * th;
      // The picture pixel at the plane's position (the slide point at the anchor).
      const TFloatPoint anchor{static_cast<float>((p.anchor.x - left) * pw / tw),
                               static_cast<float>((p.anchor.y - top) * ph / th)};
      drawer.DrawImage(*source, p.position, params, axisX, axisY, anchor);
    }
  }
}

TImage* TSlideBackgroundPainter::KeptPicture(const TString& key, TStringView name, TZelSlideHost* host) {
  for (TKeptPicture& kept : fKept)
    if (kept.name == key) return kept.picture.get();
  std::unique_ptr<TImage> picture = host->RequestPicture(name);
  if (!picture) return nullptr;
  if (fKept.size() >= kMaxKeptPictures) fKept.erase(fKept.begin());
  fKept.push_back({key, std::move(picture)});
  return fKept.back().picture.get();
}

std::vector<TString> TSlideBackgroundPainter::KeptNames() const {
  std::vector<TString> names;
  for (const TKeptPicture& kept : fKept) names.push_back(kept.name);
  return names;
}

void TSlideBackgroundPainter::Release(TDeviceDrawer& drawer) {
  for (TKeptPicture& kept : fKept) drawer.ReleaseImage(*kept.picture);
  fKept.clear();
}

}  // namespace zel
