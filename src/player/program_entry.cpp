#include "player/program_entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "audio/channel_killer.h"
#include "core/log.h"
#include "effects/transition_catalogue.h"
#include "imaging/picture_loading.h"
#include "textout/text_placeholder.h"
#include "platform/display.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "player/frame_export.h"
#include "player/main_form.h"
#include "player/real_slide_filter.h"
#include "render/engine_3d.h"
#include "video/ffmpeg/media_audio.h"
#include "video/ffmpeg/media_library.h"
#include "app/application.h"
#include "player/show_opening.h"

namespace zel {

const char* const kPlayerVersion = ZEL_VERSION;
const char* const kColorDepthMessage =
    "Currently you have 256 or 16 colors display mode.\rSet True color or High color display mode.";
const char* const kErrorCaption = "Slideshow Error";

bool ColorDepthSupported(int bitsPerPixel) { return bitsPerPixel > 15; }

std::string PlayerUsage() {
  return "usage: zelplayer [SWITCH [VALUE]]...\n"
         "\n"
         "Plays the show appended to this executable, or the one the switches name.\n"
         "\n"
         "  -filename FILE   open a plain project file, with its files beside it\n"
         "  -exename FILE    open the show package in FILE (an executable or a .ZlShow file)\n"
         "  -slide N         start at slide N (1-based)\n"
         "  -time N          start at N - 1 milliseconds (-slide wins)\n"
         "  -display N       show on monitor N (1-based); the primary one otherwise\n"
         "  -filelog         write a log file beside the player (its name with .log)\n"
         "  -log             write the log to standard error\n"
         "  -cover           slide loader fill mode\n"
         "  -desktopalign    align the window to the desktop\n"
         "  -resize          let the window be resized\n"
         "  /s               start as a screen saver\n"
         "\n"
         "  --check          open the show, print 'ready VERSION' (or why not) and exit\n"
         "  --export-frames DIR [--fps N] [--from MS] [--to MS] [--frame WxH] [--hold MS]\n"
         "                   draw the show without a display into DIR/frame-000000.png, ...: frame k\n"
         "                   at show time from + k x 1000 / N (N 30); a slide that waits is held\n"
         "                   MS of show time (3000); --to defaults to the end of a show that\n"
         "                   does not repeat\n"
         "  --export-video FILE.mp4 [--crf Q] [the switches of --export-frames but DIR]\n"
         "                   the same frames as one H.264 video (libx264, preset medium, yuv420p,\n"
         "                   BT.709), quality --crf Q from 0 (lossless) to 51 (20); no sound yet;\n"
         "                   an odd frame size is rounded down to even; the file appears only\n"
         "                   when complete (FILE.mp4.part until then)\n"
         "  --version        print the version and exit\n"
         "  --help           print this text and exit\n"
         "\n"
         "File names are taken relative to the player's folder; a leading ../ climbs one folder.\n";
}

namespace {

// Our own switches use a double dash so that they never meet a show's.
bool HasOwnSwitch(int argc, const char* const* argv, const char* name) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return true;
  }
  return false;
}

void ChooseLog(TCommandsStorage& commands, const std::string& playerPath) {
  if (commands.HasCommand(u"filelog")) {
    InstallLog(std::make_unique<TFileLog>(LogFileNameFor(playerPath)));
  } else if (commands.HasCommand(u"log")) {
    InstallLog(std::make_unique<TStdLog>());
  } else {
    InstallLog(nullptr);
  }
  // For finding where time goes: every line with its thread and the
  // milliseconds since start.
  if (const char* times = std::getenv("ZEL_LOG_TIMES"); times && std::strcmp(times, "1") == 0) {
    Log().ShowTime = true;
    Log().ShowThreadId = true;
  }
  Log().WriteHeader(playerPath);
}

// Opens the show without a window: "--check" reports whether it opens,
// "--export-frames" and "--export-video" draw its frames into files.
int CheckOrExport(const TShowRequest& request, bool checkOnly, const TExportOptions& exportOptions,
                  const std::string& playerPath) {
  Log().Write((request.isProject ? "Opening project: " : "Opening show: ") + StringToUtf8(request.fileName));
  std::string error;
  const auto show = OpenShowFile(request.fileName, request.isProject, error);
  if (!show) {
    Log().Write("Open failed: " + error);
    for (char& c : error) c = c == '\r' ? '\n' : c;
    std::fprintf(stderr, "zelplayer: %s\n", error.c_str());
    return 1;
  }
  if (!checkOnly) return ExportFrames(*show, exportOptions, playerPath);
  std::printf("ready %s\n", StringToUtf8(show->Version()).c_str());
  return 0;
}

// Plays the show in the main window until the player closes.
int PlayShow(const std::string& playerPath, TCommandsStorage& commands, bool anotherInstance) {
  TVxApplication application;
  int exitCode = 1;
  {
    TMainForm form(playerPath, commands);
    form.SetAnotherInstanceRunning(anotherInstance);
    if (form.Start()) {
      application.Run();
      exitCode = application.ExitCode();
    }
  }
  Free3DEngine();
  return exitCode;
}

}  // namespace

int PlayerMain(int argc, const char* const* argv) {
  if (HasOwnSwitch(argc, argv, "--version")) {
    std::printf("zelplayer %s\n", kPlayerVersion);
    return 0;
  }
  if (HasOwnSwitch(argc, argv, "--help")) {
    std::fputs(PlayerUsage().c_str(), stdout);
    return 0;
  }

  const bool checkOnly = HasOwnSwitch(argc, argv, "--check");
  const std::string playerPath = PlayerExecutablePath();
  // Our export switches leave the arguments before the show's own
  // switches are read, so their values never become a switch's value.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  TExportOptions exportOptions;
  bool exporting = false;
  std::string switchError;
  if (!TakeExportSwitches(arguments, exportOptions, exporting, switchError)) {
    std::fprintf(stderr, "zelplayer: %s\n", switchError.c_str());
    return 1;
  }
  std::vector<const char*> kept{argv[0]};
  for (const std::string& argument : arguments) kept.push_back(argument.c_str());
  TCommandsStorage& commands = CommandLine();
  commands.FillFromArguments(static_cast<int>(kept.size()), kept.data());
  exportOptions.cover = commands.HasCommand(u"cover");

  // The single-instance lock lives as long as the process.
  const TInstanceLock instance(playerPath);

  if (const auto bits = DesktopBitsPerPixel(); bits && !ColorDepthSupported(*bits)) {
    ShowMessageBox(kErrorCaption, kColorDepthMessage, TMessageIcon::Warning);
    return 0;
  }

  ChooseLog(commands, playerPath);
  InstallPictureLoading();
  InstallTextPlaceholder();
  InstallTransitions();
  InstallCustomEffects();
  RegisterMediaLibraryAudio();

  const TShowRequest request = ShowRequestFrom(commands, playerPath);
  int exitCode = 0;
  if (checkOnly || exporting) {
    exitCode = CheckOrExport(request, checkOnly, exportOptions, playerPath);
  } else {
    exitCode = PlayShow(playerPath, commands, instance.AnotherInstanceRunning());
  }

  ShutdownChannelKiller();
  TFFMpegDll::ReleaseProcessReference();
  Log().WriteFooter();
  InstallLog(nullptr);
  return exitCode;
}

}  // namespace zel
