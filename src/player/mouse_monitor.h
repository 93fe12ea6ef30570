// Watches the pointer over the main window and decides when the cursor is
// shown: a real movement (more than 4 pixels either way) shows it, and
// with a hide interval it goes again after that long without movement.
// The window tells it about movements, entering and leaving, and polls it
// from a timer; it answers through the cursor callback.
#pragma once

#include <cstdint>
#include <functional>

#include "core/obj.h"

namespace zel {

class TMouseMonitor : public TObj {
 public:
  // A movement is a change of more than this many pixels in x or in y.
  static constexpr int32_t kJitter = 4;
  // How often the window polls while the pointer is inside.
  static constexpr uint32_t kPollIntervalMs = 20;

  // visible: show the cursor (the default shape) or hide it.
  using TCursorCallback = std::function<void(bool visible)>;
  explicit TMouseMonitor(TCursorCallback cursor);

  // 0 never hides after idling.
  void SetHideInterval(uint32_t ms) noexcept { fHideInterval = ms; }
  uint32_t HideInterval() const noexcept { return fHideInterval; }
  // Shows or hides the cursor now.
  void SetHidden(bool hidden);
  bool Hidden() const noexcept { return fHidden; }
  // While set (the navigation panel is under the pointer) the cursor is
  // never hidden.
  void SetKeepVisible(bool keep);

  // A pointer position inside the window.
  void Moved(int32_t x, int32_t y);
  // From the timer: hides the cursor once the hide interval has passed
  // since the last real movement.
  void Poll();
  void Entered() noexcept { fInside = true; }
  void Left() noexcept { fInside = false; }
  bool Inside() const noexcept { return fInside; }

 private:
  TCursorCallback fCursor;
  uint32_t fHideInterval = 0;
  bool fHidden = false;
  bool fKeepVisible = false;
  bool fInside = false;
  bool fHavePosition = false;
  int32_t fX = 0, fY = 0;
  uint64_t fLastMove;
};

}  // namespace zel
