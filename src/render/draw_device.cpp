#include "render/draw_device.h"

#include <SDL.h>

#include <algorithm>

#include "core/log.h"
#include "render/engine_3d.h"
#include "render/renderer_3d.h"

namespace zel {

TDrawDevice::TDrawDevice(SDL_Window* window) : fWindow(window) {
  if (fWindow) {
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(fWindow, &w, &h);
    fBounds = {0, 0, w, h};
    SDL_GetWindowPosition(fWindow, &fOrigin.X, &fOrigin.Y);
  }
}

TDrawDevice::~TDrawDevice() {
  std::lock_guard guard(DeviceLock());
  if (fRenderer) fRenderer->DetachDevice();
  fRenderer = nullptr;
  // A listener's destructor may look for others (the store tells the
  // renderer, the messenger tells the screen), so each one is taken out of
  // the list before it is freed.
  while (!fListeners.empty()) {
    TObj* listener = fListeners.front();
    fListeners.erase(fListeners.begin());
    if (auto* shared = dynamic_cast<TRefObj*>(listener)) {
      shared->_Release();
    } else {
      delete listener;
    }
  }
}

TRect TDrawDevice::WindowRect() const {
  if (fWindow) {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    SDL_GetWindowPosition(fWindow, &x, &y);
    SDL_GetWindowSize(fWindow, &w, &h);
    return TRect::FromSize(x, y, w, h);
  }
  return {fBounds.Left + fOrigin.X, fBounds.Top + fOrigin.Y, fBounds.Right + fOrigin.X, fBounds.Bottom + fOrigin.Y};
}

void TDrawDevice::SetBounds(const TRect& bounds, TPoint origin, bool fullScreen) {
  if (bounds == fBounds && origin == fOrigin && fullScreen == fFullScreen) return;
  fBounds = bounds;
  fOrigin = origin;
  fFullScreen = fullScreen;
  std::lock_guard guard(DeviceLock());
  if (fRenderer) fRenderer->UpdateBounds();
}

void TDrawDevice::AddListener(TObj* listener) {
  if (listener) fListeners.push_back(listener);
}

bool TDrawDevice::RemoveListener(TObj* listener) {
  auto it = std::find(fListeners.begin(), fListeners.end(), listener);
  if (it == fListeners.end()) return false;
  fListeners.erase(it);
  return true;
}

std::unique_ptr<TDeviceWindow> TDeviceWindow::Create(int width, int height, bool visible, const char* title) {
  T3DEngine* engine = Get3DEngine();
  if (!engine) return nullptr;
  const uint32_t flags = engine->DeviceWindowFlags() | (visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
  SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, flags);
  if (!window) {
    Log().Write(std::string("SDL_CreateWindow failed: ") + SDL_GetError());
    return nullptr;
  }
  return std::unique_ptr<TDeviceWindow>(new TDeviceWindow(window));
}

TDeviceWindow::TDeviceWindow(SDL_Window* window) : fWindow(window), fDevice(std::make_unique<TDrawDevice>(window)) {}

TDeviceWindow::~TDeviceWindow() {
  fDevice.reset();
  SDL_DestroyWindow(fWindow);
}

}  // namespace zel
