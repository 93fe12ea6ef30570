// Which show the command line asks for, and opening it: a plain project
// ("-filename"), a package in a named file ("-exename"), or the package
// appended to the player itself.
#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"
#include "package/show_locator.h"

namespace zel {

struct TShowRequest {
  bool isProject = false;
  TString fileName;  // absolute
};

TShowRequest ShowRequestFrom(TCommandsStorage& commands, const std::string& playerPath);

// The opened show, or null with the reason in errorMessage (never empty).
std::unique_ptr<TZelShowLocator> OpenRequestedShow(const TShowRequest& request, std::string& errorMessage);

}  // namespace zel
