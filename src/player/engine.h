// The playback engine: on a thread of its own it keeps the show clock,
// decides each step whether the show may play, stops at slide ends that
// wait for the user, composes and draws the frame, survives the loss of the
// render device, and reports positions, actions and the first frame to the
// interface thread. Commands reach it only through its queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/zel_thread.h"
#include "core/strings.h"
#include "player/draw_controller.h"
#include "player/engine_data.h"
#include "player/engine_messages.h"
#include "player/frame_interpolator.h"
#include "player/root_item.h"
#include "player/slide_cache.h"
#include "player/slide_timing.h"
#include "player/third_slide_layer.h"

namespace zel {

class TFileAccessor;
class TIniStorage;
class TZelMusicPlayer;
class TZelSlideLoader;
class TZelSource;

// What the engine tells the interface thread.
struct TEngineCallbacks {
  std::function<void(const TZelEventData&)> firstFrame;  // message 1
  std::function<void(const TZelEventData&)> position;    // message 2
  std::function<void(const TZelEventData&)> message;     // every other one
};

class TCustomZelEngine : public TZelThread {
 public:
  void SetCallbacks(TEngineCallbacks callbacks) { fCallbacks = std::move(callbacks); }
  // Each open or seek request takes the next number; position reports
  // carry it, so that stale ones can be told apart.
  int32_t NextOpenNumber() { return ++fOpenCounter; }

 protected:
  void SendToViewer(TViewerMessage code, std::vector<int32_t> values, TString text = {});

 private:
  TEngineCallbacks fCallbacks;
  std::atomic<int32_t> fOpenCounter{0};
};

// A barrier: the slide end where the show stops (or loops) next.
struct TBarrier {
  bool set = false;
  int64_t slide = 0;
  double time = 3.4e38;
  double loopLength = 0;
};

// The next slide program to run at a slide's start.
struct TTimedAction {
  int64_t slide = 2147483646;
  double time = 3.4e38;
  TString command;
};

class TZelEngine : public TCustomZelEngine {
 public:
  struct TOptions {
    // The player's file name, for the screen-saver overrides.
    TString playerFileName = u"zelplayer";
    // The primary screen's size, for shows that play full screen.
    int32_t screenWidth = 1920, screenHeight = 1080;
    bool cover = false;
  };

  TZelEngine(std::unique_ptr<TZelDrawController> controller, TOptions options);
  ~TZelEngine() override;

  // --- Direct operations (interface thread) -------------------------------
  // Opens a show while the engine thread does not run yet.
  void Open(std::unique_ptr<TFileAccessor> accessor, std::unique_ptr<TIniStorage> project, double startTime,
            bool paused);
  // The same with show options already made (the engine owns them).
  void OpenSource(std::unique_ptr<TZelSource> source, double startTime, bool paused);
  bool StartEngine();
  // Terminates the thread and waits, then frees the loader, the layer and
  // the music player.
  void StopEngine();
  bool DialogOpen() const { return fThirdSlide && fThirdSlide->DialogOpen(); }
  void SetVolume(float volume) { fVolume.store(volume); }
  double CurrentTime() const;
  void SetActionsEnabled(bool enabled) { fActionsEnabled = enabled; }

  // --- Stepping without the thread (frame export, tests) --------------------
  // Called before the first open: the slide loader then runs on the
  // stepping thread too, one slide a step, and hands its windows over
  // directly.
  void EnableStepping() noexcept { fStepping = true; }
  void RunStep();
  // The show time of the next steps, bypassing the music clock, its anchor
  // and the interpolator.
  void SetStepperTime(double time);
  // Called with the drawer after each drawn frame, before it is presented.
  void SetFrameSink(std::function<void(TDeviceDrawer&)> sink) { fFrameSink = std::move(sink); }
  // Whether the last step drew a frame.
  bool FrameDrawn() const noexcept { return fFrameDrawn; }
  // Stopped at a slide end until the user goes on; going on plays into the
  // next slide from exactly there.
  bool Waiting() const noexcept { return fWaiting; }
  void ContinueFromBarrier() { fWaiting = false; }
  bool Active() const noexcept { return fActive; }
  bool Paused() const noexcept { return fPaused; }
  bool EndReported() const noexcept { return fEndReported; }
  const TBarrier& Barrier() const noexcept { return fBarrier; }
  TZelSlideLoader* Loader() const noexcept { return fLoader.get(); }
  TZelDrawController& Controller() noexcept { return *fController; }
  const std::vector<TRef<TDrawContainer>>& Window() const noexcept { return fWindow; }

  // The layer above the slides; a null one until set.
  void SetThirdSlide(std::unique_ptr<TThirdSlideLayer> layer);

 protected:
  void HandleMessage(TThreadEventList* sender, uint32_t code, bool& handled, TObj* payload) override;
  void LoopStep() override;
  void OnStart() override;
  void OnStop() override;

 private:
  // The loop step's parts, in order.
  void ApplyVolume();
  void ProcessRequests();
  void RunLoader();
  bool DecideMayPlay(uint32_t state);
  void RecoverDevice(uint32_t state, bool& mayPlay);
  void AdvanceTime(uint32_t state);
  void HitBarrier(double t);
  void CheckEndOfShow();
  void RunTimedAction();
  void DrawIfDrawable(uint32_t state);
  void Pace();
  void ReportPosition();

  // Show clock and activity.
  double ShowTime();
  void SetActive(bool active);
  bool MusicReady();
  // Readiness of the window at a time.
  bool ReadyToPlay(double t) const;
  bool Drawable(double t) const;
  // Barriers and timed actions from a time.
  TBarrier NextBarrier(double x) const;
  TTimedAction NextTimedAction(double x) const;
  // Requests and messages.
  void OpenShow(std::unique_ptr<TOpenParams> request, bool reopen);
  void Reopen(std::unique_ptr<TZelSource> source, double startTime, bool reopen);
  void Seek(double time);
  void TakeRequest(TOpenParams& request);
  void TakePause(bool paused);
  void TakeWindow(const TSlideData& data);
  void HandleMouse(const TMouseData& mouse);
  // The topmost slide shown now, which mouse events meet.
  TZelSlide* SlideUnderPointer() const;
  void CarryOut(const TString& action);
  void OnNewContainer(TDrawContainer& container);
  // Drawing.
  void ComposeScene(double t);
  void DrawFrame(bool forced);
  void DrawEmptyFrame();
  void StopLoader();

  std::unique_ptr<TZelDrawController> fController;
  TOptions fOptions;
  TRootItem fRoot;
  TFrameInterpolator fInterpolator;
  std::unique_ptr<TZelSource> fSource;
  std::unique_ptr<TZelSlideLoader> fLoader;
  TRef<TTiming> fTiming;
  std::vector<TRef<TDrawContainer>> fWindow;
  std::unique_ptr<TZelMusicPlayer> fMusic;
  std::unique_ptr<TThirdSlideLayer> fThirdSlide;
  std::unique_ptr<TOpenParams> fPending;
  bool fPendingPause = false;
  bool fProcessing = false;
  int32_t fOpenNumber = 0;

  bool fPaused = false, fActive = false, fEndReported = false;
  // The interface thread ends a wait ("nextslide", "pause", some keys).
  std::atomic<bool> fWaiting{false};
  double fStoredPosition = 0;
  double fLastReported = -3.4e38;
  TBarrier fBarrier;
  TTimedAction fTimedAction;
  std::atomic<float> fVolume{1.0f};
  std::unique_ptr<TMouseData> fLastMouse;
  // The slide the last mouse event met; compared only, never used.
  const TZelSlide* fClickSlide = nullptr;
  uint32_t fMissedFrames = 0;
  bool fPresented = true, fFirstFrameSent = false, fFrameDrawn = false;
  bool fActionsEnabled = true;
  uint64_t fLastPassStart = 0;
  uint64_t fLastPassLength = 0;

  // Stepping without the thread.
  bool fStepping = false;
  bool fStepperSet = false;
  double fStepperTime = 0;
  std::function<void(TDeviceDrawer&)> fFrameSink;
};

}  // namespace zel
