// Which show the command line asks for, and opening a show as the main
// window does: a plain project ("-filename"), a package in a named file
// ("-exename", tried again as a ".ZlShow" file), or the package appended to
// the player itself; on failure, the message the user is shown.
#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"
#include "package/show_locator.h"

namespace zel {

extern const char* const kCannotLoadShow;     // "Can`t Load Show"
extern const char* const kCannotLoadProject;  // "Can`t Load .zel File"

struct TShowRequest {
  bool isProject = false;
  TString fileName;  // absolute
};

TShowRequest ShowRequestFrom(TCommandsStorage& commands, const std::string& playerPath);

// The name with its extension (after the last dot of the file name, if
// any) replaced by the given one.
TString ReplaceExtension(TStringView name, TStringView extension);

// Opens a show package, or a plain project when isProject. On failure:
// null, and the message for the user: the reason (or "Can`t Load Show"), a
// CR, and the names tried in double quotes joined by " or "; for a project
// "Can`t Load .zel File", a CR and the quoted name.
// prepare is handed each accessor before the project is read.
std::unique_ptr<TZelShowLocator> OpenShowFile(TStringView name, bool isProject, std::string& message,
                                              const TAccessorPreparation& prepare = {});

}  // namespace zel
