#include <gtest/gtest.h>

#include <memory>

#include "app/command_line.h"

namespace zel {
namespace {

std::unique_ptr<TCommandsStorage> StoreOf(TStringView line) {
  auto store = std::make_unique<TCommandsStorage>();
  store->Fill(TokenizeCommandLine(line));
  return store;
}

TEST(CommandTokens, SplitAtBlanksAndControlsOutsideQuotes) {
  const auto tokens = TokenizeCommandLine(u"  -display\t2 \"my show.exe\"\x01x  a\"b\"c \"open");
  const std::vector<TString> expected{u"-display", u"2", u"my show.exe", u"x", u"abc", u"open"};
  EXPECT_EQ(tokens, expected);
  EXPECT_TRUE(TokenizeCommandLine(u" \t ").empty());
}

TEST(CommandTokens, QuotesAreStrippedAtTheEndsAndDroppedInside) {
  EXPECT_EQ(CleanCommandToken(u"\"quoted\""), u"quoted");
  EXPECT_EQ(CleanCommandToken(u"\"open"), u"open");
  EXPECT_EQ(CleanCommandToken(u"in\"si\"de"), u"inside");
  EXPECT_EQ(CleanCommandToken(u"\""), u"");
}

TEST(CommandTable, SwitchesCollectTheValuesThatFollowThem) {
  auto store = StoreOf(u"show.zel -Display 2 -FILELOG -exename a.exe b.exe");
  EXPECT_EQ(store->Value(u""), u"show.zel");
  EXPECT_TRUE(store->HasCommand(u"display"));
  EXPECT_EQ(store->Value(u"display"), u"2");
  EXPECT_EQ(store->IntValue(u"display", 1), 2);
  EXPECT_TRUE(store->HasCommand(u"filelog"));
  EXPECT_FALSE(store->Value(u"filelog").has_value());
  EXPECT_EQ(store->Value(u"exename", 1), u"b.exe");
  EXPECT_FALSE(store->HasCommand(u"log"));
  EXPECT_EQ(store->ValueOr(u"log", u"none"), u"none");
}

TEST(CommandTable, NumbersFallBackToTheDefault) {
  auto store = StoreOf(u"-display two -slide -time 12x");
  EXPECT_EQ(store->IntValue(u"display", 1), 1);
  EXPECT_EQ(store->IntValue(u"slide", 7), 7);
  EXPECT_EQ(store->IntValue(u"time", 0), 0);
}

TEST(CommandTable, RefillingForgetsTheOldLine) {
  TCommandsStorage store;
  const std::vector<TString> first{u"-log"};
  store.Fill(first);
  const std::vector<TString> second{u"-cover"};
  store.Fill(second);
  EXPECT_FALSE(store.HasCommand(u"log"));
  EXPECT_TRUE(store.HasCommand(u"cover"));
}

TEST(StartPosition, SlideWinsAndZeroIsIgnored) {
  auto both = StoreOf(u"-time 5000 -slide 3");
  auto start = StartPositionFrom(*both);
  EXPECT_EQ(start.slide, 3);
  EXPECT_FALSE(start.timeMs.has_value());

  auto time = StoreOf(u"-time 5000");
  start = StartPositionFrom(*time);
  EXPECT_FALSE(start.slide.has_value());
  EXPECT_EQ(start.timeMs, 4999.0);

  auto zeros = StoreOf(u"-slide 0 -time 0");
  start = StartPositionFrom(*zeros);
  EXPECT_FALSE(start.slide.has_value());
  EXPECT_FALSE(start.timeMs.has_value());

  auto zeroSlide = StoreOf(u"-slide 0 -time 2");
  EXPECT_EQ(StartPositionFrom(*zeroSlide).timeMs, 1.0);
}

TEST(RawTokens, StartupAndScreenSaverAreExactTokens) {
  auto child = StoreOf(u"-display 2 -startup -ownerwnd 12345");
  EXPECT_TRUE(IsStartupChild(*child));
  EXPECT_EQ(OwnerWindowFrom(*child), 12345);
  EXPECT_FALSE(IsScreenSaverRequest(*child));

  auto upper = StoreOf(u"-STARTUP /S");
  EXPECT_FALSE(IsStartupChild(*upper));
  EXPECT_TRUE(upper->HasCommand(u"startup"));  // the table is case-free, the raw test is not
  EXPECT_TRUE(IsScreenSaverRequest(*upper));
  EXPECT_TRUE(IsScreenSaverRequest(*StoreOf(u"/s")));
  EXPECT_FALSE(OwnerWindowFrom(*upper).has_value());

  auto alone = StoreOf(u"-ownerwnd");
  EXPECT_FALSE(OwnerWindowFrom(*alone).has_value());
}

TEST(AbsoluteName, RelativeNamesHangOffThePlayerFolder) {
  const TString folder = u"/opt/zel/player";
  EXPECT_EQ(AbsoluteName(u"show.zel", folder), u"/opt/zel/player/show.zel");
  EXPECT_EQ(AbsoluteName(u"..\\shows\\a.exe", folder), u"/opt/zel/shows\\a.exe");
  EXPECT_EQ(AbsoluteName(u"../../a.exe", folder + u"/"), u"/opt/a.exe");
  EXPECT_EQ(AbsoluteName(u"../../../../a.exe", folder), u"/a.exe");
  EXPECT_EQ(AbsoluteName(u"sub/../a.exe", folder), u"/opt/zel/player/sub/../a.exe");
}

TEST(AbsoluteName, AbsoluteNamesStayAsTheyAre) {
  EXPECT_EQ(AbsoluteName(u"/home/me/show.exe", u"/opt"), u"/home/me/show.exe");
  EXPECT_EQ(AbsoluteName(u"C:\\Shows\\a.exe", u"/opt"), u"C:\\Shows\\a.exe");
  EXPECT_EQ(AbsoluteName(u"\\\\server\\share\\a.exe", u"/opt"), u"\\\\server\\share\\a.exe");
}

TEST(Arguments, EachArgumentIsOneToken) {
  const char* argv[] = {"zelplayer", "-filename", "My Show/project.zel", "\"-log\""};
  TCommandsStorage store;
  store.FillFromArguments(4, argv);
  EXPECT_EQ(store.RawTokens().size(), 3u);
  EXPECT_EQ(store.Value(u"filename"), u"My Show/project.zel");
  EXPECT_TRUE(store.HasCommand(u"log"));
}

}  // namespace
}  // namespace zel
