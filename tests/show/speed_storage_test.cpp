// Speed storages: their texts and how they follow key points coming and going.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "show/speed_storage.h"

namespace zel {
namespace {

TString U(const char* text) { return AsciiToString(text); }

TEST(SpeedTextNumbers, SixteenDecimalsWithoutTrailingZeros) {
  EXPECT_EQ(SpeedTextNumber(0), u"0");
  EXPECT_EQ(SpeedTextNumber(1), u"1");
  EXPECT_EQ(SpeedTextNumber(0.5L), u"0.5");
  EXPECT_EQ(SpeedTextNumber(0.25L), u"0.25");
  EXPECT_EQ(SpeedTextNumber(-0.125L), u"-0.125");
  EXPECT_EQ(SpeedTextNumber(12.0L), u"12");
  EXPECT_EQ(SpeedTextNumber(0.1L), u"0.1");
  EXPECT_EQ(SpeedTextNumber(1e-17L), u"0");
  EXPECT_EQ(SpeedTextNumber(-1e-17L), u"0");
  EXPECT_EQ(SpeedTextNumber(0.0000000000000001L), u"0.0000000000000001");
}

TEST(SpeedTextWriting, DefaultStorageIsOneLinearInterval) {
  const TSpeedStorage storage({0, 1000, 2500});
  EXPECT_EQ(storage.Text(), u"3;0;1000;2500;1;0;2;0;1;0;1;");
  EXPECT_EQ(TSpeedStorage().Text(), u"0;0;0;1;");
}

TEST(SpeedTextWriting, IntervalsAndDefaults) {
  TSpeedStorage storage({0, 1000});
  storage.ClearIntervals();
  storage.SetDefaults(0.125L, 0.75L);
  TInterval& interval = storage.AddInterval(0, 1);
  EXPECT_EQ(interval.a, 0.125L);
  EXPECT_EQ(interval.b, 0.75L);
  interval.a = 0.5L;
  EXPECT_EQ(storage.Text(), u"2;0;1000;1;0;1;0.5;0.75;0.125;0.75;");
}

TEST(SpeedTextReading, ReadsTimesIntervalsAndDefaults) {
  TSpeedStorage storage;
  ASSERT_TRUE(storage.ReadText(u"3;0;500;1000;2;0;1;0.5;0.5;1;2;0.25;1;0.1;0.9;"));
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{0, 500, 1000}));
  ASSERT_EQ(storage.Intervals().size(), 2u);
  EXPECT_EQ(storage.Intervals()[0], (TInterval{0, 1, 0.5L, 0.5L}));
  EXPECT_EQ(storage.Intervals()[1], (TInterval{1, 2, 0.25L, 1}));
  EXPECT_EQ(storage.DefaultA(), static_cast<long double>(0.1));
  EXPECT_EQ(storage.DefaultB(), static_cast<long double>(0.9));
}

TEST(SpeedTextReading, DefaultsAreOptionalAndKeptWhenMissing) {
  TSpeedStorage storage;
  storage.SetDefaults(0.2L, 0.8L);
  ASSERT_TRUE(storage.ReadText(u"2;-100;100;1;0;1;0;1;"));
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{-100, 100}));
  EXPECT_EQ(storage.DefaultA(), 0.2L);
  EXPECT_EQ(storage.DefaultB(), 0.8L);
  EXPECT_TRUE(storage.ReadText(u"0;0;"));
  EXPECT_TRUE(storage.Times().empty());
  EXPECT_TRUE(storage.Intervals().empty());
}

TEST(SpeedTextReading, SingleKeyPointIntervalsDroppedUnlessOneTime) {
  TSpeedStorage storage;
  ASSERT_TRUE(storage.ReadText(u"2;0;1000;3;0;0;0.5;0.5;0;1;0.5;0.5;1;1;0.5;0.5;"));
  ASSERT_EQ(storage.Intervals().size(), 1u);
  EXPECT_EQ(storage.Intervals()[0].first, 0);
  EXPECT_EQ(storage.Intervals()[0].last, 1);

  ASSERT_TRUE(storage.ReadText(u"1;0;1;0;0;0.5;0.5;"));
  ASSERT_EQ(storage.Intervals().size(), 1u);
  EXPECT_EQ(storage.Intervals()[0].first, 0);
}

TEST(SpeedTextReading, MalformedTextsLeaveOneTimeAndNoIntervals) {
  const char* malformed[] = {
      "x;",                          // not a number
      "",                            // nothing at all
      "2;0;1000",                    // last field without ";"
      "2;0;1000;1;0;1;0.5;0.5",      // interval without its last ";"
      "2;0;1000;1;0;1;0,5;0.5;",     // decimal comma
      "2;0;1000;1;0;1;zero;0.5;",    // non-numeric ease value
      "2;0;1000;2;0;1;0.5;0.5;",     // fewer intervals than counted
      "3;0;1000;",                   // fewer times than counted
      "-1;",                         // negative count
      "10001;",                      // count above 10,000
      "0;10001;",                    // interval count above 10,000
      "1;1.5;0;",                    // fractional time
      "1;0;1;0;99999999999;0;1;",    // index beyond 32 bits
      "1;0;0;0.5;",                  // defaults given only in part
      "1;0;0;0.5;q;",                // second default not a number
      ";;;;",                        // empty fields
      "2;0;1000;1;0;1;1e999;0.5;",   // out of range
  };
  for (const char* text : malformed) {
    TSpeedStorage storage({0, 400, 800});
    EXPECT_FALSE(storage.ReadText(U(text))) << text;
    EXPECT_EQ(storage.Times(), std::vector<int64_t>{0}) << text;
    EXPECT_TRUE(storage.Intervals().empty()) << text;
  }
}

TEST(SpeedTextReading, LimitsOfTheCountsAreAccepted) {
  std::string text = "10000;";
  for (int i = 0; i < 10000; ++i) text += std::to_string(i) + ";";
  text += "0;";
  TSpeedStorage storage;
  ASSERT_TRUE(storage.ReadText(U(text.c_str())));
  EXPECT_EQ(storage.Times().size(), 10000u);
  EXPECT_EQ(storage.Times().back(), 9999);
}

TEST(SpeedTextReading, RoundTripOfRandomStorages) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int64_t> time(-100000, 10000000);
  std::uniform_int_distribution<int> count(0, 30);
  std::uniform_real_distribution<double> fraction(0, 1);
  for (int round = 0; round < 200; ++round) {
    std::vector<int64_t> times(static_cast<size_t>(count(random)));
    for (int64_t& t : times) t = time(random);
    TSpeedStorage storage(times);
    storage.ClearIntervals();
    storage.SetDefaults(fraction(random), fraction(random));
    const int intervals = count(random);
    for (int i = 0; i < intervals; ++i) {
      // Distinct first and last, so the reader keeps every interval.
      TInterval& interval = storage.AddInterval(i, i + 1 + count(random));
      interval.a = fraction(random);
      interval.b = fraction(random);
    }
    const TString text = storage.Text();
    TSpeedStorage copy;
    ASSERT_TRUE(copy.ReadText(text)) << StringToUtf8(text);
    EXPECT_EQ(copy.Text(), text);
    EXPECT_EQ(copy.Times(), storage.Times());
    ASSERT_EQ(copy.Intervals().size(), storage.Intervals().size());
    for (size_t i = 0; i < copy.Intervals().size(); ++i) {
      EXPECT_EQ(copy.Intervals()[i].first, storage.Intervals()[i].first);
      EXPECT_EQ(copy.Intervals()[i].last, storage.Intervals()[i].last);
      EXPECT_NEAR(static_cast<double>(copy.Intervals()[i].a), static_cast<double>(storage.Intervals()[i].a), 1e-15);
      EXPECT_NEAR(static_cast<double>(copy.Intervals()[i].b), static_cast<double>(storage.Intervals()[i].b), 1e-15);
    }
  }
}

TEST(SpeedTextReading, RandomGarbageNeverCrashes) {
  std::mt19937 random(99);
  const char alphabet[] = "0123456789;;;;.-+ eEx";
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> length(0, 60);
  for (int round = 0; round < 3000; ++round) {
    TString text;
    const int n = length(random);
    for (int i = 0; i < n; ++i) text += static_cast<char16_t>(alphabet[pick(random)]);
    TSpeedStorage storage;
    if (storage.ReadText(text)) {
      // Whatever was accepted is written back in the same form.
      TSpeedStorage copy;
      EXPECT_TRUE(copy.ReadText(storage.Text())) << StringToUtf8(text);
      EXPECT_EQ(copy.Text(), storage.Text());
    } else {
      EXPECT_EQ(storage.Times(), std::vector<int64_t>{0});
      EXPECT_TRUE(storage.Intervals().empty());
    }
  }
}

TEST(SpeedStorageFollowsKeyPoints, InsertAtFrontShiftsEveryIndex) {
  TSpeedStorage storage({100, 200, 300});
  storage.KeyPointInserted(0, 3, 50);
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{50, 100, 200, 300}));
  ASSERT_EQ(storage.Intervals().size(), 1u);
  EXPECT_EQ(storage.Intervals()[0].first, 1);
  EXPECT_EQ(storage.Intervals()[0].last, 3);
}

TEST(SpeedStorageFollowsKeyPoints, InsertAtEndExtendsTheLastInterval) {
  TSpeedStorage storage({100, 200, 300});
  storage.KeyPointInserted(3, 3, 400);
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{100, 200, 300, 400}));
  EXPECT_EQ(storage.Intervals()[0].first, 0);
  EXPECT_EQ(storage.Intervals()[0].last, 3);

  // An interval that stopped before the end is left as it was.
  TSpeedStorage partial({100, 200, 300});
  partial.ClearIntervals();
  partial.AddInterval(0, 1);
  partial.KeyPointInserted(3, 3, 400);
  EXPECT_EQ(partial.Intervals()[0].last, 1);
}

TEST(SpeedStorageFollowsKeyPoints, InsertInsideGrowsTheIntervalAround) {
  TSpeedStorage storage({0, 100, 200, 300});
  storage.ClearIntervals();
  storage.AddInterval(0, 1);
  storage.AddInterval(1, 3);
  storage.KeyPointInserted(2, 4, 150);
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{0, 100, 150, 200, 300}));
  EXPECT_EQ(storage.Intervals()[0], (TInterval{0, 1, 0, 1}));
  EXPECT_EQ(storage.Intervals()[1], (TInterval{1, 4, 0, 1}));
}

TEST(SpeedStorageFollowsKeyPoints, RemovalShrinksDropsAndMerges) {
  TSpeedStorage storage({0, 100, 200, 300, 400});
  storage.ClearIntervals();
  storage.AddInterval(0, 1);
  storage.AddInterval(1, 2);
  storage.AddInterval(2, 4);
  storage.KeyPointRemoved(3);
  EXPECT_EQ(storage.Times(), (std::vector<int64_t>{0, 100, 200, 400}));
  ASSERT_EQ(storage.Intervals().size(), 3u);
  EXPECT_EQ(storage.Intervals()[2].first, 2);
  EXPECT_EQ(storage.Intervals()[2].last, 3);

  // Removing key point 1 leaves [0,0] (dropped), [1,1] (dropped), [1,2].
  storage.KeyPointRemoved(1);
  ASSERT_EQ(storage.Intervals().size(), 1u);
  EXPECT_EQ(storage.Intervals()[0].first, 1);
  EXPECT_EQ(storage.Intervals()[0].last, 2);

  // Two intervals that shrink onto the same key points become one.
  TSpeedStorage twins({0, 100, 200});
  twins.ClearIntervals();
  twins.AddInterval(0, 2).a = 0.3L;
  twins.AddInterval(0, 1).a = 0.6L;
  twins.KeyPointRemoved(2);
  ASSERT_EQ(twins.Intervals().size(), 1u);
  EXPECT_EQ(twins.Intervals()[0].a, 0.3L);
}

}  // namespace
}  // namespace zel
