// The slide order: plain or random, shared per project path, and the
// sections a source picks through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <thread>

#include "show/show_project_support.h"
#include "show/slide_order.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::FreshProjectPath;
using show_testing::ParseProject;
using show_testing::TScopedRandomSeed;

std::vector<int32_t> Plain(int32_t count) {
  std::vector<int32_t> v(static_cast<size_t>(count));
  std::iota(v.begin(), v.end(), 0);
  return v;
}

TEST(SlideOrder, PlainWithoutRandom) {
  TShowRandom random(3);
  EXPECT_EQ(TSlideRandomList(6, false, random).Numbers(), Plain(6));
  EXPECT_EQ(TSlideRandomList(0).Count(), 0);
  EXPECT_EQ(TSlideRandomList(-4).Count(), 0);
}

TEST(SlideOrder, RandomIsAPermutation) {
  TShowRandom random(3);
  const TSlideRandomList list(50, true, random);
  std::vector<int32_t> numbers = list.Numbers();
  EXPECT_NE(numbers, Plain(50));
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, Plain(50));
}

TEST(SlideOrder, SameSeedSameOrder) {
  TShowRandom a(11), b(11), c(12);
  EXPECT_EQ(TSlideRandomList(30, true, a).Numbers(), TSlideRandomList(30, true, b).Numbers());
  EXPECT_NE(TSlideRandomList(30, true, a).Numbers(), TSlideRandomList(30, true, c).Numbers());
}

TEST(SlideOrder, PositionsPastTheListPlayTheirOwnNumber) {
  TShowRandom random(3);
  const TSlideRandomList list(5, true, random);
  EXPECT_EQ(list.SlideNumber(5), 5);
  EXPECT_EQ(list.SlideNumber(123456789012LL), 2147483647);
  EXPECT_EQ(list.SlideNumber(-1), -1);
  EXPECT_EQ(list.Count(), 5);
}

TEST(SharedSlideOrder, OnePerProjectPathWhateverTheCase) {
  const std::string path = FreshProjectPath();
  std::string upper = path;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const auto a = TSlideRandomList::ForProject(AsciiToString(path), 20, true);
  const auto b = TSlideRandomList::ForProject(AsciiToString(upper), 7, false);
  EXPECT_EQ(a.Get(), b.Get());
  EXPECT_EQ(b->Count(), 20);
  const auto other = TSlideRandomList::ForProject(AsciiToString(FreshProjectPath()), 20, true);
  EXPECT_NE(other.Get(), a.Get());
}

TEST(SharedSlideOrder, ThreadsAskingTogetherGetTheSameList) {
  const TString path = AsciiToString(FreshProjectPath());
  std::vector<TSlideRandomList*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = TSlideRandomList::ForProject(path, 40, true).Get(); });
  for (auto& t : threads) t.join();
  for (TSlideRandomList* list : seen) EXPECT_EQ(list, seen.front());
}

TEST(SharedSlideOrder, ReproducibleUnderAFixedSeed) {
  TScopedRandomSeed seed(std::string("31337"));
  const auto a = TSlideRandomList::ForProject(AsciiToString(FreshProjectPath()), 25, true);
  const auto b = TSlideRandomList::ForProject(AsciiToString(FreshProjectPath()), 25, true);
  EXPECT_NE(a.Get(), b.Get());
  EXPECT_EQ(a->Numbers(), b->Numbers());
  EXPECT_NE(a->Numbers(), Plain(25));
}

TEST(SharedSlideOrder, WithoutAPathTheOrderIsPlain) {
  const auto doc = ParseProject("[main]\nopt_slidescount=12\nopt_random=1\n");
  const auto a = TSlideRandomList::ForMainSection(*doc->FindSection(u"main"));
  const auto b = TSlideRandomList::ForMainSection(*doc->FindSection(u"main"));
  EXPECT_EQ(a->Numbers(), Plain(12));
  EXPECT_NE(a.Get(), b.Get());
}

std::string RandomShow(const std::string& path, int count) {
  std::string text = "[main]\nProjectFilePath=" + path + "\nopt_random=1\nopt_slidescount=" +
                     std::to_string(count) + "\n";
  for (int i = 1; i <= count; ++i) text += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(i * 1000) + "\n";
  for (int i = 1; i <= count; ++i) text += "[Slide" + std::to_string(i) + "]\nslideid=s" + std::to_string(i) + "\n";
  return text;
}

TEST(SourceSlideOrder, SectionsFollowTheSharedOrder) {
  const std::string path = FreshProjectPath();
  TZelSource source(nullptr, false, ParseProject(RandomShow(path, 10)).release(), true, u"zelplayer");
  const std::vector<int32_t> order = source.SlideOrder().Numbers();
  EXPECT_NE(order, Plain(10));
  for (int k = 0; k < 10; ++k) {
    const TString expected = u"s" + IntToStr(order[static_cast<size_t>(k)] + 1);
    ASSERT_NE(source.SlideSection(k), nullptr);
    EXPECT_EQ(source.SlideSection(k)->ReadString(u"slideid", u""), expected);
    EXPECT_EQ(source.SlideInfos()[static_cast<size_t>(k)].slideId, expected);
  }
  EXPECT_EQ(source.SlideSection(10), nullptr);
  EXPECT_EQ(source.SlideSection(-1), nullptr);
  // A second source of the same project plays the same order.
  TZelSource again(nullptr, false, ParseProject(RandomShow(path, 10)).release(), true, u"zelplayer");
  EXPECT_EQ(again.SlideOrder().Numbers(), order);
}

}  // namespace
}  // namespace zel
