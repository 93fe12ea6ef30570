// The start-up window of a show: before a show with a "dialog_startup"
// section plays, the player starts itself again as a child ("-startup") that
// shows only that dialog in a small window. The child's exit code says
// whether the parent goes on to open the show (1) or refuses it.
//
// Three pieces live here: the project the child plays (the show's main
// options with the dialog as its only slide), the child's command line, and
// starting the child and waiting for it while the parent keeps its own
// window alive.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/strings.h"
#include "ini/ini_document.h"

namespace zel {

class TFileAccessor;

// The section that makes a show open through a start-up window.
inline constexpr TStringView kStartupDialogSection = u"dialog_startup";
// The exit code with which the child lets the parent open the show.
inline constexpr int kStartupOpenShow = 1;

// The child's project: a one-slide show of one second in a small window,
// whose only slide is the loaded "dialog_startup", keeping the loaded main
// options, file map, help dialog and custom dialogs. Null when the loaded
// project lacks "dialog_startup" or "main" (it is then played unchanged).
std::unique_ptr<TIniStorage> StartupProject(const TIniStorage& loaded);

// Makes every later opening of projectName through the accessor deliver the
// child's project instead of the stored one (a project that has no start-up
// dialog, or that does not parse, is delivered as it was). Replaces any load
// hook the accessor had.
void InstallStartupTransform(TFileAccessor& accessor, TStringView projectName);

// The child's argument vector (the player's own path first), ready for
// posix_spawn: no quoting, one argument per element.
std::vector<std::string> StartupChildArguments(const std::string& playerPath, bool executableShow,
                                               const TString& showName, std::optional<int> display);

// Starts the child (no shell) and waits for it, calling pump between short
// sleeps so that the caller's window keeps handling its messages. pump
// returning false means the application is ending: the child is stopped.
// Returns the child's exit code; -1 when it could not start, was stopped
// because of pump, or ended by a signal.
int RunStartupChild(const std::vector<std::string>& arguments, const std::function<bool()>& pump);

}  // namespace zel
