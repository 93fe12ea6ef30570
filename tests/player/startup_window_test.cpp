// The start-up window: the one-slide project the child plays (every key it
// sets, the defaults, the dialogs it keeps, the music it drops), the project
// delivered through the accessor, the child's command line, and a real
// child started and waited for.
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/streams.h"
#include "ini/ini_parser.h"
#include "package/file_accessor.h"
#include "package/package_test_support.h"
#include "package/show_locator.h"
#include "player/startup_window.h"

namespace zel {
namespace {

std::unique_ptr<TIniFile> Parse(const std::string& text) {
  auto file = std::make_unique<TIniFile>();
  TStringStream stream(text);
  EXPECT_TRUE(file->LoadFromStream(stream));
  return file;
}

std::string SavedText(const TIniStorage& document) {
  TMemoryStream stream;
  EXPECT_TRUE(IniSaveToStream(document, stream));
  const auto bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

const TString kMissing = u"<missing>";

TString MainValue(const TIniStorage& project, TStringView key) { return project.ReadString(u"main", key, kMissing); }

// A loaded show whose main options hold a value for every key the child's
// project sets, each one the child must not keep.
const char* const kFullShow =
    "[Main]\r\nZelVersion=9.5\r\nopt_ownkey=kept\r\n"
    "opt_fcp=1\r\nopt_repeat=loop\r\nopt_scr_full=1\r\nopt_scr_fullfixedsize=1\r\n"
    "opt_scr_width=1920\r\nopt_scr_height=1080\r\nopt_scr_caption=The Show\r\nopt_hidecursor=1\r\n"
    "opt_synch_count=7\r\nopt_synchpos1=5000\r\nopt_synch_pointscount=9\r\nopt_slidescount=20\r\n"
    "opt_fx_enable=1\r\nopt_fx_neweffectscount=4\r\nopt_runapponexit=1\r\nopt_runapponexitiflastslide=0\r\n"
    "opt_runapponexitfn=after.sh\r\nopt_usepass=1\r\nopt_logo=1\r\nopt_lockf1=0\r\n"
    "opt_startupwidth=320\r\nopt_startupheight=200\r\nstw_caption=Welcome\r\n"
    "opt_customdialogscount=2\r\ncustom_dialog1=Ask\r\n"
    "[Slide1]\r\nshowslide=yes\r\n"
    "[Slide2]\r\nshowslide=yes\r\n"
    "[dialog_startup]\r\ndialogkey=start\r\n"
    "[dialog_1_]\r\nbutton=one\r\n"
    "[dialog_3_]\r\nbutton=three\r\n";

TEST(StartupProject, SetsEveryKeyOfTheStartupWindowOverTheShowsOwn) {
  const auto project = StartupProject(*Parse(kFullShow));
  ASSERT_NE(project, nullptr);
  const std::vector<std::pair<TStringView, TStringView>> expected = {
      {u"opt_fcp", u"0"},
      {u"opt_repeat", u"stop"},
      {u"opt_scr_full", u"0"},
      {u"opt_scr_fullfixedsize", u"0"},
      {u"opt_scr_width", u"320"},
      {u"opt_scr_height", u"200"},
      {u"opt_scr_caption", u"Welcome"},
      {u"opt_hidecursor", u"0"},
      {u"opt_synch_count", u"0"},
      {u"opt_synchpos1", u"1000"},
      {u"opt_synch_pointscount", u"1"},
      {u"opt_slidescount", u"1"},
      {u"opt_fx_enable", u"0"},
      {u"opt_fx_neweffectscount", u"0"},
      {u"opt_runapponexit", u"0"},
      {u"opt_runapponexitiflastslide", u"1"},
      {u"opt_runapponexitfn", u""},
      {u"opt_usepass", u"0"},
      {u"opt_logo", u"0"},
      {u"opt_lockf1", u"0"},
      {u"opt_customdialogscount", u"2"},
      {u"custom_dialog1", u"Ask"},
      {u"custom_dialog2", u"NotFound"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(MainValue(*project, key), value) << StringToUtf8(key);
  // The rest of the main options stay as the show has them.
  EXPECT_EQ(MainValue(*project, u"ZelVersion"), u"9.5");
  EXPECT_EQ(MainValue(*project, u"opt_ownkey"), u"kept");
}

TEST(StartupProject, TheOnlySlideIsTheStartupDialog) {
  const auto project = StartupProject(*Parse(kFullShow));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->ReadString(u"slide1", u"dialogkey", kMissing), u"start");
  EXPECT_EQ(project->ReadString(u"slide1", u"showslide", kMissing), kMissing);
  EXPECT_FALSE(project->SectionExists(u"slide2"));
  EXPECT_FALSE(project->SectionExists(u"dialog_startup"));
}

TEST(StartupProject, MissingKeysGiveTheDefaults) {
  const auto project = StartupProject(*Parse("[Main]\r\nopt_scr_width=1024\r\n[dialog_startup]\r\na=1\r\n"));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(MainValue(*project, u"opt_scr_width"), u"640");
  EXPECT_EQ(MainValue(*project, u"opt_scr_height"), u"480");
  EXPECT_EQ(MainValue(*project, u"opt_scr_caption"), u"Startup Window");
  EXPECT_EQ(MainValue(*project, u"opt_lockf1"), u"1");
  EXPECT_EQ(MainValue(*project, u"opt_customdialogscount"), u"0");
  EXPECT_EQ(MainValue(*project, u"custom_dialog1"), kMissing);
}

TEST(StartupProject, TheF1LockIsWrittenAsTheProjectWritesBooleans) {
  for (const auto& [stored, written] : std::vector<std::pair<std::string, TString>>{
           {"1", u"1"}, {"0", u"0"}, {"5", u"1"}, {"no", u"1"} /* unreadable: the default */}) {
    const auto project = StartupProject(*Parse("[Main]\r\nopt_lockf1=" + stored + "\r\n[dialog_startup]\r\n"));
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(MainValue(*project, u"opt_lockf1"), written) << stored;
  }
}

TEST(StartupProject, CustomDialogsUpToTheCountAreCopiedWhenPresent) {
  const auto project = StartupProject(*Parse(kFullShow));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->ReadString(u"dialog_1_", u"button", kMissing), u"one");
  EXPECT_FALSE(project->SectionExists(u"dialog_2_"));  // the show has none
  EXPECT_FALSE(project->SectionExists(u"dialog_3_"));  // beyond the count
}

TEST(StartupProject, HelpDialogAndFileMapAreCopiedOnlyWhenPresent) {
  const auto without = StartupProject(*Parse(kFullShow));
  ASSERT_NE(without, nullptr);
  EXPECT_FALSE(without->SectionExists(u"dialog_help"));
  EXPECT_FALSE(without->SectionExists(u"FileMap"));

  const auto with = StartupProject(*Parse(std::string(kFullShow) +
                                          "[dialog_help]\r\nhelpkey=h\r\n[FILEMAP]\r\nold.jpg=new.jpg\r\n"));
  ASSERT_NE(with, nullptr);
  EXPECT_EQ(with->ReadString(u"dialog_help", u"helpkey", kMissing), u"h");
  EXPECT_EQ(with->ReadString(u"FileMap", u"old.jpg", kMissing), u"new.jpg");
}

TEST(StartupProject, OnlyTheFirstMusicKeyIsRemoved) {
  const auto one = StartupProject(*Parse("[Main]\r\nMUSIC=a.mp3\r\nmusic_volume=50\r\n[dialog_startup]\r\n"));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(MainValue(*one, u"music"), kMissing);
  EXPECT_EQ(MainValue(*one, u"music_volume"), u"50");

  const auto two = StartupProject(*Parse("[Main]\r\nMusic=a.mp3\r\nmusic=b.mp3\r\n[dialog_startup]\r\n"));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(MainValue(*two, u"music"), u"b.mp3");
  EXPECT_EQ(SavedText(*two).find("a.mp3"), std::string::npos);
}

TEST(StartupProject, WithoutStartupDialogOrMainTheProjectIsUsedUnchanged) {
  EXPECT_EQ(StartupProject(*Parse("[Main]\r\nopt_slidescount=3\r\n[Slide1]\r\n")), nullptr);
  EXPECT_EQ(StartupProject(*Parse("[dialog_startup]\r\na=1\r\n[Slide1]\r\n")), nullptr);
  EXPECT_EQ(StartupProject(*Parse("")), nullptr);
}

TEST(StartupProject, SectionsAndKeysAreFoundWithoutRegardToCase) {
  const auto project = StartupProject(*Parse("[MAIN]\r\nOPT_STARTUPWIDTH=300\r\n[Dialog_StartUp]\r\nKey=v\r\n"));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(MainValue(*project, u"opt_scr_width"), u"300");
  EXPECT_EQ(project->ReadString(u"SLIDE1", u"key", kMissing), u"v");
}

TEST(StartupProject, ARepeatedMainSectionIsCopiedWhole) {
  const auto project =
      StartupProject(*Parse("[Main]\r\nfirst=1\r\nshared=old\r\n[dialog_startup]\r\n[Main]\r\nshared=new\r\n"));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(MainValue(*project, u"first"), u"1");
  EXPECT_EQ(MainValue(*project, u"shared"), u"new");  // the later one wins, as when the show reads it
}

// ---------------------------------------------------------------------------
// Delivered through the accessor

// Project texts by name, names compared without regard to case.
class TTextSource : public TFileSource {
 public:
  explicit TTextSource(std::map<TString, std::string> files) {
    for (auto& [name, text] : files) fFiles[LowerCase(name)] = std::move(text);
  }
  std::unique_ptr<TStream> Open(TStringView name) override {
    const auto found = fFiles.find(LowerCase(name));
    if (found == fFiles.end()) return nullptr;
    return std::make_unique<TStringStream>(found->second);
  }

 private:
  std::map<TString, std::string> fFiles;
};

std::string ReadAll(TFileAccessor& accessor, TStringView name) {
  auto stream = accessor.OpenStream(name);
  if (!stream) return "<none>";
  const auto bytes = testing_support::ReadAllBytes(*stream);
  return std::string(bytes.begin(), bytes.end());
}

TEST(StartupTransform, TheProjectOpensAsTheStartupWindowsProject) {
  TFileAccessor accessor(MakeRef<TTextSource>(std::map<TString, std::string>{{u"Project.zel", kFullShow}}));
  InstallStartupTransform(accessor, u"Project.zel");
  TZelShowLocator locator(accessor, u"project.ZEL");  // the name without regard to case
  ASSERT_NE(locator.Project(), nullptr);
  EXPECT_EQ(locator.Version(), u"9.5");
  EXPECT_EQ(locator.Project()->ReadString(u"main", u"opt_slidescount", kMissing), u"1");
  EXPECT_EQ(locator.Project()->ReadString(u"slide1", u"dialogkey", kMissing), u"start");
  EXPECT_FALSE(locator.Project()->SectionExists(u"slide2"));
}

TEST(StartupTransform, OtherFilesAndShowsWithoutTheDialogPassUnchanged) {
  const std::string plain = "[Main]\r\nopt_slidescount=3\r\n[Slide1]\r\n";
  TFileAccessor accessor(MakeRef<TTextSource>(
      std::map<TString, std::string>{{u"Project.zel", plain}, {u"other.zel", kFullShow}}));
  InstallStartupTransform(accessor, u"Project.zel");
  EXPECT_EQ(ReadAll(accessor, u"Project.zel"), plain);
  EXPECT_EQ(ReadAll(accessor, u"other.zel"), kFullShow);
  EXPECT_EQ(ReadAll(accessor, u"missing.zel"), "<none>");
}

// ---------------------------------------------------------------------------
// The child's command line

TEST(StartupChildArguments, AnExecutableShowOnADisplay) {
  EXPECT_EQ(StartupChildArguments("/opt/zel/zelplayer", true, u"/shows/My Show.ZlShow", 2),
            (std::vector<std::string>{"/opt/zel/zelplayer", "-exename", "/shows/My Show.ZlShow", "-startup",
                                      "-display", "2"}));
}

TEST(StartupChildArguments, AProjectWithoutADisplay) {
  EXPECT_EQ(StartupChildArguments("/opt/zel/zelplayer", false, u"/shows/Über.zel", std::nullopt),
            (std::vector<std::string>{"/opt/zel/zelplayer", "-filename", "/shows/\xC3\x9C" "ber.zel", "-startup"}));
}

TEST(StartupChildArguments, DisplayZeroIsStillGiven) {
  const auto arguments = StartupChildArguments("p", false, u"s.zel", 0);
  ASSERT_EQ(arguments.size(), 6u);
  EXPECT_EQ(arguments[4], "-display");
  EXPECT_EQ(arguments[5], "0");
}

// ---------------------------------------------------------------------------
// Running the child

int RunShell(const std::string& script, const std::function<bool()>& pump = [] { return true; }) {
  return RunStartupChild({"/bin/sh", "-c", script}, pump);
}

TEST(RunStartupChild, GivesTheChildsExitCode) {
  EXPECT_EQ(RunShell("exit 1"), 1);
  EXPECT_EQ(RunShell("exit 3"), 3);
  EXPECT_EQ(RunShell("exit 0"), 0);
}

TEST(RunStartupChild, TheWindowIsPumpedWhileWaiting) {
  int pumped = 0;
  EXPECT_EQ(RunShell("sleep 0.2; exit 4", [&pumped] { return ++pumped > 0; }), 4);
  EXPECT_GE(pumped, 1);
}

TEST(RunStartupChild, ArgumentsReachTheChildAsTheyAreWithoutAShell) {
  // $# counts the arguments after the script's own name; a shell splitting a
  // joined line would see four, or lose the empty one.
  const std::string script = "[ \"$1\" = 'b c' ] && [ -z \"$2\" ] && [ \"$3\" = '$HOME' ] && exit $#; exit 99";
  EXPECT_EQ(RunStartupChild({"/bin/sh", "-c", script, "sh", "b c", "", "$HOME"}, [] { return true; }),
            3);
}

TEST(RunStartupChild, AProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(RunStartupChild({"/nonexistent/zelplayer-child", "-startup"}, [] { return true; }), -1);
  EXPECT_EQ(RunStartupChild({}, [] { return true; }), -1);
}

TEST(RunStartupChild, AChildEndedByASignalGivesMinusOne) { EXPECT_EQ(RunShell("kill -9 $$"), -1); }

TEST(RunStartupChild, AnEndingApplicationStopsTheChild) {
  testing_support::TTempFolder folder;
  const std::string pidFile = folder.File("child.pid");
  // The shell writes its id, then becomes the sleep; the pump gives up once
  // the id is there (or after about ten seconds of 50 ms slices).
  int pumped = 0;
  pid_t child = 0;
  const auto pump = [&] {
    std::ifstream in(pidFile);
    if (in >> child) return false;
    return ++pumped < 200;
  };
  EXPECT_EQ(RunShell("echo $$ > '" + pidFile + ".tmp' && mv '" + pidFile + ".tmp' '" + pidFile + "' && exec sleep 30",
                     pump),
            -1);
  ASSERT_GT(child, 0);
  // Reaped: the id no longer names a process of ours.
  errno = 0;
  EXPECT_EQ(kill(child, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace zel
