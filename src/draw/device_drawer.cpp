#include "draw/device_drawer.h"

#include <algorithm>
#include <cmath>

namespace zel {

std::recursive_mutex& GlobalDrawingLock() {
  static std::recursive_mutex lock;
  return lock;
}

void TDeviceDrawer::DrawItemContent(TDrawItem& item) {
  Notify(&item, TFrameStage::BeforeItem);
  item.Draw(*this);
  Notify(&item, TFrameStage::AfterItem);
}

bool TDeviceDrawer::Draw(TDrawItem& item) {
  if (fNesting > 0) {
    if (!IsReady()) return false;
    ++fNesting;
    struct TLeave {
      int32_t& nesting;
      ~TLeave() { --nesting; }
    } leave{fNesting};
    DrawItemContent(item);
    return true;
  }

  std::lock_guard frameLock(GlobalDrawingLock());
  ++fNesting;
  bool presented = false;
  try {
    BeginFrame();
    if (IsReady()) DrawItemContent(item);
    EndFrame();
    presented = Present();
  } catch (...) {
    --fNesting;
    item.AfterDraw(*this);
    throw;
  }
  --fNesting;
  item.AfterDraw(*this);
  return presented;
}

void TDeviceDrawer::ApplyViewSize() {
  if (!fViewSizeSet) return;
  const TRect& outer = fClipRect.IsEmpty() ? fScreenRect : fClipRect;
  const int32_t width = fViewSize.X;
  const int32_t height = fViewSize.Y;
  const int32_t left = outer.Left + static_cast<int32_t>(std::lround((outer.Width() - static_cast<double>(width)) / 2.0));
  const int32_t top = outer.Top + static_cast<int32_t>(std::lround((outer.Height() - static_cast<double>(height)) / 2.0));
  const TRect view = TRect::FromSize(left, top, width, height);
  if (view.IsEmpty()) return;
  fViewRect = view;
}

TPoint TDeviceDrawer::CanvasSize() const noexcept {
  if (CanvasSizeSet()) return fCanvasSize;
  const TRect rect = CanvasRect();
  return {rect.Width(), rect.Height()};
}

void TDeviceDrawer::DrawTransition(TDrawItem* slideA, TDrawItem* slideB, TDrawTransition& transition) {
  if (!transition.IsEffect()) {
    if (slideA) Draw(*slideA);
    return;
  }
  transition.Prepare(*this, slideA);
  const double time = transition.Time();
  if (time >= 0 && time < transition.Duration()) {
    transition.DrawEffect(*this, slideA, slideB);
  } else if (slideB) {
    Draw(*slideB);
  }
}

void TDeviceDrawer::DrawBorder(const TDrawPlane& plane, bool antialiased, float opacity, uint32_t color,
                               TFloatPoint outerSize, const TBorderWidths& widths) {
  TBoxDrawParams box;
  box.gradientType = 8;
  box.color1 = box.color2 = color;
  box.opacity = opacity;
  for (uint8_t& flag : box.antialias) flag = antialiased ? 1 : 0;
  // The side strips lie between the top and bottom ones, so no pixel is
  // covered twice (a translucent border would show its corners darker).
  const float sideHeight = std::max(0.0f, outerSize.y - widths.top - widths.bottom);
  const struct {
    float x, y, width, height;
  } strips[4] = {
      {0, 0, outerSize.x, widths.top},
      {0, widths.top, widths.left, sideHeight},
      {outerSize.x - widths.right, widths.top, widths.right, sideHeight},
      {0, outerSize.y - widths.bottom, outerSize.x, widths.bottom},
  };
  for (const auto& strip : strips) {
    if (strip.width <= 0 || strip.height <= 0) continue;
    box.width = strip.width;
    box.height = strip.height;
    const TFloatPoint anchor{plane.anchor.x - strip.x, plane.anchor.y - strip.y};
    DrawBox(box, plane.position, plane.axisX, plane.axisY, anchor);
  }
}

}  // namespace zel
