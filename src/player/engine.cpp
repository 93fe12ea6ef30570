#include "player/engine.h"

#include <algorithm>
#include <cmath>

#include "audio/music_player.h"
#include "core/log.h"
#include "core/tick_count.h"
#include "ini/ini_document.h"
#include "render/draw_device.h"
#include "package/file_accessor.h"
#include "player/slide_loader.h"
#include "player/third_slide.h"
#include "show/slide_click.h"
#include "show/zel_source.h"

namespace zel {

namespace {

TClickEvent ClickEventOf(TMouseData::TKind kind) {
  switch (kind) {
    case TMouseData::TKind::Press:
      return TClickEvent::Down;
    case TMouseData::TKind::Release:
      return TClickEvent::Up;
    case TMouseData::TKind::Move:
      break;
  }
  return TClickEvent::Move;
}

// Whole milliseconds, fractions cut off, within 32 bits.
int32_t WholeMs(double time) {
  return static_cast<int32_t>(std::clamp(std::trunc(time), -2147483648.0, 2147483647.0));
}

bool StartsWith(const TString& text, TStringView prefix) {
  return text.size() >= prefix.size() && TStringView(text).substr(0, prefix.size()) == prefix;
}

}  // namespace

void TCustomZelEngine::SendToViewer(TViewerMessage code, std::vector<int32_t> values, TString text) {
  const TZelEventData data(static_cast<uint32_t>(code), std::move(values),
                           text.empty() ? nullptr : std::make_unique<TStrValue>(std::move(text)));
  const auto& callback = code == TViewerMessage::FirstFrame ? fCallbacks.firstFrame
                         : code == TViewerMessage::Position ? fCallbacks.position
                                                            : fCallbacks.message;
  if (callback) callback(data);
}

TOpenParams::TOpenParams() = default;
TOpenParams::~TOpenParams() = default;

TZelEngine::TZelEngine(std::unique_ptr<TZelDrawController> controller, TOptions options)
    : fController(std::move(controller)),
      fOptions(std::move(options)),
      fTiming(MakeRef<TTiming>()),
      fThirdSlide(std::make_unique<TNullThirdSlide>()) {}

TZelEngine::~TZelEngine() { StopEngine(); }

void TZelEngine::SetThirdSlide(std::unique_ptr<TThirdSlideLayer> layer) {
  fThirdSlide = layer ? std::move(layer) : std::make_unique<TNullThirdSlide>();
}

double TZelEngine::CurrentTime() const { return fTiming->CurrentTime(); }

void TZelEngine::Open(std::unique_ptr<TFileAccessor> accessor, std::unique_ptr<TIniStorage> project, double startTime,
                      bool paused) {
  auto request = std::make_unique<TOpenParams>();
  request->Paused = paused;
  request->OpenNumber = NextOpenNumber();
  request->Accessor = std::move(accessor);
  request->Project = std::move(project);
  request->StartTime = static_cast<int64_t>(startTime);
  fPaused = paused;
  OpenShow(std::move(request), false);
}

bool TZelEngine::StartEngine() {
  // The first open drew nothing but may have made the device here.
  fController->LeaveThread();
  return Start();
}

void TZelEngine::StopEngine() {
  Stop();
  StopLoader();
  fThirdSlide = std::make_unique<TNullThirdSlide>();
  if (fMusic) {
    fMusic->StopPlayer();
    fMusic.reset();
  }
  fWindow.clear();
  fRoot.Clear();
}

void TZelEngine::StopLoader() {
  if (!fLoader) return;
  // The loader may be waiting for this thread to take a window: its queue
  // goes on being served while it stops.
  fLoader->Terminate();
  if (fLoader->StartSucceeded())
    while (!fLoader->WaitFor(3)) Process();
  fLoader.reset();
}

// --- Requests -------------------------------------------------------------------

void TZelEngine::OpenShow(std::unique_ptr<TOpenParams> request, bool reopen) {
  // The source takes the accessor and the document.
  auto source = std::make_unique<TZelSource>(request->Accessor.release(), true, request->Project.release(), true,
                                             fOptions.playerFileName);
  fOpenNumber = request->OpenNumber;
  Reopen(std::move(source), static_cast<double>(request->StartTime), reopen);
}

void TZelEngine::OpenSource(std::unique_ptr<TZelSource> source, double startTime, bool paused) {
  fPaused = paused;
  fOpenNumber = NextOpenNumber();
  Reopen(std::move(source), startTime, false);
}

void TZelEngine::Reopen(std::unique_ptr<TZelSource> source, double startTime, bool reopen) {
  const uint64_t began = TickCount();
  Log().WriteFloat(reopen ? "Reopen from new position>>>>>>>> " : "Open from new position>>>>>>>> ", startTime);
  if (fPaused) SetActive(false);
  StopLoader();
  fWindow.clear();
  fRoot.Clear();
  if (fPaused && fMusic) {
    fMusic->StopPlayer();
    fMusic.reset();
  }
  if (source) fSource = std::move(source);
  TZelSlideLoader::TScreenSize screen{fOptions.screenWidth, fOptions.screenHeight};
  fLoader = std::make_unique<TZelSlideLoader>(fSource.get(), 3, false, fTiming, fStepping ? nullptr : &Queue(), screen);
  fLoader->Cache().SetNewContainerCallback([this](TDrawContainer& container) { OnNewContainer(container); });
  if (fStepping) fLoader->SetHandOver([this](std::unique_ptr<TSlideData> window) { TakeWindow(*window); });
  if (!fMusic) {
    fMusic = std::make_unique<TZelMusicPlayer>();
    fMusic->StartPlayer();
  }
  if (!reopen) {
    SendToViewer(TViewerMessage::WindowGeometry, {fLoader->FrameWidth(), fLoader->FrameHeight(),
                                                  static_cast<int32_t>(fLoader->WindowStyle())});
    fController->Drawer();
  }
  if (fController->Device()) {
    const TRect bounds = fController->Device()->Bounds();
    fLoader->SetFrameSize(std::max(10, bounds.Width()), std::max(10, bounds.Height()));
  }
  fLoader->SetFillMode(fOptions.cover);
  fRoot.SetBackground(0xFF000000u | static_cast<uint32_t>(fSource->HiderColor().red) << 16 |
                      static_cast<uint32_t>(fSource->HiderColor().green) << 8 | fSource->HiderColor().blue);
  fRoot.SetSharpening(static_cast<float>(fSource->UnsharpAmount()), fSource->UnsharpThreshold());
  SetThirdSlide(std::make_unique<TThirdSlide>(*fSource, fLoader->DrawingRect(), fLoader->FrameWidth(),
                                              fLoader->FrameHeight(), fRoot.Background()));
  fStoredPosition = startTime;
  fTiming->SetCurrentTime(startTime);
  fTiming->SetNewTime(startTime);
  fLastReported = -3.4e38;
  fBarrier = NextBarrier(startTime);
  fTimedAction = NextTimedAction(startTime);
  fWaiting = false;
  fEndReported = false;
  fFirstFrameSent = false;
  Log().WriteInt("Loader Inited To Time : ", static_cast<int64_t>(TickCount() - began));
}

void TZelEngine::Seek(double time) {
  Log().Write("TZelEngine: Process AsyncEvent SetPosition");
  SetActive(false);
  // A stepped engine takes its time from the seek until it is stepped on.
  fStepperSet = false;
  fStoredPosition = time;
  fTiming->SetCurrentTime(time);
  fTiming->SetNewTime(time);
  fLastReported = -3.4e38;
  fBarrier = NextBarrier(time);
  fTimedAction = NextTimedAction(time);
  fWaiting = false;
  fEndReported = false;
}

void TZelEngine::ProcessRequests() {
  if (!fPending) return;
  Log().Write("TZelEngine: Begin ProcessAsyncOpen");
  std::unique_ptr<TOpenParams> request = std::move(fPending);
  fProcessing = true;
  if (request->IsOpen()) {
    Log().Write("TZelEngine: Process AsyncEvent Open");
    OpenShow(std::move(request), false);
  } else {
    Seek(static_cast<double>(request->StartTime));
    fOpenNumber = request->OpenNumber;
  }
  fProcessing = false;
  Log().WriteBool("TZelEngine: Process AsyncEvent Curren Pause Status: ", fPaused);
  Log().WriteBool("TZelEngine: Process AsyncEvent New Pause Status: ", fPendingPause);
  fPaused = fPendingPause;
}

// --- Messages ---------------------------------------------------------------

void TZelEngine::HandleMessage(TThreadEventList*, uint32_t code, bool& handled, TObj* payload) {
  handled = true;
  switch (static_cast<TEngineMessage>(code)) {
    case TEngineMessage::Mouse:
      if (auto* mouse = dynamic_cast<TMouseData*>(payload)) HandleMouse(*mouse);
      return;
    case TEngineMessage::GrabFrame:
      Log().Write("********************* Image not Assigned");
      return;
    case TEngineMessage::CloseDialog:
      fThirdSlide->CloseDialog();
      return;
    case TEngineMessage::OpenHelp:
      fThirdSlide->OpenDialog(u"help");
      return;
    case TEngineMessage::SlideWindow:
      if (auto* data = dynamic_cast<TSlideData*>(payload)) TakeWindow(*data);
      return;
    case TEngineMessage::Open:
      if (auto* request = dynamic_cast<TOpenParams*>(payload)) TakeRequest(*request);
      return;
    case TEngineMessage::Pause:
      if (auto* mode = dynamic_cast<TModeData*>(payload)) TakePause(mode->Paused);
      return;
  }
  ZEL_ASSERT(false, "TZelEngine: unknown message " + std::to_string(code));
}

void TZelEngine::TakeRequest(TOpenParams& request) {
  const bool pause = fPending ? fPendingPause : fPaused;
  if (request.IsOpen()) {
    Log().Write("TZelEngine: OpenShow Async");
    auto pending = std::make_unique<TOpenParams>();
    pending->Accessor = std::move(request.Accessor);
    pending->Project = std::move(request.Project);
    pending->OpenNumber = request.OpenNumber;
    pending->StartTime = request.StartTime;
    fPending = std::move(pending);
  } else {
    Log().Write("TZelEngine: SetPosition Async");
    if (!fPending) fPending = std::make_unique<TOpenParams>();
    fPending->OpenNumber = request.OpenNumber;
    fPending->StartTime = request.StartTime;
  }
  fPendingPause = pause;
  Log().WriteBool("TZelEngine: Current Pause Status: ", fPaused);
  Log().WriteBool("TZelEngine: Async Pause Status: ", fPendingPause);
}

void TZelEngine::TakePause(bool paused) {
  if (fPending || fProcessing) {
    Log().WriteBool("TZelEngine: SetPauseEvent Async: ", paused);
    fPendingPause = paused;
    return;
  }
  Log().WriteBool("TZelEngine: Before Pause Status: ", fPaused);
  Log().WriteBool("TZelEngine: SetPauseEvent Direct: ", paused);
  fPaused = paused;
}

void TZelEngine::TakeWindow(const TSlideData& data) {
  fWindow = data.Containers();
  std::string line = ">>>>>>>>>>>>> slide list synched : ";
  for (const auto& container : fWindow) {
    line += "  " + std::to_string(WholeMs(container->Record().start)) + "-" +
            std::to_string(WholeMs(container->Record().outEnd));
  }
  Log().Write(line);
}

void TZelEngine::OnNewContainer(TDrawContainer& container) {
  // Device resources are made on the drawing thread, where the render
  // device lives, when the slide is first prepared or drawn.
  if (TZelSlide* slide = container.Slide()) slide->SetTimeAndUpdate(slide->Start());
}

// --- Mouse and actions --------------------------------------------------------

void TZelEngine::HandleMouse(const TMouseData& mouse) {
  fLastMouse = std::make_unique<TMouseData>(mouse);
  bool took = false;
  std::optional<TString> action = fThirdSlide->HitTest(mouse, took);
  if (!took) {
    if (TZelSlide* slide = SlideUnderPointer()) {
      // Marks and looks left from an earlier visit of this slide go.
      if (slide != fClickSlide) ResetClickState(*slide);
      fClickSlide = slide;
      const TClickInput input{static_cast<float>(mouse.X), static_cast<float>(mouse.Y), ClickEventOf(mouse.Kind),
                              mouse.Button, mouse.Buttons};
      const TClickResult click = ClickOnSlide(*slide, input, fActionsEnabled);
      if (click.carriedOut && !click.action.Empty()) action = click.actionText;
    }
  }
  // Nothing on the slide took the event: the mouse mapping's action.
  if (!action && mouse.MappedAction) action = mouse.MappedAction;
  if (action) CarryOut(*action);
}

TZelSlide* TZelEngine::SlideUnderPointer() const {
  const double t = CurrentTime();
  const double now = t == 0 ? 0.1 : t;
  // The arriving slide lies above the leaving one.
  for (auto it = fWindow.rbegin(); it != fWindow.rend(); ++it) {
    const TSlideInfo& record = (*it)->Record();
    if ((*it)->Slide() && record.start < now && now <= record.outEnd) return (*it)->Slide();
  }
  return nullptr;
}

void TZelEngine::CarryOut(const TString& action) {
  TString lower = action;
  for (char16_t& c : lower) c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  if (lower == u"prevslide" || lower == u"nextslide" || StartsWith(lower, u"gotoslide(") ||
      StartsWith(lower, u"runpresentation(")) {
    fThirdSlide->CloseDialogsForNavigation();
  }
  if (lower == u"help") {
    fThirdSlide->OpenDialog(u"help");
    return;
  }
  if (StartsWith(lower, u"opendialog(")) {
    TString name = action.substr(11);
    if (!name.empty() && name.back() == u')') name.pop_back();
    fThirdSlide->OpenDialog(name);
    return;
  }
  if (lower == u"closedialog" && fThirdSlide->DialogOpen()) {
    fThirdSlide->CloseDialog();
    return;
  }
  SendToViewer(TViewerMessage::Action, {0, 0}, action);
}

}  // namespace zel
