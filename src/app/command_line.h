// The command-line store: the raw tokens after the player's own name and the
// command table built from them. Filled once, before the main window exists,
// and only read afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/hash_list.h"
#include "core/strings.h"

namespace zel {

// One value of a command.
class TCommandItem : public TObj {
 public:
  explicit TCommandItem(TString value) : Value(std::move(value)) {}
  TString Value;
};

// A command ("display") with the values that followed it on the line.
class TCommand : public TKeyItem {
 public:
  using TKeyItem::TKeyItem;
  std::vector<TCommandItem> Items;
};

// Splits a whole command line at characters up to 32, except inside double
// quotes, and cleans each token (see CleanCommandToken).
std::vector<TString> TokenizeCommandLine(TStringView commandLine);
// Drops an opening double quote at the start, a closing one at the end, and
// any double quote left inside.
TString CleanCommandToken(TStringView token);

class TCommandsStorage : public THashListOf<TCommand> {
 public:
  static constexpr int kBuckets = 251;
  // The command of the values that come before any switch.
  static constexpr TStringView kUnnamed = u"";

  TCommandsStorage() : THashListOf<TCommand>(kBuckets) {}

  // A token that begins with "-" starts a command named by the rest of the
  // token in lower case; every other token is a value of the latest command.
  void Fill(std::span<const TString> tokens);
  // From main's arguments: the shell has split them already, so each
  // argument is one token (cleaned of stray quotes).
  void FillFromArguments(int argc, const char* const* argv);

  const std::vector<TString>& RawTokens() const { return fRawTokens; }
  // The exact, case-sensitive token ("-startup", "/s").
  bool HasRawToken(TStringView token) const;

  bool HasCommand(TStringView name) { return Find(LowerCase(name)) != nullptr; }
  std::optional<TString> Value(TStringView name, size_t index = 0);
  TString ValueOr(TStringView name, TStringView defaultValue, size_t index = 0);
  // The decimal value, or the default when it is missing or does not parse.
  int64_t IntValue(TStringView name, int64_t defaultValue, size_t index = 0);

 private:
  std::vector<TString> fRawTokens;
};

// Where the show starts, from "slide" (1-based) or "time" (N starts at N - 1
// ms). Values of 0 or less are ignored; "slide" wins when both are given.
struct TStartPosition {
  std::optional<int> slide;      // 1-based
  std::optional<double> timeMs;  // show time
};
TStartPosition StartPositionFrom(TCommandsStorage& commands);

// The owner window a start-up child was given ("ownerwnd"): the last token
// of the line, when there are at least two.
std::optional<int64_t> OwnerWindowFrom(TCommandsStorage& commands);

// This process was started as the start-up window's child ("-startup").
bool IsStartupChild(const TCommandsStorage& commands);
// The platform asked for the screen saver to start ("/s" or "/S").
bool IsScreenSaverRequest(const TCommandsStorage& commands);

// A file name from the command line made absolute against the player's
// folder: "/..." (and Windows' "C:" or "\\server\share" forms) stay as they
// are; each leading "..\" or "../" climbs one folder up from the player's
// folder, and the rest is appended.
TString AbsoluteName(TStringView name, TStringView playerFolder);

// The process's store.
TCommandsStorage& CommandLine();

}  // namespace zel
