// Which show the command line asks for, and opening it as the main window
// does: packages tried under two names, plain projects, and the message
// the user reads when nothing opens.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "package/package_test_support.h"
#include "player/show_opening.h"

namespace zel {
namespace {

using namespace testing_support;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// ---------------------------------------------------------------------------
// Extensions

TEST(ReplaceExtension, TheLastExtensionOfTheFileNameIsReplaced) {
  EXPECT_EQ(ReplaceExtension(u"a/show.exe", u".ZlShow"), u"a/show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"show.exe", u".ZlShow"), u"show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"/a/show.tar.gz", u".ZlShow"), u"/a/show.tar.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"show.", u".ZlShow"), u"show.ZlShow");
}

TEST(ReplaceExtension, WithoutAnExtensionItIsAppended) {
  EXPECT_EQ(ReplaceExtension(u"a/show", u".ZlShow"), u"a/show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"show", u".ZlShow"), u"show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"", u".ZlShow"), u".ZlShow");
}

TEST(ReplaceExtension, ADotInAFolderNameIsNoExtension) {
  EXPECT_EQ(ReplaceExtension(u"/home/me.v2/show", u".ZlShow"), u"/home/me.v2/show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"./show", u".ZlShow"), u"./show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"C:\\Shows.old\\show", u".ZlShow"), u"C:\\Shows.old\\show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"C:\\Shows.old\\show.exe", u".ZlShow"), u"C:\\Shows.old\\show.ZlShow");
  EXPECT_EQ(ReplaceExtension(u"a.b/c.d\\show", u".ZlShow"), u"a.b/c.d\\show.ZlShow");
}

// ---------------------------------------------------------------------------
// Opening

const char* const kProject = "[Main]\r\nZelVersion=9.5\r\nopt_slidescount=1\r\n[Slide1]\r\n";

class ShowOpening : public ::testing::Test {
 protected:
  // The message for a failed package open of "show.exe" in the folder.
  std::string FailedPackage() {
    std::string message = "left over";
    auto show = OpenShowFile(Utf8ToString(Exe()), false, message);
    EXPECT_EQ(show, nullptr);
    return message;
  }
  std::string Exe() const { return fFolder.File("show.exe"); }
  std::string ZlShow() const { return fFolder.File("show.ZlShow"); }
  std::string Names() const { return Quoted(Exe()) + " or " + Quoted(ZlShow()); }

  TTempFolder fFolder;
};

TEST_F(ShowOpening, AFileThatIsNoPackageGivesTheReasonAndBothNamesTried) {
  WriteFileBytes(Exe(), Bytes("MZ this is no package"));
  // The reason is the named file's, though the second name is missing.
  EXPECT_EQ(FailedPackage(), std::string("Can`t Load Show") + "\r" + Names());
}

TEST_F(ShowOpening, WithoutAReasonTheMessageSaysItCannotLoadTheShow) {
  // Both names are files, neither a package: the reader gives no reason.
  WriteFileBytes(Exe(), Bytes("MZ this is no package"));
  WriteFileBytes(ZlShow(), Bytes("nor is this"));
  EXPECT_EQ(FailedPackage(), std::string("Can`t Load Show") + "\r" + Names());
}

TEST_F(ShowOpening, MissingFilesSayWhy) {
  EXPECT_EQ(FailedPackage(), "Slideshow File not Found\r" + Names());
}

TEST_F(ShowOpening, APackageOpensUnderTheGivenName) {
  MakePackage(Exe(), {{u"Project.zel", Bytes(kProject), pmDeflated}}, Bytes("MZ executable stub"));
  std::string message = "left over";
  auto show = OpenShowFile(Utf8ToString(Exe()), false, message);
  ASSERT_NE(show, nullptr) << message;
  EXPECT_TRUE(message.empty());
  EXPECT_EQ(show->Version(), u"9.5");
  EXPECT_EQ(show->ProjectName(), u"Project.zel");
}

TEST_F(ShowOpening, APackageIsFoundUnderTheShowExtensionToo) {
  MakePackage(ZlShow(), {{u"Project.zel", Bytes(kProject), pmStored}});
  std::string message;
  auto show = OpenShowFile(Utf8ToString(Exe()), false, message);
  ASSERT_NE(show, nullptr) << message;
  EXPECT_TRUE(message.empty());
  EXPECT_EQ(show->Version(), u"9.5");
}

TEST_F(ShowOpening, AMissingProjectNamesItself) {
  const std::string name = fFolder.File("missing.zel");
  std::string message;
  EXPECT_EQ(OpenShowFile(Utf8ToString(name), true, message), nullptr);
  EXPECT_EQ(message, "Can`t Load .zel File\r" + Quoted(name));
}

TEST_F(ShowOpening, APlainProjectOpens) {
  const std::string name = fFolder.File("show.zel");
  WriteFileBytes(name, Bytes(kProject));
  std::string message = "left over";
  auto show = OpenShowFile(Utf8ToString(name), true, message);
  ASSERT_NE(show, nullptr) << message;
  EXPECT_TRUE(message.empty());
  EXPECT_EQ(show->Version(), u"9.5");
  ASSERT_NE(show->Project(), nullptr);
  EXPECT_EQ(show->Project()->ReadInteger(u"Main", u"opt_slidescount", 0), 1);
  // A project is never opened as a package, nor a package as a project.
  EXPECT_EQ(OpenShowFile(Utf8ToString(name), false, message), nullptr);
  EXPECT_FALSE(message.empty());
}

// ---------------------------------------------------------------------------
// The command line

TShowRequest RequestFor(std::vector<TString> tokens, const std::string& player = "/opt/zel/zelplayer") {
  TCommandsStorage commands;
  commands.Fill(tokens);
  return ShowRequestFrom(commands, player);
}

TEST(ShowRequest, AProjectWinsOverAShowFile) {
  TShowRequest request = RequestFor({u"-exename", u"other.ZlShow", u"-filename", u"show.zel"});
  EXPECT_TRUE(request.isProject);
  EXPECT_EQ(request.fileName, u"/opt/zel/show.zel");
  request = RequestFor({u"-FileName", u"show.zel", u"-exename", u"other.ZlShow"});
  EXPECT_TRUE(request.isProject);
  EXPECT_EQ(request.fileName, u"/opt/zel/show.zel");
}

TEST(ShowRequest, AShowFileIsMadeAbsoluteAgainstThePlayersFolder) {
  TShowRequest request = RequestFor({u"-exename", u"Holiday.exe"});
  EXPECT_FALSE(request.isProject);
  EXPECT_EQ(request.fileName, u"/opt/zel/Holiday.exe");
  EXPECT_EQ(RequestFor({u"-exename", u"../shows/Holiday.exe"}).fileName, u"/opt/shows/Holiday.exe");
  EXPECT_EQ(RequestFor({u"-exename", u"/data/Holiday.exe"}).fileName, u"/data/Holiday.exe");
  EXPECT_EQ(RequestFor({u"-filename", u"..\\show.zel"}).fileName, u"/opt/show.zel");
}

TEST(ShowRequest, WithNeitherThePlayerItselfIsTheShow) {
  const TShowRequest request = RequestFor({u"-display", u"2"}, "/opt/zel/Holiday");
  EXPECT_FALSE(request.isProject);
  EXPECT_EQ(request.fileName, u"/opt/zel/Holiday");
}

}  // namespace
}  // namespace zel
