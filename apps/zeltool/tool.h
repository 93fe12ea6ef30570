// The author's tool: one table of subcommands, each a function over its own
// arguments. Every subcommand prints plain text a script can read, returns
// 0 on success, and on failure one clear line on stderr and a non-zero code.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {
class TZelShowLocator;
class TZelSlide;
class TZelSlideHost;
class TZelSource;
}  // namespace zel

namespace zel::tool {

using TArguments = std::span<const std::string>;

struct TToolCommand {
  std::string_view name;
  std::string_view synopsis;     // the arguments, as help shows them
  std::string_view description;  // one line
  int (*run)(TArguments arguments);
};

// Every subcommand, in the order help lists them.
const std::vector<TToolCommand>& ToolCommands();

// Writes "zeltool NAME: MESSAGE" to stderr and returns the failure code.
int Fail(std::string_view command, std::string_view message);
// The usage failure of a subcommand: its synopsis on stderr, code 2.
int UsageError(const TToolCommand& command);
int UsageError(std::string_view commandName);

// Project text subcommands (ini_commands.cpp).
int RunIniRoundtrip(TArguments arguments);
int RunIniErrors(TArguments arguments);
int RunIniSections(TArguments arguments);
int RunIniGet(TArguments arguments);
int RunIniSet(TArguments arguments);

// Show package subcommands (package_commands.cpp).
int RunPack(TArguments arguments);
int RunList(TArguments arguments);
int RunCheck(TArguments arguments);
int RunCat(TArguments arguments);

// Entry stream subcommands (stream_commands.cpp).
int RunInflate(TArguments arguments);
int RunDescramble(TArguments arguments);

// Picture subcommands (image_commands.cpp).
int RunImageInfo(TArguments arguments);
int RunDecodeImage(TArguments arguments);
int RunImageMeta(TArguments arguments);

// Sound subcommands (audio_commands.cpp).
int RunAudioInfo(TArguments arguments);
int RunPlay(TArguments arguments);
int RunDecodeAudio(TArguments arguments);

// Media library subcommands (media_commands.cpp).
int RunMediaInfo(TArguments arguments);

// Text subcommands (text_commands.cpp).
int RunRenderText(TArguments arguments);
int RunFonts(TArguments arguments);

// Show subcommands (show_commands.cpp).
int RunTimetable(TArguments arguments);
int RunEffects(TArguments arguments);
int RunSlide(TArguments arguments);

// Text object subcommands (text_object_commands.cpp).
int RunText(TArguments arguments);

// A show opened for a subcommand: its locator, and the source over the
// locator's accessor and document (the locator outlives it).
struct TToolShow {
  std::unique_ptr<TZelShowLocator> locator;
  std::unique_ptr<TZelSource> source;
  TToolShow();
  ~TToolShow();
};
// Opens SHOW, a show file, a player with a show appended or a project file,
// and builds its source. Returns 0, or the failure code after one line on
// stderr (a bad project's "Incorrect time" included).
int OpenToolShow(const std::string& path, std::string_view command, TToolShow& show);

// A text field as one word: "-" when empty; blanks, "%" and a lone "-"
// as %XX.
std::string WordText(std::u16string_view text);
// UTF-8 with control characters and "%" (and blanks when asked) as %XX, so
// that a value stays on one line.
std::string PercentEscaped(std::u16string_view text, bool blanksToo);

// One slide of a show, built as the player builds it for a frame of
// width x height and set to a show time.
struct TToolSlide {
  TToolShow show;
  std::unique_ptr<TZelSlideHost> host;
  std::unique_ptr<TZelSlide> slide;
  std::vector<std::string> positionals;  // SHOW, INDEX and the command's others
  int32_t width = 0, height = 0;
  TToolSlide();
  ~TToolSlide();
};
// Reads SHOW INDEX (and positionals - 2 more arguments) with --time T and
// [--frame WxH], opens the show and builds the slide at position INDEX
// (the frame is the show's design size unless --frame). Returns 0, or the
// failure code after one line on stderr.
int OpenToolSlide(TArguments arguments, std::string_view command, size_t positionals, TToolSlide& slide);
// slide_render_commands.cpp
int RunRenderSlide(TArguments arguments);
// window_commands.cpp
int RunWindow(TArguments arguments);
// A show time in ms: a finite number.
bool ParseShowTime(const std::string& text, double& value);

// transition_commands.cpp
int RunTransition(TArguments arguments);

// Action subcommands (action_commands.cpp).
int RunAction(TArguments arguments);
int RunClick(TArguments arguments);

// Input subcommands (input_commands.cpp).
int RunKey(TArguments arguments);
int RunSdlKey(TArguments arguments);
int RunMouse(TArguments arguments);

// Render subcommands (render_commands.cpp).
int RunGlSelfTest(TArguments arguments);
// draw_commands.cpp
int RunDrawImage(TArguments arguments);
int RunGlInfo(TArguments arguments);

}  // namespace zel::tool
