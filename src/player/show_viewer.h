// The show viewer: ties the main window, the render device on it and the
// engine together. On the interface thread it turns the window's requests
// (load, pause, seek, mouse, help, close dialog, print) into messages for
// the engine, and the engine's messages (first frame, position, action,
// window geometry) into window changes and calls back into the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/event_list.h"
#include "core/obj.h"
#include "imaging/geometry.h"
#include "player/engine.h"
#include "player/window_geometry.h"
#include "render/draw_device.h"
#include "show/action_info.h"

struct SDL_Window;

namespace zel {

class TDeviceDrawer;
class TFileAccessor;
class TIniStorage;

// The render device window bound to the main window: the engine's draw
// controller opens the renderer on it. It keeps the window's rectangle for
// the renderer in its rectangle wrapper.
class TSysDevice : public TDrawDevice {
 public:
  explicit TSysDevice(SDL_Window* window);
  // The wrapper in the listeners, made when missing.
  TRectangleWrapper& RectangleWrapper();
  // The window is active unless it lost the focus or was minimised; the
  // engine asks from its thread.
  bool IsActive() override { return fActive.load(); }
  void SetActive(bool active) { fActive.store(active); }

 private:
  std::atomic<bool> fActive{true};
};

// What the viewer needs of the main window.
class TShowWindowHost {
 public:
  virtual ~TShowWindowHost() = default;
  // The platform window the device draws into; null without one (tests).
  virtual SDL_Window* NativeWindow() = 0;
  virtual bool WindowVisible() = 0;
  virtual void ShowWindow() = 0;
  // What a bordered window adds around its client area.
  virtual void FrameExtents(int32_t& width, int32_t& height) = 0;
  // The monitors' bounds, the primary one first.
  virtual std::vector<TRect> Monitors() = 0;
  virtual void PlaceWindow(const TWindowGeometry& geometry) = 0;
};

class TZelShowViewer : public TObj {
 public:
  struct TSettings {
    // From the command line: the monitor ("display", 1-based; 0 none),
    // the whole desktop ("desktopalign"), a sizeable window ("resize"),
    // the loader's fill mode ("cover").
    int32_t display = 0;
    bool desktopAlign = false;
    bool resize = false;
    bool cover = false;
    TString playerFileName = u"zelplayer";
    // Tests draw without a window: the drawer to use instead of one on the
    // device.
    std::function<std::unique_ptr<TDeviceDrawer>()> drawerFactory;
  };
  struct TCallbacks {
    std::function<void(int32_t position, bool ended)> position;
    std::function<void(const TZelActionInfo& action)> action;
    std::function<void()> print;
  };

  TZelShowViewer(TShowWindowHost& host, TSettings settings);
  // Stops the engine (and its thread) first.
  ~TZelShowViewer() override;

  void SetCallbacks(TCallbacks callbacks) { fCallbacks = std::move(callbacks); }

  // The accessor and project stay the caller's: the engine gets its own.
  void LoadShow(TFileAccessor& accessor, const TIniStorage& project, double startTime);

  bool Paused() const noexcept { return fPaused; }
  void SetPaused(bool paused);
  // Negative times are ignored.
  void Seek(int64_t time);
  void SeekAndSetPaused(int64_t time, bool paused);

  // buttons: the buttons held (modifier bits); button: the one that went
  // down or up (1 left, 4 right, 5 middle).
  void Mouse(TMouseData::TKind kind, uint32_t buttons, int32_t x, int32_t y, uint8_t button = 0);
  void MouseWithAction(TMouseData::TKind kind, uint32_t buttons, int32_t x, int32_t y, const TZelActionInfo& action,
                       uint8_t button = 0);
  void Help();
  void CloseDialog();
  void Print();
  void SetActionsEnabled(bool enabled);
  // The main window gained or lost the focus (shows may pause meanwhile).
  void SetWindowActive(bool active);

  // Where the window goes for a project, before any engine exists.
  TWindowGeometry PlannedGeometry(const TIniStorage& project);

  int32_t Position() const noexcept { return fPosition; }
  int32_t Length() const noexcept { return fLength; }
  TZelEngine* Engine() const noexcept { return fEngine.get(); }
  bool EngineRunning() const noexcept { return fEngine && fEngine->StartSucceeded(); }
  // Stops the engine thread; the viewer then ignores its requests.
  void StopEngine();

  // The engine's message on the interface thread (posted there by the
  // engine's callbacks; tests call it directly).
  void HandleEngineMessage(const TZelEventData& data);

 private:
  void MakeEngine(const TIniStorage& project);
  void PlaceWindow(int32_t width, int32_t height, TWindowStyle style);
  TWindowGeometry GeometryFor(int32_t width, int32_t height, TWindowStyle style, int32_t& frameWidth,
                              int32_t& frameHeight);
  void PostToEngine(TEngineMessage code, std::unique_ptr<TObj> payload);
  void PostMouse(TMouseData::TKind kind, uint8_t button, uint32_t buttons, int32_t x, int32_t y,
                 std::optional<TString> action);
  void OnPosted(TObj* sender, TEventId id, TObj* param);

  TShowWindowHost& fHost;
  TSettings fSettings;
  TCallbacks fCallbacks;
  std::unique_ptr<TSysDevice> fDevice;
  std::unique_ptr<TZelEngine> fEngine;
  TEventId fEventId = 0;
  bool fPaused = true;
  bool fActionsEnabled = true;
  int32_t fPosition = 0;
  int32_t fSeekOpenNumber = 0;  // the open request of the last seek
  int32_t fLength = 0;
};

}  // namespace zel
