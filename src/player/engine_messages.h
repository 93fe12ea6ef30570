// The codes of the messages between the interface thread, the engine and
// the slide loader, in one place.
#pragma once

#include <cstdint>

namespace zel {

// To the engine's queue.
enum class TEngineMessage : uint32_t {
  Mouse = 11,
  GrabFrame = 13,
  CloseDialog = 15,
  OpenHelp = 16,
  SlideWindow = 101,  // a TSlideData from the slide loader
  Open = 102,
  Pause = 103,
};

// To the interface thread.
enum class TViewerMessage : uint32_t {
  FirstFrame = 1,
  Position = 2,
  Action = 12,
  GrabbedFrame = 14,
  WindowGeometry = 17,
};

}  // namespace zel
