// The main window's actions: navigation, pause and help through the
// viewer; programs, documents, web and mail addresses through the process
// launcher; other shows, with the run stack that leads back; and what
// happens when the player is asked to close (run on exit, the way back).
#include <SDL.h>

#include <cmath>
#include <filesystem>
#include <utility>

#include "app/application.h"
#include "core/clock.h"
#include "core/log.h"
#include "ini/ini_document.h"
#include "package/show_locator.h"
#include "package/zel_unpack.h"
#include "platform/display.h"
#include "player/actions.h"
#include "player/main_form.h"
#include "player/program_entry.h"
#include "player/slide_navigation.h"
#include "player/startup_window.h"
#include "show/zel_source.h"

namespace zel {

namespace {

const char* const kNotAShow = "Not ZelShow Executable File or File Corrupted:\r";
const char* const kShowNotFound = "ZelShow File not Found:\r";
const char* const kVersionMismatch = "ZelShow ExeFile Version Mismatch:\r";

bool FileExists(const TString& name) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(StringToUtf8(name), ignored);
}

void ShowWarning(const std::string& text) { ShowMessageBox(kErrorCaption, text, TMessageIcon::Warning); }

}  // namespace

void TMainForm::SetLauncher(std::unique_ptr<TProcessLauncher> launcher) { fLauncher = std::move(launcher); }

bool TMainForm::RunAction(const TZelActionInfo& action) {
  if (fBusy > 0 || !fViewer || fClosing || action.Empty()) return false;
  Log().Write("Action: " + StringToUtf8(ActionText(action)) + " " + std::to_string(action.number));
  switch (action.kind) {
    case TActionKind::Exit:
      fExitRequested = true;
      CloseRequest();
      return true;
    case TActionKind::NextSlide:
      NextSlide();
      return true;
    case TActionKind::PrevSlide:
      PreviousSlide();
      return true;
    case TActionKind::Pause:
      TogglePause();
      return true;
    case TActionKind::Help:
      fViewer->Help();
      return true;
    case TActionKind::Print:
      fViewer->Print();
      return true;
    case TActionKind::GoToSlide:
      GoToSlide(action);
      return true;
    case TActionKind::Stop:
      fViewer->SeekAndSetPaused(0, true);
      return true;
    case TActionKind::CloseDialog:
      fExitRequested = true;
      fExitCode = 1;
      CloseRequest();
      return true;
    case TActionKind::Seek:
      fViewer->Seek(action.number);
      return true;
    case TActionKind::OpenWebSite:
      if (fLauncher) OpenWebSite(action.text, *fLauncher);
      return true;
    case TActionKind::WriteEmail:
      if (fLauncher) WriteEmail(action.text, *fLauncher);
      return true;
    case TActionKind::RunApp:
      RunApp(action.text);
      return true;
    case TActionKind::RunAppAndExit:
      RunAppAndExit(action.text);
      return true;
    case TActionKind::RunPresentation:
    case TActionKind::RunPresentationAndReturn: {
      const bool andReturn = action.kind == TActionKind::RunPresentationAndReturn;
      const bool wasPaused = fViewer->Paused();
      bool refused = false;
      if (OpenAnotherShow(action.text, andReturn, &refused)) return true;
      if (andReturn || refused) {
        // A file that is no show of this version leaves the current one
        // playing; so does any failure of the form that comes back.
        fViewer->SetPaused(wasPaused);
      } else {
        // The show could not go on: the player closes as if the show had
        // ended it, so the program to run on exit and the way back apply.
        fExitRequested = true;
        CloseRequest();
      }
      return true;
    }
    default:
      // Dialogs, saving and printer choice belong to the viewer's dialogs.
      Log().Write("Action not carried out by the main window: " + StringToUtf8(ActionText(action)));
      return false;
  }
}

// --- Programs ----------------------------------------------------------------------------

void TMainForm::RunApp(const TString& text) {
  if (!fLauncher) return;
  // A top-most window would hide what starts.
  const bool topMost = fWindow && (SDL_GetWindowFlags(fWindow) & SDL_WINDOW_ALWAYS_ON_TOP) != 0;
  if (topMost) SDL_SetWindowAlwaysOnTop(fWindow, SDL_FALSE);
  const TRunResult result = RunApplication(text, fShowFolder, *fLauncher);
  if (result == TRunResult::Blocked) ShowMessageBox("", kProhibitedCommand, TMessageIcon::Information);
  if (topMost && result != TRunResult::Started) SDL_SetWindowAlwaysOnTop(fWindow, SDL_TRUE);
}

void TMainForm::RunAppAndExit(const TString& text) {
  // Leaving this way is the user's choice, not the show's end: neither the
  // program to run on exit nor the way back apply.
  fExitRequested = false;
  if (CloseRequest()) RunApp(text);
}

// --- Other shows ---------------------------------------------------------------------------

TString TMainForm::AnotherShowFile(const TString& file) {
  TString name = ChooseShowFile(file);
  if (!FileExists(name)) {
    // Relative to the current show: beside its executable, then beside
    // its file.
    const TString exeName = fShow ? fShow->Project()->ReadString(u"Main", u"opt_exefn", u"") : TString();
    for (const TString& folder : {FolderOf(exeName), fShowFolder}) {
      if (folder.empty()) continue;
      const TString candidate = ChooseShowFile(folder + file);
      if (FileExists(candidate)) {
        name = candidate;
        break;
      }
    }
  }
  if (name == fProjectFileName) return name;
  TZelUnpack package(StringToUtf8(name));
  if (!package.Ready()) {
    ShowWarning((FileExists(name) ? kNotAShow : kShowNotFound) + StringToUtf8(name));
    return {};
  }
  if (package.Version() != fPlayerVersion) {
    ShowWarning(kVersionMismatch + StringToUtf8(name));
    return {};
  }
  return name;
}

bool TMainForm::OpenAnotherShow(const TString& text, bool andReturn, bool* refused) {
  TCommandsStorage commands;
  commands.Fill(TokenizeCommandLine(text));
  const std::optional<TString> file = commands.Value(TCommandsStorage::kUnnamed);
  if (!file || file->empty()) {
    ShowWarning(kShowNotFound + StringToUtf8(text));
    if (refused) *refused = true;
    return false;
  }
  const TString name = AnotherShowFile(*file);
  if (name.empty()) {
    if (refused) *refused = true;
    return false;
  }
  TRunStackItem back;
  if (andReturn && fSource) {
    const int64_t slide = CurrentSlideIndex(*fSource, fViewer->Position());
    back.command = u"\"" + fShowFileName + u"\" -slide " + Utf8ToString(std::to_string(std::max<int64_t>(slide, 0) + 1));
  }
  if (!OpenShow(name, name != fProjectFileName, true, StartPositionFrom(commands))) return false;
  if (andReturn) fRunStack.push_back(std::move(back));
  fViewer->SetPaused(false);
  return true;
}

// --- Closing ----------------------------------------------------------------------------------

bool TMainForm::CloseRequest() {
  if (fClosing || fBusy > 0) return false;
  const bool requested = std::exchange(fExitRequested, false);
  const bool atLastSlide = std::exchange(fExitAtLastSlide, false);
  if (requested && RunOnExit(atLastSlide)) return false;
  if (requested && ReturnThroughRunStack()) return false;
  CloseNow();
  return true;
}

bool TMainForm::RunOnExit(bool atLastSlide) {
  if (!fSource) return false;
  const TIniSection& main = fSource->MainSection();
  int32_t mode = main.ReadInteger(u"opt_runapponexit", 0);
  if (main.ReadBool(u"opt_runapponexitiflastslide", true) && !atLastSlide) mode = 0;
  const TString target = main.ReadString(u"opt_runapponexitfn", u"");
  if (mode == 1) {
    RunApp(target);
  } else if (mode == 2) {
    // Another show takes over; the player goes on with it.
    return OpenAnotherShow(target, false);
  }
  return false;
}

bool TMainForm::ReturnThroughRunStack() {
  if (fRunStack.empty()) return false;
  const TRunStackItem back = std::move(fRunStack.back());
  fRunStack.pop_back();
  return OpenAnotherShow(back.command, false);
}

void TMainForm::CloseNow() {
  if (fClosing) return;
  fClosing = true;
  Log().Write("Main window: closing");
  fViewer->SetCallbacks({});
  fViewer->StopEngine();
  Clock().Sleep(kCloseDelayMs);
  if (TApplication* app = Application()) {
    app->SetExitCode(fExitCode);
    app->Terminate();
  }
}

// --- The start-up window -------------------------------------------------------------------

bool TMainForm::StartupWindowConfirms(const TString& name, bool executable) {
  std::optional<int> display;
  if (fCommands.HasCommand(u"display")) display = static_cast<int>(fCommands.IntValue(u"display", 0));
  const std::vector<std::string> arguments = StartupChildArguments(fPlayerPath, executable, name, display);
  Log().Write("Start-up window: starting " + fPlayerPath);
  ++fBusy;
  const int code = RunStartupChild(arguments, [] {
    TApplication* app = Application();
    if (!app) return true;
    app->ProcessMessages();
    return !app->Terminated();
  });
  --fBusy;
  Log().WriteInt("Start-up window: exit code ", code);
  return code == 1;
}

}  // namespace zel
