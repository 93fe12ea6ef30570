// Running programs and opening documents for a show: which commands are
// refused, how a command becomes program and parameters, the retries in
// the show's folder, and the system launcher starting real processes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "player/actions.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::TLogCapture;

struct TLaunchCall {
  TString program;
  TString parameters;
  TString folder;
  bool operator==(const TLaunchCall&) const = default;
};

void PrintTo(const TLaunchCall& call, std::ostream* out) {
  *out << "{" << StringToUtf8(call.program) << " | " << StringToUtf8(call.parameters) << " | "
       << StringToUtf8(call.folder) << "}";
}

// Records every launch and answers from a script (Started once it runs out).
class TFakeLauncher : public TProcessLauncher {
 public:
  std::vector<TLaunchResult> script;
  std::vector<TLaunchCall> calls;

  TLaunchResult Launch(const TString& program, const TString& parameters, const TString& workingFolder) override {
    calls.push_back({program, parameters, workingFolder});
    return calls.size() <= script.size() ? script[calls.size() - 1] : TLaunchResult::Started;
  }
};

// ---------------------------------------------------------------------------
// Commands and command words

TEST(ActionCommands, CommasOutsideQuotesSeparateCommands) {
  EXPECT_EQ(SplitCommands(u"a.exe"), (std::vector<TString>{u"a.exe"}));
  EXPECT_EQ(SplitCommands(u" a.exe x , b.exe ,c"), (std::vector<TString>{u"a.exe x", u"b.exe", u"c"}));
  EXPECT_EQ(SplitCommands(u"\"a,b.exe\" \"x,y\", c"), (std::vector<TString>{u"\"a,b.exe\" \"x,y\"", u"c"}));
  // Empty pieces start nothing.
  EXPECT_EQ(SplitCommands(u"a,, ,b,"), (std::vector<TString>{u"a", u"b"}));
  EXPECT_TRUE(SplitCommands(u"  ").empty());
}

TEST(ActionCommandWord, TheProgramNameWithoutFolderAndExtension) {
  EXPECT_EQ(CommandWord(u"notepad.exe notes.txt"), u"notepad");
  EXPECT_EQ(CommandWord(u"  \tEditor\tx"), u"editor");
  EXPECT_EQ(CommandWord(u"C:\\Windows\\system32\\CMD.EXE /c dir"), u"cmd");
  EXPECT_EQ(CommandWord(u"/usr/bin/rm -rf /"), u"rm");
  EXPECT_EQ(CommandWord(u"..\\tools/mixed\\app.tar.gz"), u"app");
  EXPECT_EQ(CommandWord(u"\"C:\\Program Files\\My App\\run me.exe\" x"), u"run_me");
  EXPECT_EQ(CommandWord(u"\"/opt/my.dir/tool\""), u"tool");
}

TEST(ActionCommandWord, DecorationCannotHideTheName) {
  EXPECT_EQ(CommandWord(u"@del x"), u"del");
  EXPECT_EQ(CommandWord(u"|rm x"), u"rm");
  EXPECT_EQ(CommandWord(u"r\"m\" -rf"), u"rm");
  EXPECT_EQ(CommandWord(u"@\"/bin/\"bash -c x"), u"bash");
  // Any redirection decides alone.
  EXPECT_EQ(CommandWord(u"notes.txt > out"), u">");
  EXPECT_EQ(CommandWord(u"viewer \"a>b\""), u">");
}

// ---------------------------------------------------------------------------
// Blocked commands

TEST(ActionBlocked, EveryBlockedWordIsRefusedAndNothingStarts) {
  const TString words =
      u"> at attrib call cmd command copy del deltree erase for format fdisk runonce move net runas net1 ren "
      u"rename replace rmdir rd recover regedit rundll qstart start sys type xcopy regsrv regedt32 regsvr32 rcp "
      u"ftp tftp sh bash dash zsh ksh csh fish env xargs nohup setsid rm dd mkfs shred truncate sudo su doas "
      u"pkexec chmod chown chgrp curl wget nc ssh scp crontab systemctl kill pkill killall";
  TFakeLauncher launcher;
  size_t count = 0;
  for (size_t start = 0; start < words.size(); ++count) {
    const size_t end = std::min(words.find(u' ', start), words.size());
    const TString word = words.substr(start, end - start);
    start = end + 1;
    EXPECT_TRUE(IsBlockedWord(word)) << StringToUtf8(word);
    EXPECT_EQ(RunApplication(word + u" x", u"/show", launcher), TRunResult::Blocked) << StringToUtf8(word);
  }
  EXPECT_EQ(count, 70u);  // the list above was read in full
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_TRUE(IsBlockedWord(u"CMD"));
  for (const char16_t* allowed : {u"", u"notepad", u"editor", u"rms", u"cmdx", u"tr", u"starter"}) {
    EXPECT_FALSE(IsBlockedWord(allowed)) << StringToUtf8(allowed);
  }
}

TEST(ActionBlocked, TypicalHarmfulCommandsAreRefused) {
  TFakeLauncher launcher;
  for (const char16_t* text : {u"cmd /c dir", u"DEL x", u"C:\\Windows\\system32\\cmd.exe /c", u"rm -rf /",
                               u"bash -c x", u"notes.txt > out", u"\"/usr/bin/env\" python3", u"mkfs.ext4 /dev/sda",
                               u"@format c:", u"\"/tmp/my dir/rm\" x"}) {
    EXPECT_EQ(RunApplication(text, u"/show", launcher), TRunResult::Blocked) << StringToUtf8(text);
  }
  EXPECT_TRUE(launcher.calls.empty());
}

TEST(ActionBlocked, OneBlockedCommandStopsAllAndIsLoggedOnce) {
  TLogCapture log;
  TFakeLauncher launcher;
  EXPECT_EQ(RunApplication(u"viewer a.png, rm -rf /, editor b.txt", u"/show", launcher), TRunResult::Blocked);
  EXPECT_TRUE(launcher.calls.empty());
  EXPECT_EQ(log.Containing("prohibited"), 1);
  EXPECT_STREQ(kProhibitedCommand, "Command line contains prohibited command and will not be performed.");
}

// ---------------------------------------------------------------------------
// Program and parameters

TEST(ActionShellCall, ProgramEndsAtTheFirstSpaceOrClosingQuoteAndQuotesArePutBack) {
  EXPECT_EQ(SplitShellCall(u"notepad.exe"), (TShellCall{u"notepad.exe", u""}));
  EXPECT_EQ(SplitShellCall(u" C:\\Tools\\view.exe  /s  x "), (TShellCall{u"C:\\Tools\\view.exe", u"/s  x"}));
  EXPECT_EQ(SplitShellCall(u"\" my app.exe \" -x"), (TShellCall{u"\"my app.exe\"", u"-x"}));
  EXPECT_EQ(SplitShellCall(u"editor \"my notes.txt\""), (TShellCall{u"editor", u"\"my notes.txt\""}));
  EXPECT_EQ(SplitShellCall(u"\"my app\" \"a b\" c \"d\""), (TShellCall{u"\"my app\"", u"\"a b c d\""}));
  EXPECT_EQ(SplitShellCall(u"\"my app"), (TShellCall{u"\"my app\"", u""}));  // unclosed: to the end
}

// ---------------------------------------------------------------------------
// Running

TEST(ActionRun, EachCommandGoesToTheLauncherAsSplit) {
  TLogCapture log;
  TFakeLauncher launcher;
  EXPECT_EQ(RunApplication(u"notepad.exe", u"/show", launcher), TRunResult::Started);
  EXPECT_EQ(RunApplication(u"editor notes.txt, \"my viewer\" \"a b.png\"", u"/show", launcher), TRunResult::Started);
  const std::vector<TLaunchCall> expected{
      {u"notepad.exe", u"", u""}, {u"editor", u"notes.txt", u""}, {u"\"my viewer\"", u"\"a b.png\"", u""}};
  EXPECT_EQ(launcher.calls, expected);
  EXPECT_EQ(log.Containing("RunApp: started editor notes.txt"), 1);
}

TEST(ActionRun, AFailureIsReportedButTheOtherCommandsStillRun) {
  TFakeLauncher launcher;
  launcher.script = {TLaunchResult::Failed};
  EXPECT_EQ(RunApplication(u"first, second", u"/show", launcher), TRunResult::Failed);
  ASSERT_EQ(launcher.calls.size(), 2u);
  EXPECT_EQ(launcher.calls[1].program, u"second");
  // Nothing to run, or no program in a command.
  EXPECT_EQ(RunApplication(u" , ", u"/show", launcher), TRunResult::Failed);
  EXPECT_EQ(RunApplication(u"\"\" x", u"/show", launcher), TRunResult::Failed);
  EXPECT_EQ(launcher.calls.size(), 2u);
}

TEST(ActionRetries, ParametersAreRetriedWithoutQuotes) {
  TFakeLauncher launcher;
  launcher.script = {TLaunchResult::FileNotFound, TLaunchResult::Started};
  EXPECT_EQ(RunApplication(u"viewer \"my file.png\"", u"/show", launcher), TRunResult::Started);
  const std::vector<TLaunchCall> expected{{u"viewer", u"\"my file.png\"", u""}, {u"viewer", u"my file.png", u""}};
  EXPECT_EQ(launcher.calls, expected);
  // Without quotes there is nothing different to try; the show folder is
  // only for calls without parameters.
  TFakeLauncher plain;
  plain.script = {TLaunchResult::PathNotFound};
  EXPECT_EQ(RunApplication(u"viewer a.png", u"/show", plain), TRunResult::Failed);
  EXPECT_EQ(plain.calls.size(), 1u);
}

TEST(ActionRetries, AProgramIsLookedForInTheShowFolder) {
  TFakeLauncher launcher;
  launcher.script = {TLaunchResult::FileNotFound, TLaunchResult::PathNotFound, TLaunchResult::FileNotFound};
  EXPECT_EQ(RunApplication(u"docs\\notes.txt", u"/shows/demo", launcher), TRunResult::Failed);
  const std::vector<TLaunchCall> expected{{u"docs\\notes.txt", u"", u""},
                                          {u"notes.txt", u"", u"/shows/demo"},
                                          {u"/shows/demo/docs\\notes.txt", u"", u""}};
  EXPECT_EQ(launcher.calls, expected);
}

TEST(ActionRetries, QuotedProgramsStayQuotedAndRetriesStopAtSuccess) {
  TFakeLauncher launcher;
  launcher.script = {TLaunchResult::FileNotFound, TLaunchResult::FileNotFound};
  EXPECT_EQ(RunApplication(u"\"sub/my app\"", u"/show/", launcher), TRunResult::Started);
  const std::vector<TLaunchCall> expected{
      {u"\"sub/my app\"", u"", u""}, {u"\"my app\"", u"", u"/show/"}, {u"\"/show/sub/my app\"", u"", u""}};
  EXPECT_EQ(launcher.calls, expected);

  TFakeLauncher second;
  second.script = {TLaunchResult::FileNotFound, TLaunchResult::Started};
  EXPECT_EQ(RunApplication(u"app", u"/show", second), TRunResult::Started);
  EXPECT_EQ(second.calls.size(), 2u);
  // A plain failure or a missing show folder means no retries.
  TFakeLauncher failed;
  failed.script = {TLaunchResult::Failed};
  EXPECT_EQ(RunApplication(u"app", u"/show", failed), TRunResult::Failed);
  TFakeLauncher noFolder;
  noFolder.script = {TLaunchResult::FileNotFound};
  EXPECT_EQ(RunApplication(u"app", u"", noFolder), TRunResult::Failed);
  EXPECT_EQ(failed.calls.size() + noFolder.calls.size(), 2u);
}

TEST(ActionDocuments, AddressesArePrefixedAndOpenedWithoutParameters) {
  TFakeLauncher launcher;
  EXPECT_EQ(OpenWebSite(u"example.com/a,b", launcher), TRunResult::Started);
  EXPECT_EQ(OpenWebSite(u"HTTPS://example.com", launcher), TRunResult::Started);
  EXPECT_EQ(WriteEmail(u"me@example.com", launcher), TRunResult::Started);
  EXPECT_EQ(OpenDocument(u" ", launcher), TRunResult::Failed);
  const std::vector<TLaunchCall> expected{{u"http://example.com/a,b", u"", u""},
                                          {u"HTTPS://example.com", u"", u""},
                                          {u"mailto:me@example.com", u"", u""}};
  EXPECT_EQ(launcher.calls, expected);
  launcher.script = {TLaunchResult::Started, TLaunchResult::Started, TLaunchResult::Started, TLaunchResult::Failed};
  EXPECT_EQ(OpenDocument(u"a.pdf", launcher), TRunResult::Failed);
}

// ---------------------------------------------------------------------------
// The system launcher, with real processes

struct TTempFolder {
  std::string path = MakeFolder();
  ~TTempFolder() {
    std::error_code error;
    if (!path.empty()) fs::remove_all(path, error);
  }
  static std::string MakeFolder() {
    std::string name = (fs::temp_directory_path() / "zel-actions-XXXXXX").string();
    return mkdtemp(name.data()) != nullptr ? name : std::string();
  }
  TString Text(const std::string& name = {}) const { return Utf8ToString(name.empty() ? path : path + "/" + name); }
};

// Started processes run on their own; wait (bounded) for their trace.
bool AppearsSoon(const fs::path& path) {
  for (int i = 0; i < 1000; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

TEST(SystemLauncher, StartsProgramsWithArgumentsAndWorkingFolder) {
  TTempFolder temp;
  ASSERT_FALSE(temp.path.empty());
  auto launcher = MakeSystemLauncher();
  EXPECT_EQ(launcher->Launch(u"touch", u"\"" + temp.Text("a b") + u"\"", u""), TLaunchResult::Started);
  EXPECT_TRUE(AppearsSoon(fs::path(temp.path) / "a b"));
  EXPECT_EQ(launcher->Launch(u"\"touch\"", u"here  second", temp.Text()), TLaunchResult::Started);
  EXPECT_TRUE(AppearsSoon(fs::path(temp.path) / "here"));
  EXPECT_TRUE(AppearsSoon(fs::path(temp.path) / "second"));
  // Windows separators in the program.
  const std::string touch = fs::exists("/usr/bin/touch") ? "\\usr\\bin\\touch" : "\\bin\\touch";
  EXPECT_EQ(launcher->Launch(Utf8ToString(touch), temp.Text("c"), u""), TLaunchResult::Started);
  EXPECT_TRUE(AppearsSoon(fs::path(temp.path) / "c"));
}

TEST(SystemLauncher, MissingProgramsAndFoldersAreReported) {
  TTempFolder temp;
  auto launcher = MakeSystemLauncher();
  EXPECT_EQ(launcher->Launch(u"zel-no-such-program-here", u"", u""), TLaunchResult::FileNotFound);
  EXPECT_EQ(launcher->Launch(temp.Text("missing"), u"", u""), TLaunchResult::FileNotFound);
  EXPECT_EQ(launcher->Launch(temp.Text("no/such/prog"), u"", u""), TLaunchResult::PathNotFound);
  EXPECT_EQ(launcher->Launch(u"true", u"", temp.Text("no-folder")), TLaunchResult::PathNotFound);
  EXPECT_EQ(launcher->Launch(u"/bin/true", u"", u""), TLaunchResult::Started);
}

// Documents and addresses go to xdg-open; a stand-in on PATH writes down
// what it was given.
TEST(SystemLauncher, DocumentsAndAddressesGoToTheOpener) {
  TTempFolder temp;
  ASSERT_FALSE(temp.path.empty());
  const fs::path bin = fs::path(temp.path) / "bin";
  fs::create_directory(bin);
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > \"" << temp.path << "/opened.tmp\"\n"
           << "mv \"" << temp.path << "/opened.tmp\" \"" << temp.path << "/opened\"\n";
  }
  chmod((bin / "xdg-open").c_str(), 0755);
  { std::ofstream(fs::path(temp.path) / "notes.txt") << "x"; }
  const char* oldPath = getenv("PATH");
  const std::string saved = oldPath != nullptr ? oldPath : "";
  setenv("PATH", (bin.string() + ":" + saved).c_str(), 1);
  auto launcher = MakeSystemLauncher();
  const fs::path opened = fs::path(temp.path) / "opened";

  // A document found through the working folder goes by its full path.
  EXPECT_EQ(launcher->Launch(u"notes.txt", u"ignored", temp.Text()), TLaunchResult::Started);
  EXPECT_TRUE(AppearsSoon(opened));
  EXPECT_EQ(ReadAll(opened), "1|" + temp.path + "/notes.txt");
  fs::remove(opened);
  EXPECT_EQ(launcher->Launch(u"mailto:me@example.com", u"", u""), TLaunchResult::Started);
  EXPECT_TRUE(AppearsSoon(opened));
  EXPECT_EQ(ReadAll(opened), "1|mailto:me@example.com");
  setenv("PATH", saved.c_str(), 1);
}

}  // namespace
}  // namespace zel
