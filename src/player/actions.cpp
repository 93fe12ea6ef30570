#include "player/actions.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "core/log.h"
#include "show/action_info.h"

extern char** environ;

namespace zel {

const char* const kProhibitedCommand = "Command line contains prohibited command and will not be performed.";

namespace {

// Programs a show may never start: command interpreters (which would run
// anything), tools that delete, move or rewrite files, privilege and
// service tools, and network copy tools. The first group are the names a
// show written for the other platform would use.
constexpr std::u16string_view kBlockedWords[] = {
    u">",       u"at",        u"attrib",   u"call",     u"cmd",      u"command",  u"copy",     u"del",
    u"deltree", u"erase",     u"for",      u"format",   u"fdisk",    u"runonce",  u"move",     u"net",
    u"runas",   u"net1",      u"ren",      u"rename",   u"replace",  u"rmdir",    u"rd",       u"recover",
    u"regedit", u"rundll",    u"qstart",   u"start",    u"sys",      u"type",     u"xcopy",    u"regsrv",
    u"regedt32", u"regsvr32", u"rcp",      u"ftp",      u"tftp",
    // Shells and the tools that start other programs on their behalf.
    u"sh", u"bash", u"dash", u"zsh", u"ksh", u"csh", u"fish", u"env", u"xargs", u"nohup", u"setsid",
    // Destroying files and disks.
    u"rm", u"dd", u"mkfs", u"shred", u"truncate",
    // Privileges and ownership.
    u"sudo", u"su", u"doas", u"pkexec", u"chmod", u"chown", u"chgrp",
    // Network and scheduling.
    u"curl", u"wget", u"nc", u"ssh", u"scp", u"crontab", u"systemctl",
    // Other processes.
    u"kill", u"pkill", u"killall",
    // Interpreters that run whatever text they are given, as a shell does.
    u"python", u"python2", u"python3", u"perl", u"ruby", u"node", u"nodejs", u"php", u"lua", u"tclsh",
    u"busybox",
};

// Blank in the sense of trimming: controls and the space.
bool IsBlank(char16_t c) { return c <= u' '; }

TString Trim(TStringView text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return TString(text.substr(first, last - first));
}

TString RemoveQuotes(TStringView text) {
  TString result;
  result.reserve(text.size());
  for (char16_t c : text) {
    if (c != u'"') result += c;
  }
  return result;
}

TString Quoted(TStringView text) { return u"\"" + TString(text) + u"\""; }

bool IsQuoted(TStringView text) { return !text.empty() && text.front() == u'"'; }

// The text after the last folder separator of either platform.
TStringView FileNamePart(TStringView path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == TStringView::npos ? path : path.substr(slash + 1);
}

std::string Utf8(TStringView text) { return StringToUtf8(text); }

}  // namespace

std::vector<TString> SplitCommands(TStringView text) {
  std::vector<TString> commands;
  bool inQuotes = false;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      if (text[i] == u'"') inQuotes = !inQuotes;
      if (text[i] != u',' || inQuotes) continue;
    }
    TString command = Trim(text.substr(start, i - start));
    if (!command.empty()) commands.push_back(std::move(command));
    start = i + 1;
  }
  return commands;
}

TString CommandWord(TStringView command) {
  // Any redirection could overwrite a file whatever the program is.
  if (command.find(u'>') != TStringView::npos) return u">";
  // Blanks inside quotes belong to the program name ("C:\Program Files\x"),
  // and the characters a command interpreter would strip (echo-off "@",
  // quotes, pipes) must not hide the name.
  TString text;
  bool inQuotes = false;
  for (char16_t c : command) {
    if (c == u'"') inQuotes = !inQuotes;
    if (c == u'@' || c == u'"' || c == u'|') continue;
    text += inQuotes && (c == u' ' || c == u'\t') ? u'_' : c;
  }
  size_t first = 0;
  while (first < text.size() && (text[first] == u' ' || text[first] == u'\t')) ++first;
  size_t end = first;
  while (end < text.size() && text[end] != u' ' && text[end] != u'\t') ++end;
  const TString word = LowerCase(TStringView(text).substr(first, end - first));
  // The bare name: no folder (either separator), no extension.
  TStringView name = FileNamePart(word);
  const size_t dot = name.find(u'.');
  if (dot != TStringView::npos) name = name.substr(0, dot);
  return TString(name);
}

bool IsBlockedWord(TStringView word) {
  if (word.empty()) return false;
  const TString folded = LowerCase(word);
  for (std::u16string_view blocked : kBlockedWords) {
    if (folded == blocked) return true;
  }
  return false;
}

TShellCall SplitShellCall(TStringView command) {
  const TString text = Trim(command);
  const bool quotedProgram = IsQuoted(text);
  TStringView program;
  TStringView rest;
  if (quotedProgram) {
    const size_t close = text.find(u'"', 1);
    program = TStringView(text).substr(1, close == TString::npos ? TString::npos : close - 1);
    if (close != TString::npos) rest = TStringView(text).substr(close + 1);
  } else {
    const size_t space = text.find(u' ');
    program = TStringView(text).substr(0, space);
    if (space != TString::npos) rest = TStringView(text).substr(space + 1);
  }
  TShellCall call{Trim(RemoveQuotes(program)), Trim(RemoveQuotes(rest))};
  // The quotes go back on so that the launcher keeps blanks in the name and
  // hands quoted parameters on as one.
  if (quotedProgram) call.program = Quoted(call.program);
  if (rest.find(u'"') != TStringView::npos) call.parameters = Quoted(call.parameters);
  return call;
}

namespace {

bool NotFound(TLaunchResult result) {
  return result == TLaunchResult::FileNotFound || result == TLaunchResult::PathNotFound;
}

// The show folder and a name inside it, without doubling the separator.
TString InFolder(TStringView folder, TStringView name) {
  TString path(folder);
  if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += u'/';
  return path + TString(name);
}

// Starts one call. A program that is not found is tried again: with
// parameters, once more with their quotes removed (a quoted document name
// the program did not expect); without, as a program of the show's folder,
// first by working folder, then by full path.
TLaunchResult LaunchWithRetries(const TShellCall& call, TStringView showFolder, TProcessLauncher& launcher) {
  TLaunchResult result = launcher.Launch(call.program, call.parameters, {});
  if (!NotFound(result)) return result;
  if (!call.parameters.empty()) {
    const TString unquoted = Trim(RemoveQuotes(call.parameters));
    if (unquoted == call.parameters) return result;
    return launcher.Launch(call.program, unquoted, {});
  }
  if (showFolder.empty()) return result;
  // The retries rebuild the name from its unquoted form, so that a quoted
  // program stays one quoted name.
  const bool quoted = IsQuoted(call.program);
  const TString bare = RemoveQuotes(call.program);
  const TString fileName(FileNamePart(bare));
  result = launcher.Launch(quoted ? Quoted(fileName) : fileName, {}, TString(showFolder));
  if (!NotFound(result)) return result;
  const TString fullPath = InFolder(showFolder, bare);
  return launcher.Launch(quoted ? Quoted(fullPath) : fullPath, {}, {});
}

std::string Describe(const TShellCall& call) {
  std::string text = Utf8(call.program);
  if (!call.parameters.empty()) text += " " + Utf8(call.parameters);
  return text;
}

}  // namespace

TRunResult RunApplication(TStringView text, TStringView showFolder, TProcessLauncher& launcher) {
  const std::vector<TString> commands = SplitCommands(text);
  // Every command is checked first: a text that is refused starts nothing,
  // not even the harmless commands in front of the blocked one.
  for (const TString& command : commands) {
    const TString word = CommandWord(command);
    if (IsBlockedWord(word)) {
      Log().Write("RunApp: refused \"" + Utf8(text) + "\": \"" + Utf8(word) + "\" is a prohibited command");
      return TRunResult::Blocked;
    }
  }
  if (commands.empty()) {
    Log().Write("RunApp: nothing to run");
    return TRunResult::Failed;
  }
  TRunResult outcome = TRunResult::Started;
  for (const TString& command : commands) {
    const TShellCall call = SplitShellCall(command);
    // An empty name would become the show folder itself in the retries.
    if (Trim(RemoveQuotes(call.program)).empty()) {
      Log().Write("RunApp: no program in \"" + Utf8(command) + "\"");
      outcome = TRunResult::Failed;
      continue;
    }
    const TLaunchResult result = LaunchWithRetries(call, showFolder, launcher);
    if (result == TLaunchResult::Started) {
      Log().Write("RunApp: started " + Describe(call));
    } else {
      Log().WriteInt("RunApp: could not start " + Describe(call) + ", result ", static_cast<int64_t>(result));
      outcome = TRunResult::Failed;
    }
  }
  return outcome;
}

TRunResult OpenDocument(TStringView target, TProcessLauncher& launcher) {
  const TString name = Trim(target);
  if (name.empty()) {
    Log().Write("OpenDocument: nothing to open");
    return TRunResult::Failed;
  }
  const TLaunchResult result = launcher.Launch(name, {}, {});
  if (result != TLaunchResult::Started) {
    Log().WriteInt("OpenDocument: could not open " + Utf8(name) + ", result ", static_cast<int64_t>(result));
    return TRunResult::Failed;
  }
  Log().Write("OpenDocument: opened " + Utf8(name));
  return TRunResult::Started;
}

TRunResult OpenWebSite(TStringView address, TProcessLauncher& launcher) {
  return OpenDocument(WebAddress(Trim(address)), launcher);
}

TRunResult WriteEmail(TStringView address, TProcessLauncher& launcher) {
  return OpenDocument(MailAddress(Trim(address)), launcher);
}

// ---------------------------------------------------------------------------
// The system launcher

namespace {

namespace fs = std::filesystem;

// Parameters as arguments: split at blanks outside double quotes, the
// quotes removed. A quoted empty text is an (empty) argument of its own.
std::vector<std::string> SplitArguments(std::string_view parameters) {
  std::vector<std::string> arguments;
  std::string current;
  bool inQuotes = false;
  bool inArgument = false;
  for (char c : parameters) {
    if (c == '"') {
      inQuotes = !inQuotes;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

// "scheme:..." with a scheme of at least two characters, so that a drive
// letter ("C:/x") is no address.
bool IsAddress(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!letter(text[0])) return false;
  for (size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool IsExecutableFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// The executable of that name in a folder of PATH; empty when none. Empty
// PATH entries (the current folder) are skipped on purpose.
std::string FindOnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / name;
    if (IsExecutableFile(candidate)) return candidate.string();
  }
  return {};
}

enum class TTargetKind : uint8_t { Executable, Document };

struct TTarget {
  TTargetKind kind = TTargetKind::Document;
  std::string path;
};

// What the program names: an executable to start, or a document or
// address to open. A relative name is looked for in the working folder
// (the player's own when none); a bare name is looked for on PATH first.
TLaunchResult Classify(const std::string& program, const std::string& workingFolder, TTarget& target) {
  if (IsAddress(program)) {
    target = {TTargetKind::Document, program};
    return TLaunchResult::Started;
  }
  const bool bare = program.find('/') == std::string::npos;
  if (bare) {
    std::string found = FindOnPath(program);
    if (!found.empty()) {
      target = {TTargetKind::Executable, std::move(found)};
      return TLaunchResult::Started;
    }
  }
  fs::path candidate(program);
  if (candidate.is_relative() && !workingFolder.empty()) candidate = fs::path(workingFolder) / candidate;
  std::error_code error;
  // Absolute, because the child changes into the working folder first.
  candidate = fs::absolute(candidate, error).lexically_normal();
  if (error) return TLaunchResult::Failed;
  if (!fs::exists(candidate, error)) {
    return fs::is_directory(candidate.parent_path(), error) ? TLaunchResult::FileNotFound
                                                             : TLaunchResult::PathNotFound;
  }
  target = {IsExecutableFile(candidate) ? TTargetKind::Executable : TTargetKind::Document, candidate.string()};
  return TLaunchResult::Started;
}

// The child is waited for on a thread of its own, so that it never stays a
// zombie and the player never waits for it.
void ReapInBackground(pid_t child) {
  try {
    std::thread([child] {
      int status = 0;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error& error) {
    Log().Write(std::string("Launcher: cannot wait for the started program: ") + error.what());
  }
}

// The child starts in its own session with default signal handling and an
// empty signal mask (whatever the player's threads block), reads nothing
// from the player's input and inherits none of its other files.
void PrepareChild(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes, const std::string& folder) {
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  sigset_t mask;
  sigemptyset(&mask);
  posix_spawnattr_setsigmask(&attributes, &mask);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attributes, flags);
}

TLaunchResult Spawn(const std::string& path, std::vector<std::string> arguments, const std::string& folder) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  PrepareChild(actions, attributes, folder);
  pid_t child = 0;
  const int error = posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    Log().Write("Launcher: cannot start " + path + ": " + std::strerror(error));
    if (error == ENOENT) return TLaunchResult::FileNotFound;
    return error == ENOTDIR ? TLaunchResult::PathNotFound : TLaunchResult::Failed;
  }
  ReapInBackground(child);
  return TLaunchResult::Started;
}

class TSystemLauncher final : public TProcessLauncher {
 public:
  TLaunchResult Launch(const TString& program, const TString& parameters, const TString& workingFolder) override {
    std::string name = Utf8(Trim(RemoveQuotes(program)));
    for (char& c : name) c = c == '\\' ? '/' : c;
    if (name.empty()) return TLaunchResult::FileNotFound;
    const std::string folder = Utf8(workingFolder);
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) return TLaunchResult::PathNotFound;
    TTarget target;
    const TLaunchResult found = Classify(name, folder, target);
    if (found != TLaunchResult::Started) return found;
    if (target.kind == TTargetKind::Executable) {
      std::vector<std::string> arguments{target.path};
      for (std::string& argument : SplitArguments(Utf8(parameters))) arguments.push_back(std::move(argument));
      return Spawn(target.path, std::move(arguments), folder);
    }
    // Documents and addresses go to the desktop's opener, which takes the
    // one target and nothing else.
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) {
      Log().Write("Launcher: xdg-open not found, cannot open " + target.path);
      return TLaunchResult::Failed;
    }
    if (!parameters.empty()) Log().Write("Launcher: parameters for a document are ignored: " + Utf8(parameters));
    return Spawn(opener, {"xdg-open", target.path}, folder);
  }
};

}  // namespace

std::unique_ptr<TProcessLauncher> MakeSystemLauncher() { return std::make_unique<TSystemLauncher>(); }

}  // namespace zel
