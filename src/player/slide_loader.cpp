#include "player/slide_loader.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/thread_event_list.h"
#include "core/exceptions.h"
#include "core/loader_callback.h"
#include "core/log.h"
#include "ini/ini_document.h"
#include "player/engine_messages.h"
#include "show/zel_source.h"

namespace zel {

namespace {

constexpr auto kStepPause = std::chrono::milliseconds(10);
constexpr int32_t kSmallestFrame = 10;

}  // namespace

TZelSlideLoader::TZelSlideLoader(TZelSource* source, int capacity, bool ownsSource, TRef<TTiming> timing,
                                 TThreadEventList* engineQueue, TScreenSize screen)
    : fSource(source),
      fOwnsSource(ownsSource),
      fTiming(timing ? std::move(timing) : MakeRef<TTiming>()),
      fEngineQueue(engineQueue),
      fProducer(new TSlideProducer(source, false)),
      fCache(std::make_unique<TSlideCache>(fProducer, true, capacity)) {
  ReadWindowSettings(screen);
  fProducer->SetTiming(fTiming);
  fProducer->SetFrame(fFrameWidth, fFrameHeight, TFillMode::Fit, 100, 100);
  fCache->SetChangeCallback([this](TSlideCache& cache) { HandOver(cache); });
}

TZelSlideLoader::~TZelSlideLoader() {
  Stop();
  // The slides refer to the show: they go first.
  fCache.reset();
  if (fOwnsSource) delete fSource;
}

void TZelSlideLoader::ReadWindowSettings(TScreenSize screen) {
  const TIniSection& main = fSource->MainSection();
  const TString projectName = main.ReadString(u"projectname", u"ZelShow");
  fTitle = projectName;
  fDisplayMode = main.ReadInteger(u"opt_scr_full", 1);
  fBorder = fDisplayMode == 0 && !main.ReadBool(u"opt_withoutborder", true);
  if (fBorder) fTitle = main.ReadString(u"opt_scr_caption", projectName);
  if (fDisplayMode == 0 || fDisplayMode == 3) {
    fFrameWidth = main.ReadInteger(u"opt_scr_width", 640);
    fFrameHeight = main.ReadInteger(u"opt_scr_height", 480);
  } else {
    fFrameWidth = screen.width;
    fFrameHeight = screen.height;
  }
  fFrameWidth = std::max(fFrameWidth, kSmallestFrame);
  fFrameHeight = std::max(fFrameHeight, kSmallestFrame);
}

TWindowStyle TZelSlideLoader::WindowStyle() const noexcept {
  if (fDisplayMode == 1) return TWindowStyle::FullScreen;
  return fBorder ? TWindowStyle::Bordered : TWindowStyle::Borderless;
}

void TZelSlideLoader::SetFrameSize(int32_t width, int32_t height) {
  fFrameWidth = std::max(width, kSmallestFrame);
  fFrameHeight = std::max(height, kSmallestFrame);
  fProducer->SetFrame(fFrameWidth, fFrameHeight, fCover ? TFillMode::Cover : TFillMode::Fit, 100, 100);
}

void TZelSlideLoader::SetFillMode(bool cover) {
  fCover = cover;
  fProducer->SetFrame(fFrameWidth, fFrameHeight, cover ? TFillMode::Cover : TFillMode::Fit, 100, 100);
}

void TZelSlideLoader::HandOver(TSlideCache& cache) {
  std::unique_ptr<TSlideData> window = cache.Window();
  if (fEngineQueue) {
    fEngineQueue->SendWait(static_cast<uint32_t>(TEngineMessage::SlideWindow), window.get());
  } else if (fHandOver) {
    fHandOver(std::move(window));
  }
}

bool TZelSlideLoader::Step() { return fCache->Update(fTiming->CurrentTime()); }

bool TZelSlideLoader::WindowComplete() { return fCache->Complete(fTiming->CurrentTime()); }

void TZelSlideLoader::OnStart() { SetThreadStopFlag(&fStopping); }

void TZelSlideLoader::OnStop() { SetThreadStopFlag(nullptr); }

void TZelSlideLoader::Terminate() {
  fStopping.store(true, std::memory_order_release);
  TSlideShowParams::Terminate();
}

void TZelSlideLoader::LoopStep() {
  try {
    Step();
  } catch (const EAbort&) {
    // Told to stop while building: the slide is dropped.
    return;
  }
  std::this_thread::sleep_for(kStepPause);
}

}  // namespace zel
