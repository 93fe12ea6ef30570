// The engine on SDL and GL: adapters are SDL's displays, capabilities come
// from GL's limits (read once on a hidden 16 x 16 window with its own
// context), and renderers get their GL context from the device's store.
//
// Windows and contexts are made on the interface thread: a renderer asked
// for on another thread is handed back at once and made there, through a
// TInitData record posted to the application.
#pragma once

#include <SDL.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/event_list.h"
#include "render/engine_3d.h"

namespace zel {

class TApplication;
class T3DRendererGL;

// The capabilities and identification of one adapter.
struct TCapsWrapper {
  uint32_t PixelShaderVersion = 0;
  uint32_t MaxTextureWidth = 0;
  uint32_t MaxTextureHeight = 0;
  uint32_t MaxAnisotropy = 0;
  uint32_t Raster = 0;
  uint32_t Vendor = 0;
  std::string VendorName;
  std::string RendererName;
  std::string Version;
  std::string ShadingLanguage;
};

// The PCI vendor of a GL vendor or renderer text, 0 when it names none.
uint32_t VendorIdOf(const std::string& vendor, const std::string& renderer);

// A renderer to make on the interface thread.
class TInitData : public TObj {
 public:
  ~TInitData() override;
  T3DRendererGL* Renderer = nullptr;
  TAdapterMode Mode;
};

// A window placement to restore on the interface thread.
class TReleaseData : public TObj {
 public:
  uint32_t WindowId = 0;
  TRect Rect;
  bool Bordered = true;
};

class T3DEngineGL final : public T3DEngine {
 public:
  // None when SDL has no video or no GL context can be made.
  static std::unique_ptr<T3DEngineGL> Open();
  ~T3DEngineGL() override;

  int FindAdapter(const TRect& rect) override;
  uint32_t GetCaps(std::string_view name, int adapter) override;
  bool GetAdapterMode(int adapter, TAdapterMode& mode) override;
  std::unique_ptr<T3DRenderer> CreateRenderer(TDrawDevice& device, const TAdapterMode& mode) override;
  bool IsReady() override;
  int ShaderLevel(int adapter) override;
  bool GetAdapterIdentity(int adapter, TAdapterIdentity& identity) override;
  uint32_t DeviceWindowFlags() override { return SDL_WINDOW_OPENGL; }

  // The capabilities, read on first use; none when they cannot be read.
  // An engine opened off the interface thread has the interface thread make
  // its hidden device; until that is done a caller on another thread waits
  // for it, at most kHiddenDeviceWaitMs (the interface thread must be
  // running its message loop, and the caller must not hold the device
  // lock, which the interface thread needs for it).
  const TCapsWrapper* Caps(int adapter);
  static constexpr int kHiddenDeviceWaitMs = 2000;
  // Restores a window's placement and border (on the interface thread).
  void RestoreWindow(SDL_Window* window, const TRect& rect, bool bordered);
  // Makes the renderer's device; the steps of renderer creation. Runs on
  // the interface thread under the device lock.
  bool InternalCreateRenderer(T3DRendererGL& renderer, const TAdapterMode& mode);

 private:
  T3DEngineGL() = default;
  bool OnInterfaceThread() const;
  // Sets the context attributes every window and context is made with.
  static void SetAttributes(bool robust);
  // A context for the window, current on no thread afterwards; none on failure.
  SDL_GLContext CreateContext(SDL_Window* window, bool& robust);
  bool EnsureHiddenDevice();
  // The hidden device was made, or could not be: waiting callers go on.
  void HiddenDeviceDone();
  bool Post(std::unique_ptr<TObj> record);
  void OnInterfaceEvent(TObj* sender, TEventId id, TObj* param);

  SDL_Window* fHiddenWindow = nullptr;
  SDL_GLContext fHiddenContext = nullptr;
  bool fHiddenRobust = false;
  std::unique_ptr<TCapsWrapper> fCaps;
  // Set while the interface thread has yet to make the hidden device.
  std::mutex fHiddenLock;
  std::condition_variable fHiddenDone;
  bool fHiddenPending = false;
  TApplication* fApplication = nullptr;
  TEventId fEventId = 0;
};

}  // namespace zel
