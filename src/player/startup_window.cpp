#include "player/startup_window.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

#include "core/exceptions.h"
#include "core/log.h"
#include "core/streams.h"
#include "ini/ini_parser.h"
#include "package/file_accessor.h"

extern char** environ;

namespace zel {

namespace {

// ---------------------------------------------------------------------------
// The child's project

// Copies every section of the name (a project may repeat a section; the
// document reads them as one) into one section of the target, in order, so
// that a key repeated later still wins in the copy.
void CopySection(const TIniSection& loaded, TIniStorage& target, TStringView name) {
  const TIniSection* first = &loaded;
  while (first->PrevSameName()) first = first->PrevSameName();
  TIniSection* copy = target.FindOrCreateSection(name);
  for (const TIniSection* s = first; s; s = s->NextSameName()) s->CloneChildrenInto(copy);
}

void CopySectionIfPresent(const TIniStorage& loaded, TIniStorage& target, TStringView name) {
  if (const TIniSection* section = loaded.FindSection(name)) CopySection(*section, target, name);
}

void SetKey(TIniSection& section, TStringView key, TStringView value) { section.FindOrCreateKey(key)->SetValue(value); }

// The window and timing of the child: a window of its own (never the full
// screen), one slide of one second that stops at its end, nothing that could
// hide or cover the dialog, and nothing run when it closes.
void SetWindowAndTiming(TIniSection& main, const TIniSection& loadedMain) {
  SetKey(main, u"opt_fcp", u"0");
  SetKey(main, u"opt_repeat", u"stop");
  SetKey(main, u"opt_scr_full", u"0");
  SetKey(main, u"opt_scr_fullfixedsize", u"0");
  SetKey(main, u"opt_scr_width", IntToStr(loadedMain.ReadInteger(u"opt_startupwidth", 640)));
  SetKey(main, u"opt_scr_height", IntToStr(loadedMain.ReadInteger(u"opt_startupheight", 480)));
  SetKey(main, u"opt_scr_caption", loadedMain.ReadString(u"stw_caption", u"Startup Window"));
  SetKey(main, u"opt_hidecursor", u"0");
  SetKey(main, u"opt_synch_count", u"0");
  SetKey(main, u"opt_synchpos1", u"1000");
  SetKey(main, u"opt_synch_pointscount", u"1");
  SetKey(main, u"opt_slidescount", u"1");
  SetKey(main, u"opt_fx_enable", u"0");
  SetKey(main, u"opt_fx_neweffectscount", u"0");
  SetKey(main, u"opt_runapponexit", u"0");
  SetKey(main, u"opt_runapponexitiflastslide", u"1");
  SetKey(main, u"opt_runapponexitfn", u"");
  SetKey(main, u"opt_usepass", u"0");
  SetKey(main, u"opt_logo", u"0");
  // Booleans are stored as integers: "1" and "0".
  SetKey(main, u"opt_lockf1", loadedMain.ReadBool(u"opt_lockf1", true) ? u"1" : u"0");
}

// The dialogs the start-up dialog may open: help and the custom ones, with
// the names and sections the show gave them.
void CopyDialogs(TIniStorage& project, TIniSection& main, const TIniStorage& loaded, const TIniSection& loadedMain) {
  CopySectionIfPresent(loaded, project, u"dialog_help");
  const int32_t count = loadedMain.ReadInteger(u"opt_customdialogscount", 0);
  SetKey(main, u"opt_customdialogscount", IntToStr(count));
  for (int32_t i = 1; i <= count; ++i) {
    const TString number = IntToStr(i);
    SetKey(main, u"custom_dialog" + number, loadedMain.ReadString(u"custom_dialog" + number, u"NotFound"));
    CopySectionIfPresent(loaded, project, u"dialog_" + number + u"_");
  }
}

// The start-up window plays no music: the first "music" key goes (a second
// one, which a show never writes, is left as it is).
void RemoveMusic(TIniSection& main) {
  const TString music = IniFold(u"music");
  for (TCommonIniItem* item = main.First(); item; item = item->Next()) {
    if (item->Kind() == TIniKind::Ident && static_cast<TIniIdent*>(item)->FoldedKey() == music) {
      delete item;  // unlinks it from the section and its index
      return;
    }
  }
}

// The stream's remaining bytes in memory, from the start.
std::unique_ptr<TMemoryStream> InMemory(TStream& stream) {
  auto copy = std::make_unique<TMemoryStream>();
  copy->CopyFrom(stream, std::numeric_limits<int64_t>::max());
  copy->SetPosition(0);
  return copy;
}

// The child's project text for the stored project; the stored text itself
// when it has no start-up dialog or does not parse.
std::unique_ptr<TStream> TransformedProject(std::unique_ptr<TStream> stream) {
  std::unique_ptr<TMemoryStream> stored;
  try {
    stored = InMemory(*stream);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return nullptr;  // half read: as a damaged entry, no project
  }
  TIniFile loaded;
  bool parsed = false;
  try {
    parsed = loaded.LoadFromStream(*stored);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    parsed = false;  // the locator finds the same fault and reports it
  }
  stored->SetPosition(0);
  if (!parsed) return stored;
  const auto project = StartupProject(loaded);
  if (!project) return stored;
  auto text = std::make_unique<TMemoryStream>();
  if (!IniSaveToStream(*project, *text)) return stored;
  text->SetPosition(0);
  return text;
}

// ---------------------------------------------------------------------------
// The child process

using namespace std::chrono_literals;

constexpr auto kWaitSlice = 50ms;
// How long a child asked to end may take before it is killed outright.
constexpr int kEndingSlices = 40;

// Spawn attributes that give the child default handling of the signals the
// parent may have blocked or ignored, so that it can be asked to end.
bool SpawnChild(const std::vector<std::string>& arguments, pid_t& pid) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGTERM, SIGINT, SIGPIPE, SIGCHLD}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int error = posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    Log().Write("Start-up window: cannot start " + arguments[0] + ": " + std::strerror(error));
    return false;
  }
  return true;
}

// The exit code once the child has ended (-1 for a signal, or when it can no
// longer be waited for); nothing while it runs.
std::optional<int> EndedChild(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == 0) return std::nullopt;
    if (result == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (errno != EINTR) return -1;
  }
}

// Asks the child to end, then kills it when it does not; always reaps it so
// that no zombie is left behind.
void StopChild(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < kEndingSlices; ++i) {
    if (EndedChild(pid)) return;
    std::this_thread::sleep_for(kWaitSlice);
  }
  kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::unique_ptr<TIniStorage> StartupProject(const TIniStorage& loaded) {
  const TIniSection* loadedMain = loaded.FindSection(u"main");
  const TIniSection* dialog = loaded.FindSection(kStartupDialogSection);
  if (!loadedMain || !dialog) return nullptr;

  auto project = std::make_unique<TIniStorage>();
  CopySection(*loadedMain, *project, u"main");
  CopySection(*dialog, *project, u"slide1");
  CopySectionIfPresent(loaded, *project, u"FileMap");
  TIniSection& main = *project->FindSection(u"main");
  SetWindowAndTiming(main, *loadedMain);
  CopyDialogs(*project, main, loaded, *loadedMain);
  RemoveMusic(main);
  return project;
}

void InstallStartupTransform(TFileAccessor& accessor, TStringView projectName) {
  accessor.SetLoadHook([name = TString(projectName)](TStringView opened, std::unique_ptr<TStream>& stream) {
    if (SameText(opened, name)) stream = TransformedProject(std::move(stream));
  });
}

std::vector<std::string> StartupChildArguments(const std::string& playerPath, bool executableShow,
                                               const TString& showName, std::optional<int> display) {
  std::vector<std::string> arguments{playerPath, executableShow ? "-exename" : "-filename", StringToUtf8(showName),
                                     "-startup"};
  if (display) {
    arguments.emplace_back("-display");
    arguments.push_back(std::to_string(*display));
  }
  return arguments;
}

int RunStartupChild(const std::vector<std::string>& arguments, const std::function<bool()>& pump) {
  pid_t pid = 0;
  if (arguments.empty() || !SpawnChild(arguments, pid)) return -1;
  try {
    for (;;) {
      if (pump && !pump()) {
        StopChild(pid);
        return -1;
      }
      if (const auto code = EndedChild(pid)) return *code;
      std::this_thread::sleep_for(kWaitSlice);
    }
  } catch (...) {
    StopChild(pid);  // the caller is unwinding: leave no window behind
    throw;
  }
}

}  // namespace zel
