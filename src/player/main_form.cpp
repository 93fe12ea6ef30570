#include "player/main_form.h"

#include <SDL.h>

#include <utility>

#include "app/application.h"
#include "app/command_line.h"
#include "core/clock.h"
#include "core/log.h"
#include "ini/ini_document.h"
#include "package/show_locator.h"
#include "platform/display.h"
#include "player/actions.h"
#include "player/first_slide_prefetch.h"
#include "player/program_entry.h"
#include "player/startup_window.h"
#include "player/show_opening.h"
#include "player/slide_navigation.h"
#include "render/engine_3d.h"
#include "show/zel_source.h"
#include "video/ffmpeg/media_library.h"

namespace zel {

namespace {

const char16_t* const kDefaultCaption = u"ZelViewer v5.6";
const char* const kExeNameEmpty = "opt_exefn - Empty";
const char* const kPasswordNotAsked =
    "This show is protected by a password, and this player cannot ask for passwords yet.";

void ShowError(const std::string& text) { ShowMessageBox(kErrorCaption, text, TMessageIcon::Warning); }

}  // namespace

TMainForm::TMainForm(const std::string& playerPath, TCommandsStorage& commands)
    : fPlayerPath(playerPath),
      fCommands(commands),
      fMouseMonitor([this](bool visible) { SetCursorVisible(visible); }),
      fLauncher(MakeSystemLauncher()) {}

TMainForm::~TMainForm() {
  if (fHooked) {
    HookManager().Unhook(Application()->ApplicationWindow(),
                         {SDL_QUIT, SDL_WINDOWEVENT, SDL_KEYDOWN, SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN,
                          SDL_MOUSEBUTTONUP, SDL_MOUSEWHEEL},
                         TMsgHandler::Of<&TMainForm::OnSdlEvent>(this));
  }
  fCursorTimer.SetEnabled(false);
  // The engine and its device go before the window they draw into.
  fViewer.reset();
  fScreenSaverOff.reset();
  fPrefetch.reset();
  if (fWindow) SDL_DestroyWindow(fWindow);
  if (fVideoInitialised) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// --- Creation -------------------------------------------------------------------

bool TMainForm::MakeWindow() {
  T3DEngine* engine = Get3DEngine();
  Log().Write("Render engine ready");
  if (!engine) {
    ShowError("Cannot open a render device: OpenGL 3.3 is not available");
    return false;
  }
  fWindow = SDL_CreateWindow(StringToUtf8(kDefaultCaption).c_str(), SDL_WINDOWPOS_UNDEFINED,
                             SDL_WINDOWPOS_UNDEFINED, 640, 480, engine->DeviceWindowFlags() | SDL_WINDOW_HIDDEN);
  if (!fWindow) {
    ShowError(std::string("Cannot make the show's window: ") + SDL_GetError());
    return false;
  }
  Log().Write("Main window made");
  if (fStartupChild) SDL_SetWindowAlwaysOnTop(fWindow, SDL_TRUE);
  HookManager().Hook(Application()->ApplicationWindow(),
                     {SDL_QUIT, SDL_WINDOWEVENT, SDL_KEYDOWN, SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP,
                      SDL_MOUSEWHEEL},
                     TMsgHandler::Of<&TMainForm::OnSdlEvent>(this));
  fHooked = true;
  return true;
}

bool TMainForm::Start() {
  fStartupChild = IsStartupChild(fCommands);

  TZelShowViewer::TSettings settings;
  settings.display = static_cast<int32_t>(fCommands.IntValue(u"display", 0));
  settings.desktopAlign = fCommands.HasCommand(u"desktopalign");
  settings.resize = fCommands.HasCommand(u"resize");
  settings.cover = fCommands.HasCommand(u"cover");
  settings.playerFileName = Utf8ToString(fPlayerPath);
  fViewer = std::make_unique<TZelShowViewer>(*this, std::move(settings));
  fViewer->SetActionsEnabled(true);
  fViewer->SetCallbacks({[this](int32_t position, bool ended) { OnPosition(position, ended); },
                         [this](const TZelActionInfo& action) { RunAction(action); }, nullptr});
  fCursorTimer.SetInterval(TMouseMonitor::kPollIntervalMs);
  fCursorTimer.SetOnTimer([this](TCustomWinTimer&) { fMouseMonitor.Poll(); });

  const TShowRequest request = ShowRequestFrom(fCommands, fPlayerPath);
  if (request.isProject) fProjectFileName = request.fileName;
  if (!OpenShow(request.fileName, !request.isProject, true, StartPositionFrom(fCommands))) return false;
  // The media library is built into the player: a library file the show
  // carries for it is never loaded (said once in the log).
  if (fShow->Accessor().OpenStream(u"ffmpeg.dll")) TFFMpegDll::IgnoreLibraryFile(u"ffmpeg.dll");
  fPlayerVersion = fShow->Version();
  fViewer->SetPaused(false);
  fCreatedAt = Clock().Milliseconds();
  return true;
}

// --- Opening a show ----------------------------------------------------------------

bool TMainForm::OpenShow(const TString& name, bool executable, bool withChecks, const TStartPosition& start) {
  Log().Write("Open show: " + StringToUtf8(name));
  const bool wasPlaying = !fViewer->Paused();
  if (wasPlaying) fViewer->SetPaused(true);
  std::string message;
  // A start-up child shows the start-up dialog in place of the show.
  TAccessorPreparation prepare;
  if (fStartupChild) prepare = [](TFileAccessor& accessor, TStringView project) {
    InstallStartupTransform(accessor, project);
  };
  std::unique_ptr<TZelShowLocator> show = OpenShowFile(name, !executable, message, prepare);
  Log().Write("Show file opened");
  if (!show) {
    ShowError(message);
    return false;
  }
  if (withChecks && !PassesChecks(*show, name, executable)) {
    if (wasPlaying) fViewer->SetPaused(false);
    return false;
  }
  fPrefetch.reset();
  MakeCurrent(std::move(show));
  Log().Write("Show options made");
  // The window is made once there is a show for it. Making the render
  // device takes a while: the first slide's pictures are decoded meanwhile.
  if (!fWindow) {
    StartPrefetch(StartTime(start));
    if (!MakeWindow()) return false;
  }
  SDL_SetWindowTitle(fWindow, StringToUtf8(fSource->MainSection().ReadString(u"opt_scr_caption", kDefaultCaption)).c_str());
  try {
    fViewer->LoadShow(fShow->Accessor(), *fShow->Project(), StartTime(start));
  } catch (const std::exception& e) {
    // A show whose options cannot be played ("No Slides in Presentation").
    Log().Write(std::string("Open show failed: ") + e.what());
    ShowError(std::string(kCannotLoadShow) + "\r" + e.what());
    return false;
  }
  if (wasPlaying) fViewer->SetPaused(false);
  RememberShowName(name, executable);
  return true;
}

bool TMainForm::PassesChecks(const TZelShowLocator& show, const TString& name, bool executable) {
  const TIniStorage& project = *show.Project();
  if (project.ReadBool(u"main", u"opt_usepass", false)) {
    // Asking for the password needs the dialogs, which come later.
    Log().Write("The show asks for a password: refused");
    ShowError(kPasswordNotAsked);
    return false;
  }
  if (!fStartupChild && project.ReadBool(u"main", u"stw_show", false) &&
      !StartupWindowConfirms(name, executable)) {
    Log().Write("Start-up window: the show was refused");
    return false;
  }
  if (IsScreenSaverFileName(Utf8ToString(fPlayerPath))) {
    if (fAnotherInstance || !IsScreenSaverRequest(fCommands)) {
      Log().Write("Screen saver: refused (another instance runs, or no /s)");
      return false;
    }
  }
  return true;
}

void TMainForm::MakeCurrent(std::unique_ptr<TZelShowLocator> show) {
  fSource.reset();
  fShow = std::move(show);
  fSource = std::make_unique<TZelSource>(&fShow->Accessor(), false, fShow->Project(), false,
                                         Utf8ToString(fPlayerPath));
  const TIniSection& main = fSource->MainSection();
  fMapping = std::make_unique<TInputMappingClass>(main);
  fWheelNavigation = !main.ReadBool(u"opt_lockwheel", false);
  SetUpCursor(main);
  // A screen saver is the system's business; any other show keeps the
  // desktop's screen saver off while it plays.
  if (fSource->ScreenSaver() || IsScreenSaverFileName(Utf8ToString(fPlayerPath))) {
    fScreenSaverOff.reset();
  } else if (!fScreenSaverOff) {
    fScreenSaverOff = std::make_unique<TScreenSaverInhibitor>();
  }
}

void TMainForm::StartPrefetch(double startTime) {
  // The monitors are known once SDL's video is up; the device needs it too.
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
  fVideoInitialised = true;
  const TWindowGeometry geometry = fViewer->PlannedGeometry(*fShow->Project());
  fPrefetch = std::make_unique<TFirstSlidePrefetch>(fShow->Accessor(), *fShow->Project(), Utf8ToString(fPlayerPath),
                                                    geometry.clientWidth, geometry.clientHeight,
                                                    fCommands.HasCommand(u"cover"), startTime);
}

void TMainForm::SetUpCursor(const TIniSection& main) {
  const int32_t mode = main.ReadInteger(u"opt_hidecursor", 0);
  uint32_t interval = 0;
  bool hidden = false;
  if (mode == 1) {
    hidden = true;
  } else if (mode == 2) {
    interval = static_cast<uint32_t>(std::max(0, main.ReadInteger(u"opt_hc2_hideinterval", 0))) * 1000;
    hidden = main.ReadBool(u"opt_hc2_hideonstartup", false);
  }
  fMouseMonitor.SetHideInterval(interval);
  fMouseMonitor.SetHidden(hidden);
  fCursorTimer.SetEnabled(interval > 0);
}

double TMainForm::StartTime(const TStartPosition& start) const {
  if (start.slide) return GoToSlideTarget(*fSource, *start.slide - 1);
  return start.timeMs.value_or(0);
}

void TMainForm::RememberShowName(const TString& name, bool executable) {
  fShowFileName = name;
  const TString exeName = fShow->Project()->ReadString(u"Main", u"opt_exefn", u"");
  if (!exeName.empty() && !executable) {
    fShowFileName = exeName;
  } else if (exeName.empty() && executable) {
    ShowError(kExeNameEmpty);
  }
  fShowFolder = FolderOf(fShowFileName);
}

// --- The window for the viewer ------------------------------------------------------

bool TMainForm::WindowVisible() { return fWindow && (SDL_GetWindowFlags(fWindow) & SDL_WINDOW_SHOWN) != 0; }

void TMainForm::ShowWindow() {
  if (!fWindow) return;
  SDL_ShowWindow(fWindow);
  SDL_RaiseWindow(fWindow);
  Log().Write("Main window shown");
}

void TMainForm::FrameExtents(int32_t& width, int32_t& height) {
  int top = 0, left = 0, bottom = 0, right = 0;
  if (fWindow && SDL_GetWindowBordersSize(fWindow, &top, &left, &bottom, &right) == 0) {
    width = left + right;
    height = top + bottom;
  } else {
    width = height = 0;
  }
}

std::vector<TRect> TMainForm::Monitors() { return MonitorBounds(); }

void TMainForm::PlaceWindow(const TWindowGeometry& geometry) {
  if (!fWindow) return;
  SDL_SetWindowBordered(fWindow, geometry.bordered ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(fWindow, geometry.sizeable ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowSize(fWindow, geometry.clientWidth, geometry.clientHeight);
  // SDL places the client area; the frame's left and top lie before it.
  int top = 0, left = 0, bottom = 0, right = 0;
  if (geometry.bordered) SDL_GetWindowBordersSize(fWindow, &top, &left, &bottom, &right);
  SDL_SetWindowPosition(fWindow, geometry.window.Left + left, geometry.window.Top + top);
  Log().Write("Window placed: " + std::to_string(geometry.window.Left) + "," + std::to_string(geometry.window.Top) +
              " client " + std::to_string(geometry.clientWidth) + "x" + std::to_string(geometry.clientHeight));
}

void TMainForm::SetCursorVisible(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

// --- Closing ------------------------------------------------------------------------

void TMainForm::OnPosition(int32_t, bool ended) {
  if (!ended || fClosing || !fSource || fSource->RepeatMode() != TRepeatMode::Close) return;
  fExitAtLastSlide = true;
  fExitRequested = true;
  CloseRequest();
}

}  // namespace zel
