#include "draw/device_drawer.h"

#include <cmath>

namespace zel {

std::recursive_mutex& GlobalDrawingLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool TDeviceDrawer::Draw(TDrawItem& item) {
  if (fNesting > 0) {
    if (!IsReady()) return false;
    ++fNesting;
    struct TLeave {
      int32_t& nesting;
      ~TLeave() { --nesting; }
    } leave{fNesting};
    Notify(&item, TFrameStage::BeforeItem);
    item.Draw(*this);
    Notify(&item, TFrameStage::AfterItem);
    return true;
  }

  std::lock_guard frameLock(GlobalDrawingLock());
  ++fNesting;
  bool presented = false;
  try {
    BeginFrame();
    if (IsReady()) {
      Notify(&item, TFrameStage::BeforeItem);
      item.Draw(*this);
      Notify(&item, TFrameStage::AfterItem);
    }
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

void TDeviceDrawer::SetViewSize(int32_t width, int32_t height) {
  const TRect& outer = fClipRect.IsEmpty() ? fScreenRect : fClipRect;
  const int32_t left = outer.Left + static_cast<int32_t>(std::lround((outer.Width() - width) / 2.0));
  const int32_t top = outer.Top + static_cast<int32_t>(std::lround((outer.Height() - height) / 2.0));
  const TRect view = TRect::FromSize(left, top, width, height);
  if (view.IsEmpty()) return;
  fViewRect = view;
}

}  // namespace zel
