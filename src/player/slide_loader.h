// The slide loader: a thread that keeps the window of built slides around
// the show's current time and hands every new window to the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/zel_thread.h"
#include "player/slide_cache.h"
#include "player/slide_producer.h"
#include "player/slide_timing.h"

namespace zel {

class TThreadEventList;
class TZelSource;

// How the show's window looks: set from the project.
class TSlideShowParams : public TZelThread {
 public:
  int32_t FrameWidth() const noexcept { return fFrameWidth; }
  int32_t FrameHeight() const noexcept { return fFrameHeight; }
  const TString& Title() const noexcept { return fTitle; }
  bool HasBorder() const noexcept { return fBorder; }

 protected:
  int32_t fFrameWidth = 0, fFrameHeight = 0;
  TString fTitle = u"ZelShow";
  bool fBorder = false;
};

// The window styles handed to the viewer with the window geometry.
enum class TWindowStyle : int32_t { FullScreen = 0, Bordered = 1, Borderless = 2 };

class TZelSlideLoader : public TSlideShowParams {
 public:
  struct TScreenSize {
    int32_t width = 1920, height = 1080;
  };
  // The window is handed to the queue with message 101, waiting until the
  // engine took it; without a queue, to the hand-over callback (tools and
  // tests). screen is the primary screen's size.
  TZelSlideLoader(TZelSource* source, int capacity, bool ownsSource, TRef<TTiming> timing,
                  TThreadEventList* engineQueue, TScreenSize screen);
  ~TZelSlideLoader() override;

  using THandOver = std::function<void(std::unique_ptr<TSlideData> window)>;
  void SetHandOver(THandOver handOver) { fHandOver = std::move(handOver); }

  TZelSource& Source() const noexcept { return *fSource; }
  TSlideCache& Cache() noexcept { return *fCache; }
  TSlideProducer& Producer() noexcept { return *fProducer; }
  TTiming& Timing() noexcept { return *fTiming; }
  // "opt_scr_full": 1 full screen, 0 a window, 3 a borderless window of the
  // design size, anything else a borderless window of the screen's size.
  int32_t DisplayMode() const noexcept { return fDisplayMode; }
  TWindowStyle WindowStyle() const noexcept;

  // The frame becomes the drawing area's size (at least 10 x 10).
  void SetFrameSize(int32_t width, int32_t height);
  void SetFillMode(bool cover);
  TRect DrawingRect() const { return fProducer->DrawingRect(); }

  // Builds the next missing slide of the window at the timing's current
  // time; what the thread does every step (tests call it directly).
  bool Step();
  // Whether the window at the current time is complete.
  bool WindowComplete();

  // Also stops a slide build in progress: its file and picture reads raise
  // EAbort at their next chunk.
  void Terminate() override;

 protected:
  void LoopStep() override;
  void OnStart() override;
  void OnStop() override;

 private:
  void ReadWindowSettings(TScreenSize screen);
  void HandOver(TSlideCache& cache);

  TZelSource* fSource;
  bool fOwnsSource;
  TRef<TTiming> fTiming;
  TThreadEventList* fEngineQueue;
  TSlideProducer* fProducer;  // owned by the cache
  std::unique_ptr<TSlideCache> fCache;
  int32_t fDisplayMode = 1;
  bool fCover = false;
  THandOver fHandOver;
  std::atomic<bool> fStopping{false};
};

}  // namespace zel
