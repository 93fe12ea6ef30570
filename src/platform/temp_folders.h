// Temporary folders: each is made under the platform's temporary folder with
// a fresh GUID for a name, remembered, and removed with everything in it when
// the process ends (normally, or through SIGINT, SIGTERM or SIGHUP).
#pragma once

#include <string>

namespace zel {

// $TMPDIR, else /tmp, with a trailing "/"; taken on first use.
std::string TemporaryRoot();

// Makes a new folder "ROOT[GUID]" and returns its name.
std::string MakeTemporaryFolder(bool trailingSeparator = true);

// Removes every folder made so far (also done at exit).
void RemoveTemporaryFolders();

// A new random GUID in its usual text form without braces, upper case.
std::string NewGuidText();

}  // namespace zel
