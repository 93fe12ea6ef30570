#include "player/show_viewer.h"

#include <utility>

#include "app/application.h"
#include "core/log.h"
#include "draw/device_drawer.h"
#include "ini/ini_document.h"
#include "package/file_accessor.h"
#include "player/draw_controller.h"
#include "platform/display.h"

namespace zel {

namespace {

// A copy of an engine message that can travel to the interface thread.
std::unique_ptr<TZelEventData> CopyOf(const TZelEventData& data) {
  return std::make_unique<TZelEventData>(data.Code, data.Values,
                                         data.Text ? std::make_unique<TStrValue>(data.Text->Text) : nullptr);
}

int32_t ValueAt(const TZelEventData& data, size_t index) {
  return index < data.Values.size() ? data.Values[index] : 0;
}

}  // namespace

// --- TSysDevice ----------------------------------------------------------------

TSysDevice::TSysDevice(SDL_Window* window) : TDrawDevice(window) {}

TRectangleWrapper& TSysDevice::RectangleWrapper() {
  if (auto* wrapper = FindListener<TRectangleWrapper>()) return *wrapper;
  auto* wrapper = new TRectangleWrapper();
  AddListener(wrapper);
  return *wrapper;
}

// --- TZelShowViewer -------------------------------------------------------------

TZelShowViewer::TZelShowViewer(TShowWindowHost& host, TSettings settings)
    : fHost(host), fSettings(std::move(settings)) {
  if (TApplication* app = Application()) {
    fEventId = app->NewEvent(TEventHandler::Of<&TZelShowViewer::OnPosted>(this));
  }
}

TZelShowViewer::~TZelShowViewer() {
  StopEngine();
  fEngine.reset();
  if (TApplication* app = Application(); app && fEventId) {
    app->Unsubscribe(fEventId, TEventHandler::Of<&TZelShowViewer::OnPosted>(this));
  }
}

void TZelShowViewer::StopEngine() {
  if (fEngine) fEngine->StopEngine();
}

void TZelShowViewer::MakeEngine(const TIniStorage& project) {
  SDL_Window* window = fHost.NativeWindow();
  std::unique_ptr<TDeviceDrawer> drawer = fSettings.drawerFactory ? fSettings.drawerFactory() : nullptr;
  if (window) fDevice = std::make_unique<TSysDevice>(window);

  const std::vector<TRect> monitors = fHost.Monitors();
  TZelEngine::TOptions options;
  options.playerFileName = fSettings.playerFileName;
  options.cover = fSettings.cover;
  if (!monitors.empty()) {
    options.screenWidth = monitors.front().Width();
    options.screenHeight = monitors.front().Height();
  }
  fEngine = std::make_unique<TZelEngine>(std::make_unique<TZelDrawController>(fDevice.get(), std::move(drawer)),
                                         options);
  // The engine's callbacks run on its thread: each message is copied and
  // posted to the interface thread. Without an application (tests) they
  // are handled where they come from.
  const auto forward = [this](const TZelEventData& data) {
    TApplication* app = Application();
    if (app && fEventId && !app->IsInterfaceThread()) {
      app->Post(fEventId, CopyOf(data));
    } else {
      HandleEngineMessage(data);
    }
  };
  fEngine->SetCallbacks({forward, forward, forward});
  fEngine->SetActionsEnabled(fActionsEnabled);

  // The window is placed before the engine runs.
  const TWindowRequest request = WindowRequestFrom(*project.FindSection(u"main"), options.screenWidth,
                                                   options.screenHeight);
  PlaceWindow(request.width, request.height, request.style);
}

void TZelShowViewer::LoadShow(TFileAccessor& accessor, const TIniStorage& project, double startTime) {
  if (!project.FindSection(u"main")) {
    Log().Write("TZelShowViewer.LoadShow: the project has no main section");
    return;
  }
  if (!fEngine) MakeEngine(project);
  std::unique_ptr<TFileAccessor> engineAccessor =
      &accessor == &DefaultAccessor() ? NewDefaultAccessor() : accessor.Clone();
  auto document = std::make_unique<TIniStorage>();
  project.CloneChildrenInto(document.get());

  if (EngineRunning()) {
    auto request = std::make_unique<TOpenParams>();
    request->OpenNumber = fEngine->NextOpenNumber();
    request->Accessor = std::move(engineAccessor);
    request->Project = std::move(document);
    request->StartTime = static_cast<int64_t>(startTime);
    PostToEngine(TEngineMessage::Open, std::move(request));
    return;
  }
  fEngine->Open(std::move(engineAccessor), std::move(document), startTime, fPaused);
  if (!fEngine->StartEngine()) Log().Write("TZelShowViewer: the engine thread did not start");
}

void TZelShowViewer::PostToEngine(TEngineMessage code, std::unique_ptr<TObj> payload) {
  if (!fEngine) return;
  fEngine->Queue().Post(static_cast<uint32_t>(code), std::move(payload));
}

void TZelShowViewer::SetPaused(bool paused) {
  if (paused == fPaused) return;
  fPaused = paused;
  PostToEngine(TEngineMessage::Pause, std::make_unique<TModeData>(paused));
}

void TZelShowViewer::Seek(int64_t time) {
  if (time < 0 || !fEngine) return;
  auto request = std::make_unique<TOpenParams>();
  request->OpenNumber = fEngine->NextOpenNumber();
  request->StartTime = time;
  fSeekOpenNumber = request->OpenNumber;
  PostToEngine(TEngineMessage::Open, std::move(request));
  fPosition = static_cast<int32_t>(time);
}

void TZelShowViewer::SeekAndSetPaused(int64_t time, bool paused) {
  Seek(time);
  SetPaused(paused);
}

void TZelShowViewer::PostMouse(TMouseData::TKind kind, uint8_t button, uint32_t buttons, int32_t x, int32_t y,
                               std::optional<TString> action) {
  if (!EngineRunning()) return;
  auto mouse = std::make_unique<TMouseData>();
  mouse->Kind = kind;
  mouse->Button = button;
  mouse->Buttons = buttons;
  mouse->X = x;
  mouse->Y = y;
  mouse->MappedAction = std::move(action);
  PostToEngine(TEngineMessage::Mouse, std::move(mouse));
}

void TZelShowViewer::Mouse(TMouseData::TKind kind, uint32_t buttons, int32_t x, int32_t y, uint8_t button) {
  PostMouse(kind, button, buttons, x, y, std::nullopt);
}

void TZelShowViewer::MouseWithAction(TMouseData::TKind kind, uint32_t buttons, int32_t x, int32_t y,
                                     const TZelActionInfo& action, uint8_t button) {
  const TString text = ActionText(action);
  PostMouse(kind, button, buttons, x, y, text.empty() ? std::nullopt : std::optional<TString>(text));
}

void TZelShowViewer::Help() { PostToEngine(TEngineMessage::OpenHelp, nullptr); }

void TZelShowViewer::CloseDialog() { PostToEngine(TEngineMessage::CloseDialog, nullptr); }

void TZelShowViewer::Print() {
  if (EngineRunning()) PostToEngine(TEngineMessage::GrabFrame, nullptr);
}

void TZelShowViewer::SetActionsEnabled(bool enabled) {
  fActionsEnabled = enabled;
  if (fEngine) fEngine->SetActionsEnabled(enabled);
}

void TZelShowViewer::SetWindowActive(bool active) {
  if (fDevice) fDevice->SetActive(active);
}

void TZelShowViewer::OnPosted(TObj*, TEventId, TObj* param) {
  if (auto* data = dynamic_cast<TZelEventData*>(param)) HandleEngineMessage(*data);
}

void TZelShowViewer::HandleEngineMessage(const TZelEventData& data) {
  switch (static_cast<TViewerMessage>(data.Code)) {
    case TViewerMessage::FirstFrame:
      if (!fHost.WindowVisible()) fHost.ShowWindow();
      return;
    case TViewerMessage::Position:
      // A report the engine sent before it took the last seek would put
      // the old place back: "previous" right after a seek must see the new
      // one.
      if (ValueAt(data, 0) < fSeekOpenNumber) return;
      fPosition = ValueAt(data, 1);
      fLength = ValueAt(data, 2);
      if (fCallbacks.position) fCallbacks.position(fPosition, ValueAt(data, 3) != 0);
      return;
    case TViewerMessage::Action:
      if (fCallbacks.action && data.Text) fCallbacks.action(ParseAction(data.Text->Text));
      return;
    case TViewerMessage::GrabbedFrame:
      if (fCallbacks.print) fCallbacks.print();
      return;
    case TViewerMessage::WindowGeometry:
      PlaceWindow(ValueAt(data, 0), ValueAt(data, 1), static_cast<TWindowStyle>(ValueAt(data, 2)));
      return;
  }
  Log().WriteInt("TZelShowViewer: unknown engine message ", data.Code);
}

TWindowGeometry TZelShowViewer::GeometryFor(int32_t width, int32_t height, TWindowStyle style, int32_t& frameWidth,
                                            int32_t& frameHeight) {
  const std::vector<TRect> monitors = fHost.Monitors();
  TRect area = TRect::FromSize(0, 0, width, height);
  if (fSettings.desktopAlign) {
    area = DesktopBounds(monitors);
  } else if (!monitors.empty()) {
    const bool chosen = fSettings.display >= 1 && fSettings.display <= static_cast<int32_t>(monitors.size());
    area = monitors[chosen ? static_cast<size_t>(fSettings.display - 1) : 0];
  }
  frameWidth = frameHeight = 0;
  if (style == TWindowStyle::Bordered) fHost.FrameExtents(frameWidth, frameHeight);
  return WindowGeometryFor({width, height, style}, area, frameWidth, frameHeight, fSettings.resize);
}

TWindowGeometry TZelShowViewer::PlannedGeometry(const TIniStorage& project) {
  const std::vector<TRect> monitors = fHost.Monitors();
  const TRect primary = monitors.empty() ? TRect{0, 0, 1920, 1080} : monitors.front();
  const TIniSection* main = project.FindSection(u"main");
  if (!main) return {};
  const TWindowRequest request = WindowRequestFrom(*main, primary.Width(), primary.Height());
  int32_t frameWidth = 0, frameHeight = 0;
  return GeometryFor(request.width, request.height, request.style, frameWidth, frameHeight);
}

void TZelShowViewer::PlaceWindow(int32_t width, int32_t height, TWindowStyle style) {
  int32_t frameWidth = 0, frameHeight = 0;
  const TWindowGeometry geometry = GeometryFor(width, height, style, frameWidth, frameHeight);
  fHost.PlaceWindow(geometry);
  if (!fDevice) return;
  const TRect client{0, 0, geometry.clientWidth, geometry.clientHeight};
  // The frame's sides are equal and the caption is on top.
  const TPoint origin{geometry.window.Left + frameWidth / 2, geometry.window.Top + frameHeight - frameWidth / 2};
  fDevice->SetBounds(client, origin, geometry.fullScreen);
  fDevice->RectangleWrapper().Rect = geometry.window;
  if (fEngine) fEngine->Controller().DeviceRefresh();
}

}  // namespace zel
