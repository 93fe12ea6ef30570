// The draw device: the window a renderer draws into, with the drawing
// area's bounds and the objects attached to it (the device store, the
// drawing panel, the rectangle to restore, the screen's messenger).
#pragma once

#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/geometry.h"

struct SDL_Window;

namespace zel {

class T3DRenderer;

class TDrawDevice : public TObj {
 public:
  // The window is not owned; it must have been made with the engine's
  // device window flags (see TDeviceWindow).
  explicit TDrawDevice(SDL_Window* window);
  // Detaches the renderer and frees every listener.
  ~TDrawDevice() override;
  TDrawDevice(const TDrawDevice&) = delete;
  TDrawDevice& operator=(const TDrawDevice&) = delete;

  bool FullScreen() const { return fFullScreen; }
  // The drawing area in the window's client coordinates.
  const TRect& Bounds() const { return fBounds; }
  // The client area's top-left corner in screen coordinates.
  TPoint Origin() const { return fOrigin; }
  SDL_Window* Window() const { return fWindow; }
  // The window's rectangle in screen coordinates (the bounds moved by the
  // origin when the window cannot be asked).
  TRect WindowRect() const;

  T3DRenderer* Renderer() const { return fRenderer; }
  // Set by a renderer when it is made on this device and cleared when it goes.
  void SetRenderer(T3DRenderer* renderer) { fRenderer = renderer; }

  // Stores what changed and has the renderer move its drawing area.
  virtual void SetBounds(const TRect& bounds, TPoint origin, bool fullScreen);
  virtual bool IsActive() { return true; }

  // Listeners are owned; a shared (reference-counted) one is released
  // instead of freed.
  void AddListener(TObj* listener);
  // Takes a listener out of the list without freeing it; false when absent.
  bool RemoveListener(TObj* listener);
  template <typename T>
  T* FindListener() const {
    for (TObj* listener : fListeners) {
      if (auto* found = dynamic_cast<T*>(listener)) return found;
    }
    return nullptr;
  }

 private:
  bool fFullScreen = false;
  TRect fBounds;
  TPoint fOrigin;
  SDL_Window* fWindow;
  T3DRenderer* fRenderer = nullptr;
  std::vector<TObj*> fListeners;
};

// One per device: the window placement to restore after a full-screen
// renderer ends, and the one-shot request that the next renderer be
// windowed (after an exclusive renderer was lost).
class TRectangleWrapper : public TObj {
 public:
  // The window's rectangle in screen coordinates and its border, as they
  // were before the window went full screen (Saved tells they were taken);
  // the rectangle the renderer was made for otherwise.
  TRect Rect;
  bool Bordered = true;
  bool Saved = false;
  bool NextWindowed = false;
};

// A window made for drawing: an SDL window with the flags the engine needs,
// owned, and the draw device on it.
class TDeviceWindow : public TObj {
 public:
  // Hidden windows are what tests and the tools draw into without a display.
  static std::unique_ptr<TDeviceWindow> Create(int width, int height, bool visible, const char* title = "zelplayer");
  ~TDeviceWindow() override;

  SDL_Window* Window() const { return fWindow; }
  TDrawDevice& Device() { return *fDevice; }
  // Frees the draw device (and with it everything attached), keeping the window.
  void FreeDevice() { fDevice.reset(); }
  bool HasDevice() const { return fDevice != nullptr; }

 private:
  explicit TDeviceWindow(SDL_Window* window);
  SDL_Window* fWindow;
  std::unique_ptr<TDrawDevice> fDevice;
};

}  // namespace zel
