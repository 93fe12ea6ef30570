// The engine's loop step and what it decides with: the show clock, whether
// the show may play, barriers, timed actions, the end of the show, and
// drawing the frame.
#include <algorithm>
#include <cmath>

#include "audio/music_player.h"
#include "core/clock.h"
#include "core/loader_callback.h"
#include "core/log.h"
#include "core/tick_count.h"
#include "ini/ini_document.h"
#include "render/draw_device.h"
#include "player/engine.h"
#include "player/slide_loader.h"
#include "show/zel_source.h"

namespace zel {

namespace {

constexpr double kNoTime = 3.4e38;
constexpr uint64_t kFastPassMs = 17;
constexpr double kReportStep = 20;

int32_t WholeMs(double time) {
  return static_cast<int32_t>(std::clamp(std::trunc(time), -2147483648.0, 2147483647.0));
}

// The loader callback's modes: loading threads run freely while the show
// stands and yield every 5 ms while it plays.
void SetLoaderYielding(bool yielding) {
  if (!yielding) {
    SetLoaderCallback(nullptr);
    return;
  }
  SetLoaderCallback([last = TickCount()]() mutable {
    const uint64_t now = TickCount();
    if (now - last > 5) {
      Clock().Sleep(1);
      last = TickCount();
    }
  });
}

}  // namespace

void TZelEngine::OnStart() { fStepping = false; }

void TZelEngine::OnStop() {
  SetLoaderYielding(false);
  fController->LeaveThread();
}

void TZelEngine::LoopStep() {
  const uint64_t began = TickCount();
  ApplyVolume();
  if (Queue().Closed()) return;
  Process();
  ProcessRequests();
  RunLoader();
  const uint32_t state = fController->State();
  if (!fPresented) ++fMissedFrames;
  bool mayPlay = DecideMayPlay(state);
  if (!mayPlay && fActive) {
    Log().Write("TZelEngine.MainLoop: SetActive(False) - Stop by not NewActive");
    fController->DeviceRefresh();
  }
  if (!mayPlay) SetActive(false);
  RecoverDevice(state, mayPlay);
  if (mayPlay && !fActive) {
    Log().Write("TZelEngine.MainLoop: SetActive(True) - Start by NewActive");
    SetActive(true);
  }
  if (!Terminated()) {
    AdvanceTime(state);
    fLastPassLength = TickCount() - began;
    Pace();
    ReportPosition();
  }
}

void TZelEngine::RunStep() {
  fStepping = true;
  LoopStep();
}

void TZelEngine::SetStepperTime(double time) {
  fStepperSet = true;
  fStepperTime = time;
}

void TZelEngine::ApplyVolume() {
  if (fMusic && fMusic->MasterVolume() != fVolume.load()) fMusic->SetMasterVolume(fVolume.load());
}

void TZelEngine::RunLoader() {
  if (!fLoader) return;
  if (fStepping) {
    // On this thread: one slide a step, as the loader's own thread would.
    fLoader->Step();
  } else if (!fLoader->StartSucceeded()) {
    // Once: a thread that has just been started may not count as running
    // yet, and starting it again would wait for it to end.
    fLoader->Start();
  }
}

// --- May the show play? -----------------------------------------------------

bool TZelEngine::MusicReady() {
  if (!fMusic || fStepperSet) return true;
  const bool ready = fMusic->Ready();
  if (!ready && fActive) Log().Write("TZelEngine.IsMusicReady: False");
  return ready;
}

bool TZelEngine::DecideMayPlay(uint32_t state) {
  if (!fSource || fPaused || fWaiting) return false;
  if (fThirdSlide->HoldsShow()) return false;
  const double t = CurrentTime();
  if (!fActive && fMusic && !fStepperSet &&
      (fMusic->Position() != t || fMusic->LastLimit() != fBarrier.time)) {
    fMusic->SetTime(t, fBarrier.time);
  }
  if (!ReadyToPlay(t) || !MusicReady()) return false;
  if (fSource->PauseWhenInactive() && !HasState(state, TDrawState::Active)) return false;
  const bool repeats = fSource->RepeatMode() == TRepeatMode::Repeat;
  if (fActive && !repeats && t > fSource->TotalLength()) return false;
  return true;
}

void TZelEngine::RecoverDevice(uint32_t state, bool& mayPlay) {
  if (!HasState(state, TDrawState::Lost) || !HasState(state, TDrawState::Ready)) return;
  fFirstFrameSent = false;
  mayPlay = false;
  if (fActive) Log().Write("TZelEngine.MainLoop: SetActive(False) - Stop by Reinited");
  SetActive(false);
  TDeviceDrawer& drawer = fController->Drawer();
  for (const auto& container : fWindow)
    if (container->Slide()) container->Slide()->ReleaseResources(drawer);
  if (fController->Device() && fLoader) {
    const TRect bounds = fController->Device()->Bounds();
    if (bounds.Width() != fLoader->FrameWidth() || bounds.Height() != fLoader->FrameHeight()) {
      Log().WritePoint("OpenInt on diff size: ", bounds.Width(), bounds.Height());
      Reopen(nullptr, CurrentTime(), true);
    }
  }
  for (size_t i = 1; i < fWindow.size(); ++i)
    if (fWindow[i]->Slide()) fWindow[i]->Slide()->PreparePictures(drawer);
  Log().WriteInt("DrawDevice Reinited (Slides:", static_cast<int64_t>(fWindow.size()), ")");
}

// --- The show clock -----------------------------------------------------------

double TZelEngine::ShowTime() {
  // A show that waits at a slide end stands there, stepped or not.
  if (fStepperSet && !fWaiting) return fStepperTime;
  if (!fActive || !fMusic) return fStoredPosition;
  return fInterpolator.Next(fMusic->Position() - fStoredPosition);
}

void TZelEngine::SetActive(bool active) {
  if (active == fActive) return;
  if (active) {
    if (fController->HasDrawer() || fController->Device()) {
      TDeviceDrawer& drawer = fController->Drawer();
      for (const auto& container : fWindow) {
        TZelSlide* slide = container->Slide();
        if (!slide) continue;
        Log().WriteFloat("PreloadEx Time: ", fStoredPosition - slide->Start());
        slide->PreparePictures(drawer);
        slide->SetTimeAndUpdate(fStoredPosition);
      }
    }
    if (fMusic) {
      if (fMusic->LastLimit() != fBarrier.time) fMusic->SetLimit(fBarrier.time);
      fMusic->Run(true);
    }
    fActive = true;
    // The anchor: the music clock less the show time it stands for.
    if (fMusic) fStoredPosition = fMusic->Position() - fStoredPosition;
    SetLoaderYielding(true);
    fInterpolator.Release();
    return;
  }
  fInterpolator.Hold();
  fActive = false;
  if (fMusic) fMusic->Run(false);
  fStoredPosition = CurrentTime();
  SetLoaderYielding(false);
}

// --- Time, barriers, timed actions, end -------------------------------------------

void TZelEngine::AdvanceTime(uint32_t state) {
  const double t = ShowTime();
  fThirdSlide->SetTime(t);
  fTiming->SetNewTime(t);
  HitBarrier(t);
  CheckEndOfShow();
  RunTimedAction();
  DrawIfDrawable(state);
}

void TZelEngine::HitBarrier(double t) {
  if (!(fActive && fBarrier.set && t >= fBarrier.time)) {
    fTiming->SetCurrentTime(fTiming->NewTime());
    return;
  }
  Log().Write("TZelEngine.MainLoop: SetActive(False) - Stop by Barrier");
  SetActive(false);
  if (fBarrier.loopLength != 0) {
    double time = fTiming->NewTime();
    while (time >= fBarrier.time) time -= fBarrier.loopLength;
    fTiming->SetCurrentTime(time);
  } else {
    fWaiting = true;
    fTiming->SetCurrentTime(fBarrier.time);
    fBarrier = NextBarrier(fBarrier.time);
  }
  fStoredPosition = CurrentTime();
  if (fStepperSet) fStepperTime = CurrentTime();
  if (fMusic) fMusic->SetTime(CurrentTime(), fBarrier.time);
}

void TZelEngine::CheckEndOfShow() {
  if (!fSource || fSource->RepeatMode() == TRepeatMode::Repeat) return;
  const double length = fSource->TotalLength();
  if (CurrentTime() <= length) return;
  fTiming->SetCurrentTime(length);
  if (fEndReported) return;
  fEndReported = true;
  SendToViewer(TViewerMessage::Position, {fOpenNumber, WholeMs(length), WholeMs(length), 1});
}

void TZelEngine::RunTimedAction() {
  if (!fActive || CurrentTime() < fTimedAction.time) return;
  const TTimedAction due = fTimedAction;
  fTimedAction = NextTimedAction(due.time);
  if (!due.command.empty()) CarryOut(u"runapp(" + due.command + u")");
}

TBarrier TZelEngine::NextBarrier(double x) const {
  TBarrier barrier;
  if (!fSource || fSource->SlideCount() <= 0) return barrier;
  const int32_t count = fSource->SlideCount();
  const bool repeats = fSource->RepeatMode() == TRepeatMode::Repeat;
  int64_t k = x == fBarrier.time && fBarrier.set ? fBarrier.slide : std::max<int64_t>(0, fSource->SlideAtTime(x));
  // One round is enough: every round stops at the same slides.
  const int64_t last = repeats ? k + count : count - 1;
  for (; k <= last; ++k) {
    const TSlideInfo record = fSource->SlideTimes(k);
    if (!(record.end > x)) continue;
    const TSlideEndBehaviour behaviour = fSource->EndBehaviour(k % count);
    if (!behaviour.stops && behaviour.loopLength <= 0) continue;
    barrier.set = true;
    barrier.slide = k;
    barrier.time = record.end;
    barrier.loopLength = behaviour.loopLength > 0 ? behaviour.loopLength : 0;
    return barrier;
  }
  barrier.time = repeats ? kNoTime : fSource->TotalLength();
  return barrier;
}

TTimedAction TZelEngine::NextTimedAction(double x) const {
  TTimedAction action;
  if (!fActionsEnabled || !fSource || fSource->SlideCount() <= 0) return action;
  const int32_t count = fSource->SlideCount();
  const int64_t first =
      x != fTimedAction.time ? std::max<int64_t>(0, fSource->SlideAtTime(x)) : fTimedAction.slide + 1;
  for (int64_t k = first; k < first + count; ++k) {
    const std::optional<TString> program = fSource->SlideProgram(k % count);
    const double start = fSource->SlideTimes(k).start + 1;
    if (!program || program->empty() || !(start > x)) continue;
    return {k, start, *program};
  }
  return action;
}

// --- Readiness and drawing ----------------------------------------------------------

bool TZelEngine::ReadyToPlay(double t) const {
  if (fActive) return true;
  if (!fLoader || static_cast<int>(fWindow.size()) != fLoader->Cache().Capacity()) return false;
  const TSlideInfo& first = fWindow.front()->Record();
  return first.start + first.inEffect <= t && t <= fWindow.back()->Record().outEnd;
}

bool TZelEngine::Drawable(double t) const {
  if (fActive) return true;
  if (fWindow.size() == 1) {
    const TSlideInfo& r = fWindow[0]->Record();
    return r.start + r.inEffect <= t && t <= r.end;
  }
  if (fWindow.size() == 2) {
    const TSlideInfo& a = fWindow[0]->Record();
    const TSlideInfo& b = fWindow[1]->Record();
    return a.start + a.inEffect <= t && t <= a.outEnd && b.start <= t && t <= b.end;
  }
  return ReadyToPlay(t);
}

void TZelEngine::DrawIfDrawable(uint32_t state) {
  fFrameDrawn = false;
  if (fWindow.empty()) return;
  const bool forced = HasState(state, TDrawState::Redraw) || HasState(state, TDrawState::Lost) || fStepperSet;
  if (Drawable(CurrentTime())) {
    DrawFrame(forced);
  } else if (HasState(state, TDrawState::Redraw)) {
    DrawEmptyFrame();
  }
}

void TZelEngine::ComposeScene(double t) {
  // The last container whose slide has begun; before it, the one it is
  // coming in from while its transition runs.
  int a = static_cast<int>(fWindow.size()) - 1;
  while (a > 0 && fWindow[static_cast<size_t>(a)]->Record().start > t) --a;
  int c = a;
  if (a > 0) {
    const TDrawContainer& incoming = *fWindow[static_cast<size_t>(a)];
    const TSlideInfo& previous = fWindow[static_cast<size_t>(a - 1)]->Record();
    const bool inTransition = incoming.Record().inEffect > 0 && t < incoming.Record().start + incoming.Record().inEffect;
    if (inTransition && previous.start <= t && t <= previous.outEnd) c = a - 1;
  }
  std::vector<TDrawItem*> items;
  for (int i = c; i <= a; ++i) {
    TDrawContainer& container = *fWindow[static_cast<size_t>(i)];
    TZelSlide* slide = container.Slide();
    if (!slide) continue;
    slide->SetTimeAndUpdate(std::min(t, container.Record().outEnd));
    items.push_back(slide);
  }
  TZelSlide* incoming = fWindow[static_cast<size_t>(a)]->Slide();
  TZelFilter* transition = nullptr;
  if (c < a && incoming && items.size() == 2 && incoming->Filter().EffectClass() > 0) {
    transition = &incoming->Filter();
    transition->SetTime(static_cast<float>(t - incoming->Start()));
  } else if (items.size() == 2) {
    items.erase(items.begin());
  }
  items.push_back(fThirdSlide.get());
  fRoot.SetScene(std::move(items), transition, true);
}

void TZelEngine::DrawFrame(bool forced) {
  ComposeScene(CurrentTime());
  if (!fRoot.SceneChanged() && !forced && !fActive && !fThirdSlide->Changed()) return;
  TDeviceDrawer& drawer = fController->Drawer();
  if (fController->Device()) drawer.SetViewSize(fLoader->DrawingRect().Width(), fLoader->DrawingRect().Height());
  try {
    if (fFrameSink) {
      drawer.SetFrameNotification([this](TDeviceDrawer& d, TDrawItem*, TFrameStage stage) {
        if (stage == TFrameStage::FrameEnd) fFrameSink(d);
      });
    } else if (!drawer.HasFrameNotification()) {
      drawer.SetFrameNotification([](TDeviceDrawer&, TDrawItem*, TFrameStage) {});
    }
    fPresented = drawer.Draw(fRoot);
    fFrameDrawn = true;
  } catch (const std::exception& e) {
    Log().Write(std::string("TZelEngine: frame abandoned: ") + e.what());
    return;
  }
  fRoot.MarkDrawn();
  if (!fFirstFrameSent) {
    fFirstFrameSent = true;
    const TRect r = fLoader->DrawingRect();
    SendToViewer(TViewerMessage::FirstFrame, {r.Left, r.Top, r.Right, r.Bottom});
  }
}

void TZelEngine::DrawEmptyFrame() {
  TRootItem empty;
  empty.SetBackground(fRoot.Background());
  try {
    fPresented = fController->Drawer().Draw(empty);
  } catch (const std::exception& e) {
    Log().Write(std::string("TZelEngine: frame abandoned: ") + e.what());
  }
}

void TZelEngine::Pace() {
  if (fStepping) return;
  Clock().Sleep(fLastPassLength < kFastPassMs ? 3 : 1);
}

void TZelEngine::ReportPosition() {
  const double t = CurrentTime();
  if (std::fabs(t - fLastReported) <= kReportStep) return;
  fLastReported = t;
  const double length = fSource ? fSource->TotalLength() : 0;
  SendToViewer(TViewerMessage::Position, {fOpenNumber, WholeMs(t), WholeMs(length), 0});
}

}  // namespace zel
