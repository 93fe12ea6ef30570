#include "show/action_info.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TZelActionInfo Parsed(const char* text) { return ParseAction(Utf8ToString(text)); }

TEST(ActionInfo, PlainNamesMatchTheWholeTextWithoutRegardToCase) {
  EXPECT_EQ(Parsed("exit"), (TZelActionInfo{TActionKind::Exit, 0, {}}));
  EXPECT_EQ(Parsed("NextSlide").kind, TActionKind::NextSlide);
  EXPECT_EQ(Parsed("PREVSLIDE").kind, TActionKind::PrevSlide);
  EXPECT_EQ(Parsed("Help").kind, TActionKind::Help);
  EXPECT_EQ(Parsed("pause").kind, TActionKind::Pause);
  EXPECT_EQ(Parsed("print").kind, TActionKind::Print);
  EXPECT_EQ(Parsed("stop").kind, TActionKind::Stop);
  EXPECT_EQ(Parsed("closedialog").kind, TActionKind::CloseDialog);
  EXPECT_EQ(Parsed("saveslide").kind, TActionKind::SaveSlide);
  EXPECT_EQ(Parsed("changeprinter").kind, TActionKind::ChangePrinter);
  EXPECT_EQ(Parsed("GoToFirstSlide"), (TZelActionInfo{TActionKind::GoToSlide, 0, {}}));
  // Only the whole text counts.
  EXPECT_TRUE(Parsed("exit ").Empty());
  EXPECT_TRUE(Parsed("nextslides").Empty());
  EXPECT_TRUE(Parsed("").Empty());
  EXPECT_TRUE(Parsed("gotoslide").Empty());
}

TEST(ActionInfo, ArgumentsAreCutFromTheTextAsWritten) {
  EXPECT_EQ(Parsed("runapp(\"Notes.TXT\")"), (TZelActionInfo{TActionKind::RunApp, 0, u"Notes.TXT"}));
  EXPECT_EQ(Parsed("RunAppAndExit(\"a b\")"), (TZelActionInfo{TActionKind::RunAppAndExit, 0, u"a b"}));
  EXPECT_EQ(Parsed("runpresentation(\"x.exe -slide 2\")").kind, TActionKind::RunPresentation);
  EXPECT_EQ(Parsed("runpresentationandreturn(\"x.exe\")"),
            (TZelActionInfo{TActionKind::RunPresentationAndReturn, 0, u"x.exe"}));
  EXPECT_EQ(Parsed("openwebsite(\"Example.org\")"), (TZelActionInfo{TActionKind::OpenWebSite, 0, u"Example.org"}));
  EXPECT_EQ(Parsed("writeemail(\"a@b.c\")").text, u"a@b.c");
  EXPECT_EQ(Parsed("opendialog(\"about\")"), (TZelActionInfo{TActionKind::OpenDialog, 0, u"about"}));
  // The skipped characters are not checked: any one after "(" and two at the end.
  EXPECT_EQ(Parsed("runapp(xabcyz").text, u"abc");
}

TEST(ActionInfo, TextsTooShortForTheirArgumentGiveAnEmptyOne) {
  EXPECT_EQ(Parsed("runapp("), (TZelActionInfo{TActionKind::RunApp, 0, {}}));
  EXPECT_EQ(Parsed("runapp(\"").text, u"");
  EXPECT_EQ(Parsed("runapp(\")").text, u"");
  EXPECT_EQ(Parsed("runapp(\"\")").text, u"");
  EXPECT_EQ(Parsed("gotoslide(").kind, TActionKind::GoToSlide);
  EXPECT_EQ(Parsed("gotoslide(").number, -1);
}

TEST(ActionInfo, GoToSlideTakesANumberOrAnIdentifier) {
  EXPECT_EQ(Parsed("gotoslide(3)"), (TZelActionInfo{TActionKind::GoToSlide, 3, u"3"}));
  EXPECT_EQ(Parsed("GOTOSLIDE(-2)").number, -2);
  // The show format's integers: "x" (like "$") starts a hexadecimal number.
  EXPECT_EQ(Parsed("gotoslide(x10)"), (TZelActionInfo{TActionKind::GoToSlide, 16, u"x10"}));
  EXPECT_EQ(Parsed("gotoslide(y10)"), (TZelActionInfo{TActionKind::GoToSlide, -1, u"y10"}));
  EXPECT_EQ(Parsed("gotoslide(Intro)"), (TZelActionInfo{TActionKind::GoToSlide, -1, u"Intro"}));
  // Beyond 32 bits it is no number: an identifier.
  EXPECT_EQ(Parsed("gotoslide(99999999999)").number, -1);
}

TEST(ActionInfo, RecordsTurnBackIntoTextsThatParseTheSame) {
  const TZelActionInfo records[] = {
      {TActionKind::Exit, 0, {}},          {TActionKind::NextSlide, 0, {}},
      {TActionKind::GoToSlide, 4, u"4"},   {TActionKind::GoToSlide, -1, u"Intro"},
      {TActionKind::RunApp, 0, u"a b"},    {TActionKind::OpenDialog, 0, u"about"},
      {TActionKind::CloseDialog, 0, {}},
  };
  for (const auto& record : records) EXPECT_EQ(ParseAction(ActionText(record)), record);
  EXPECT_TRUE(ActionText({TActionKind::Seek, 100, {}}).empty());
}

TEST(ActionInfo, WebAndMailAddressesGainTheirScheme) {
  EXPECT_EQ(WebAddress(u"example.org"), u"http://example.org");
  EXPECT_EQ(WebAddress(u"HTTPS://example.org"), u"HTTPS://example.org");
  EXPECT_EQ(WebAddress(u"http://x"), u"http://x");
  EXPECT_EQ(WebAddress(u"ftp://x"), u"http://ftp://x");
  EXPECT_EQ(MailAddress(u"a@b.c"), u"mailto:a@b.c");
  EXPECT_EQ(MailAddress(u"mailto:a@b.c"), u"mailto:a@b.c");
}

}  // namespace
}  // namespace zel
