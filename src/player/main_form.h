// The player's main window: opens the show the command line names (or the
// one appended to the player), plays it through the show viewer, turns
// keys, mouse buttons and the wheel into actions, hides the cursor as the
// show asks, and closes the player in order.
//
// It is the only place that touches the platform window: an SDL window
// made for the render device, whose events reach it through the
// application's message loop.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/hook_manager.h"
#include "app/timer.h"
#include "core/obj.h"
#include "player/input_mapping.h"
#include "player/mouse_monitor.h"
#include "player/sdl_keys.h"
#include "player/show_viewer.h"

struct SDL_Window;
union SDL_Event;

namespace zel {

class TFirstSlidePrefetch;
class TProcessLauncher;
class TScreenSaverInhibitor;
class TZelShowLocator;
class TZelSource;

// A way back to an earlier show: the command that opens it again.
struct TRunStackItem {
  TString command;
};

class TMainForm : public TObj, public TShowWindowHost {
 public:
  // Mouse input is ignored this long after the window was made.
  static constexpr uint64_t kMouseDeafMs = 1000;
  // Wheel movement comes in notches of this many units.
  static constexpr int32_t kWheelNotch = 120;
  // A wheel notch moves the show this far (without Ctrl alone).
  static constexpr int64_t kWheelStepMs = 700;
  // After the engine stopped, the window waits this long before the end.
  static constexpr uint32_t kCloseDelayMs = 300;

  TMainForm(const std::string& playerPath, TCommandsStorage& commands);
  ~TMainForm() override;

  // Another player holds the instance lock (a screen saver then refuses
  // to run).
  void SetAnotherInstanceRunning(bool running) noexcept { fAnotherInstance = running; }

  // Programs and documents start through this launcher (tests give a fake).
  void SetLauncher(std::unique_ptr<TProcessLauncher> launcher);

  // Makes the window and opens the show of the command line; false when
  // nothing can play (the reason was shown).
  bool Start();

  // Opens a show: a package (executable) or a plain project; checks the
  // password and the screen-saver rules when withChecks. Any message was
  // shown; false when the show did not open.
  bool OpenShow(const TString& name, bool executable, bool withChecks, const TStartPosition& start);

  // Carries out an action; false when it is not one for the window.
  bool RunAction(const TZelActionInfo& action);
  // Closes the player unless a close is under way or input is blocked;
  // false when refused.
  bool CloseRequest();

  // Input in the mapping's terms (the SDL events are translated first).
  void KeyDown(const TKeyInput& key);
  void MouseInput(const TMouseInput& mouse);
  void Wheel(int32_t delta, uint32_t modifiers);

  int ExitCode() const noexcept { return fExitCode; }
  const TString& ShowFileName() const noexcept { return fShowFileName; }
  const std::vector<TRunStackItem>& RunStack() const noexcept { return fRunStack; }
  bool Closing() const noexcept { return fClosing; }
  TZelShowViewer& Viewer() { return *fViewer; }
  SDL_Window* Window() const noexcept { return fWindow; }
  bool CursorHidden() const noexcept { return fMouseMonitor.Hidden(); }

  // TShowWindowHost
  SDL_Window* NativeWindow() override { return fWindow; }
  bool WindowVisible() override;
  void ShowWindow() override;
  void FrameExtents(int32_t& width, int32_t& height) override;
  std::vector<TRect> Monitors() override;
  void PlaceWindow(const TWindowGeometry& geometry) override;

 private:
  // Opening, in order.
  // name and executable: the show being opened, for the start-up window.
  bool PassesChecks(const TZelShowLocator& show, const TString& name, bool executable);
  void MakeCurrent(std::unique_ptr<TZelShowLocator> show);
  void StartPrefetch(double startTime);
  void SetUpCursor(const TIniSection& main);
  bool SetUpScreenSaver();
  double StartTime(const TStartPosition& start) const;
  void RememberShowName(const TString& name, bool executable);

  // Start-up window: the player again as a child; true when it confirmed.
  bool StartupWindowConfirms(const TString& name, bool executable);

  // Actions that leave the show or start programs.
  void RunApp(const TString& text);
  void RunAppAndExit(const TString& text);
  // Opens the show a "runpresentation(" text names; false when it did not
  // open (any message was shown), with refused set when the file was no
  // show to open at all (missing, no package, another version).
  bool OpenAnotherShow(const TString& text, bool andReturn, bool* refused = nullptr);
  // The show file a "runpresentation(" text names, found beside the
  // current show when needed; empty after a message.
  TString AnotherShowFile(const TString& file);
  // Closing: the program or show to run on exit, and the way back.
  bool RunOnExit(bool atLastSlide);
  bool ReturnThroughRunStack();

  // Navigation.
  void NextSlide();
  void PreviousSlide();
  void GoToSlide(const TZelActionInfo& action);
  void TogglePause();
  void SeekBy(int64_t delta);
  void OnPosition(int32_t position, bool ended);

  // Window and events.
  bool MakeWindow();
  bool OnSdlEvent(TVxMessage& message);
  void OnWindowEvent(const SDL_Event& event);
  void OnMouseButton(const SDL_Event& event);
  void SetCursorVisible(bool visible);
  void CloseNow();

  std::string fPlayerPath;
  TCommandsStorage& fCommands;
  SDL_Window* fWindow = nullptr;
  std::unique_ptr<TZelShowViewer> fViewer;
  TMouseMonitor fMouseMonitor;
  TTimer fCursorTimer;
  std::unique_ptr<TInputMappingClass> fMapping;
  std::unique_ptr<TZelShowLocator> fShow;
  // The open show's slide records, for navigation.
  std::unique_ptr<TZelSource> fSource;
  // Decodes the first slide's pictures while the device is made.
  std::unique_ptr<TFirstSlidePrefetch> fPrefetch;
  bool fVideoInitialised = false;
  std::unique_ptr<TScreenSaverInhibitor> fScreenSaverOff;
  std::unique_ptr<TProcessLauncher> fLauncher;
  std::vector<TRunStackItem> fRunStack;
  bool fWheelNavigation = true;
  int32_t fWheelRemainder = 0;
  TString fShowFileName;
  TString fShowFolder;
  TString fProjectFileName;
  TString fPlayerVersion;
  bool fStartupChild = false;
  bool fAnotherInstance = false;
  bool fExitAtLastSlide = false;
  bool fExitRequested = false;
  bool fClosing = false;
  int fBusy = 0;
  int fExitCode = 0;
  uint64_t fCreatedAt = 0;
  bool fHooked = false;
};

}  // namespace zel
