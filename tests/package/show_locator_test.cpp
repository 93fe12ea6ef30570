#include <gtest/gtest.h>

#include "package/package_test_support.h"
#include "package/show_locator.h"

namespace zel {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

TEST(FileMapLines, SplitAtTheFirstEqualsOutsideQuotes) {
  TString name, target;
  ASSERT_TRUE(ParseFileMapLine(u"a.jpg=b.jpg", name, target));
  EXPECT_EQ(name, u"a.jpg");
  EXPECT_EQ(target, u"b.jpg");
  ASSERT_TRUE(ParseFileMapLine(u";  \"x=y.png\" = \"C:\\dir\\z.png\" ", name, target));
  EXPECT_EQ(name, u"x=y.png");
  EXPECT_EQ(target, u"C:\\dir\\z.png");
  EXPECT_FALSE(ParseFileMapLine(u"onlyname=", name, target));
  EXPECT_FALSE(ParseFileMapLine(u"=onlytarget", name, target));
  EXPECT_FALSE(ParseFileMapLine(u"no equals here", name, target));
  EXPECT_FALSE(ParseFileMapLine(u"\"unclosed = quote", name, target));
}

TEST(RotationLines, TakeOnlyTheFourCodesInTheExactForm) {
  TString name;
  int code = 0;
  ASSERT_TRUE(ParseRotationLine(u";\"Pictures\\IMG_1.jpg\"=6", name, code));
  EXPECT_EQ(name, u"Pictures\\IMG_1.jpg");
  EXPECT_EQ(code, 6);
  for (const char16_t* line : {u";\"a.jpg\"=2", u";\"a.jpg\"=9", u";\"a.jpg\" =3", u"\"a.jpg\"=3", u";\"a.jpg\"=3x",
                               u";\"a.jpg\"=", u";a.jpg=3"}) {
    EXPECT_FALSE(ParseRotationLine(line, name, code)) << StringToUtf8(line);
  }
  for (int ok : {1, 3, 8}) {
    EXPECT_TRUE(ParseRotationLine(u";\"a.jpg\"=" + IntToStr(ok), name, code));
    EXPECT_EQ(code, ok);
  }
}

std::string ProjectText(const std::string& extra = "") {
  return "[Main]\r\nZelVersion=9.5\r\n" + extra +
         "[FileMap]\r\nold.txt=first.txt\r\nold.txt=second.txt\r\nloop1.txt=loop2.txt\r\nloop2.txt=loop1.txt\r\n"
         "[RotationState]\r\n;\"photo.jpg\"=8\r\n;\"other.jpg\"=2\r\n";
}

TEST(ShowLocator, APackageShowOpensItsProjectAndMaps) {
  TTempFolder folder;
  const auto file = folder.File("Holiday.ZlShow");
  MakePackage(file, {{u"Project.zel", Bytes(ProjectText()), pmDeflated},
                     {u"first.txt", Bytes("first"), pmStored},
                     {u"second.txt", Bytes("second"), pmScrambled},
                     {u"loop1.txt", Bytes("never reached"), pmStored}});
  std::string message;
  auto show = OpenExecutableShow(Utf8ToString(file), message);
  ASSERT_NE(show, nullptr) << message;
  EXPECT_EQ(show->Version(), u"9.5");
  EXPECT_EQ(show->ProjectName(), u"Project.zel");
  EXPECT_EQ(show->Accessor().BaseFolder(), Utf8ToString(folder.path.string() + "/"));
  auto stream = show->Accessor().OpenStream(u"OLD.txt");  // the first target wins
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadAllBytes(*stream), Bytes("first"));
  EXPECT_EQ(show->Accessor().OpenStream(u"loop1.txt"), nullptr);  // a loop gives no stream
  EXPECT_EQ(show->Accessor().Source().OrientationFor(u"PHOTO.jpg"), 8);
  EXPECT_EQ(show->Accessor().Source().OrientationFor(u"other.jpg"), 0);
}

TEST(ShowLocator, FailuresSayWhy) {
  TTempFolder folder;
  std::string message;
  EXPECT_EQ(OpenExecutableShow(Utf8ToString(folder.File("none.ZlShow")), message), nullptr);
  EXPECT_EQ(message, "Slideshow File not Found");

  const auto noProject = folder.File("noproject.ZlShow");
  MakePackage(noProject, {{u"other.txt", Bytes("x"), pmStored}});
  EXPECT_EQ(OpenExecutableShow(Utf8ToString(noProject), message), nullptr);
  EXPECT_EQ(message, "Executable SlideShow Open Error");

  const auto text = folder.File("text.txt");
  WriteFileBytes(text, Bytes("hello"));
  EXPECT_EQ(OpenExecutableShow(Utf8ToString(text), message), nullptr);
  EXPECT_EQ(message, "");
}

TEST(ShowLocator, APlainProjectFindsItsFilesBesideIt) {
  TTempFolder folder;
  fs::create_directories(folder.path / "Pictures");
  WriteFileBytes(folder.File("Show.zel"), Bytes(ProjectText()));
  WriteFileBytes(folder.File("first.txt"), Bytes("disk first"));
  WriteFileBytes(folder.File("Pictures/sun.txt"), Bytes("sun"));
  auto show = OpenProjectFile(Utf8ToString(folder.File("Show.zel")));
  ASSERT_NE(show, nullptr);
  EXPECT_EQ(show->Version(), u"9.5");
  EXPECT_EQ(ReadAllBytes(*show->Accessor().OpenStream(u"old.txt")), Bytes("disk first"));
  EXPECT_EQ(ReadAllBytes(*show->Accessor().OpenStream(u"pictures\\SUN.txt")), Bytes("sun"));
  // A name from the authoring machine whose folders do not exist here.
  EXPECT_EQ(ReadAllBytes(*show->Accessor().OpenStream(u"C:\\Users\\me\\Shows\\first.txt")), Bytes("disk first"));
  EXPECT_EQ(OpenProjectFile(Utf8ToString(folder.File("missing.zel"))), nullptr);
}

TEST(ShowLocator, AProjectsExecutableNameOpensTheProjectAgain) {
  TTempFolder folder;
  const std::string exe = folder.File("Out/Holiday.exe");
  WriteFileBytes(folder.File("Show.zel"), Bytes(ProjectText("opt_exefn=" + exe + "\r\n")));
  auto show = OpenProjectFile(Utf8ToString(folder.File("Show.zel")));
  ASSERT_NE(show, nullptr);
  EXPECT_EQ(show->Accessor().BaseFolder(), Utf8ToString(folder.File("Out/")));
  std::string message;
  auto again = OpenExecutableShow(UpperCase(Utf8ToString(exe)), message);
  ASSERT_NE(again, nullptr) << message;
  EXPECT_EQ(again->ProjectName(), Utf8ToString(folder.File("Show.zel")));
  EXPECT_EQ(ChooseShowFile(Utf8ToString(exe)), Utf8ToString(exe));
}

TEST(ShowLocator, AnAppBundleHasItsShowInside) {
  TTempFolder folder;
  fs::create_directories(folder.path / "Holiday.app" / "Contents" / "Resources");
  WriteFileBytes(folder.File("Holiday.app/Contents/Resources/slideshow.dat"), Bytes("x"));
  EXPECT_EQ(ChooseShowFile(Utf8ToString(folder.File("Holiday.app"))),
            Utf8ToString(folder.File("Holiday.app/Contents/Resources/slideshow.dat")));
  EXPECT_EQ(ChooseShowFile(Utf8ToString(folder.File("Other.app"))), Utf8ToString(folder.File("Other.app")));
  EXPECT_EQ(ChooseShowFile(u"show.exe"), u"show.exe");
}

}  // namespace
}  // namespace zel
