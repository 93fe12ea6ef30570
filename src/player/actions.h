// Carrying out the actions that start something outside the player:
// "runapp(...)" (programs and documents), "openwebsite(...)" and
// "writeemail(...)".
//
// A command text is one or more commands separated by commas outside
// double quotes. Every command is checked before anything starts: when one
// of them names a blocked program (a shell, a file or system tool, anything
// with an output redirection), none of them runs and the user is told
// kProhibitedCommand. Each command is then split into program and
// parameters and handed to a launcher; a program that is not found is
// looked for again in the show's folder.
//
// The launcher is an interface so that tests can record what would start.
// The system launcher never uses a shell: it starts executables directly
// and hands documents, web and mail addresses to xdg-open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/strings.h"

namespace zel {

// The message the user is shown when a command text is refused.
extern const char* const kProhibitedCommand;

enum class TLaunchResult : uint8_t { Started = 0, Failed = 1, FileNotFound = 2, PathNotFound = 3 };

class TProcessLauncher {
 public:
  virtual ~TProcessLauncher() = default;
  // Program and parameters as the shell call has them (a quoted program
  // keeps its quotes, quoted parameters are one quoted text);
  // workingFolder may be empty (the player's own).
  virtual TLaunchResult Launch(const TString& program, const TString& parameters, const TString& workingFolder) = 0;
};

// Starts processes without a shell and without waiting for them; children
// are reaped in the background.
std::unique_ptr<TProcessLauncher> MakeSystemLauncher();

enum class TRunResult : uint8_t { Started = 0, Blocked = 1, Failed = 2 };

// One command split into what runs and what it is given.
struct TShellCall {
  TString program;
  TString parameters;

  bool operator==(const TShellCall&) const = default;
};

// The commands of a command text: split at commas outside double quotes,
// each trimmed; empty commands are dropped.
std::vector<TString> SplitCommands(TStringView text);

// The word that decides whether a command may run: ">" for any text with
// a redirection, else the lower-case program name without folder and
// extension (see actions.cpp for the exact steps).
TString CommandWord(TStringView command);

// Whether the command word names a blocked program (any case).
bool IsBlockedWord(TStringView word);

// Program and parameters of one command. A program that begins with a
// double quote runs to the closing quote, otherwise to the first space.
// Quotes are removed from both and both trimmed; then a quoted program is
// quoted again, and parameters that held quotes become one quoted text.
TShellCall SplitShellCall(TStringView command);

// Checks every command of the text, then starts each one, retrying
// programs that are not found in the show's folder. Blocked: nothing ran
// (show kProhibitedCommand). Failed: a command could not be started
// (the others were still tried).
TRunResult RunApplication(TStringView text, TStringView showFolder, TProcessLauncher& launcher);

// A document, web or mail address handed to the launcher as a program
// without parameters: the launcher opens it with its application.
TRunResult OpenDocument(TStringView target, TProcessLauncher& launcher);
// "http://" in front unless the address has a scheme of http or https.
TRunResult OpenWebSite(TStringView address, TProcessLauncher& launcher);
// "mailto:" in front unless the address already has it.
TRunResult WriteEmail(TStringView address, TProcessLauncher& launcher);

}  // namespace zel
