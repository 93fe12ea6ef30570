#include <gtest/gtest.h>

#include "core/counted_objects.h"
#include "core/hash_list.h"
#include "core/list.h"

namespace zel {
namespace {

using testing_support::TCounted;
using testing_support::TPlain;

TEST(List, ClearForgetsAndClearAndFreeDisposes) {
  int plainGone = 0;
  int sharedGone = 0;
  auto shared = MakeRef<TCounted>(&sharedGone);
  TPlain plain(&plainGone);
  {
    TList list;
    list.Add(&plain);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(plainGone, 0);

    list.Add(new TPlain(&plainGone));
    shared->_AddRef();  // the list's own reference
    list.Add(shared.Get());
    list.Add(nullptr);
    list.ClearAndFree();
    EXPECT_EQ(list.Count(), 0);
  }
  EXPECT_EQ(plainGone, 1);
  // The shared object had another holder: only released.
  EXPECT_EQ(sharedGone, 0);
  EXPECT_EQ(shared->RefCount(), 1);
}

TEST(List, IndexingInsertingAndCounts) {
  TList list;
  TObj a, b, c;
  list.Add(&a);
  list.Add(&c);
  list.Insert(1, &b);
  EXPECT_EQ(list.IndexOf(&b), 1);
  EXPECT_EQ(list.First(), &a);
  EXPECT_EQ(list.Last(), &c);
  EXPECT_EQ(list.Remove(&a), 0);
  EXPECT_EQ(list.IndexOf(&a), -1);
  list.SetCount(5);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(list[4], nullptr);
  list.SetCount(-1);
  list.SetCount(TList::kMaxCount + 1);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_THROW(list.Insert(7, &a), std::out_of_range);
}

TEST(StringList, SortedListsSearchAndInsertInOrder) {
  TStringList list;
  list.Add(u"pear");
  list.Add(u"Apple");
  list.Add(u"banana");
  EXPECT_EQ(list.IndexOf(u"apple"), -1);
  list.SetCaseInsensitive(true);
  EXPECT_EQ(list.IndexOf(u"apple"), 1);
  list.SetSorted(true);
  EXPECT_EQ(list.Strings(0), u"Apple");
  EXPECT_EQ(list.Strings(1), u"banana");
  EXPECT_EQ(list.Strings(2), u"pear");
  EXPECT_EQ(list.Add(u"Cherry"), 2);
  EXPECT_EQ(list.IndexOf(u"CHERRY"), 2);
  EXPECT_EQ(list.IndexOf(u"grape"), -1);
}

TEST(StringList, CaseFoldingCoversLettersBeyondAscii) {
  TStringList list;
  list.SetCaseInsensitive(true);
  list.Add(u"\u00c9COLE");  // ÉCOLE
  list.Add(u"\u0394\u03b5\u03bb\u03c4\u03b1");  // Δελτα
  EXPECT_EQ(list.IndexOf(u"\u00e9cole"), 0);
  EXPECT_EQ(list.IndexOf(u"\u03b4\u0395\u039b\u03a4\u0391"), 1);
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
  TStringList list;
  TObj one, two;
  list.Add(u"b", &two);
  list.Add(u"a", &one);
  list.SetSorted(true);
  EXPECT_EQ(list.Objects(0), &one);
  EXPECT_EQ(list.IndexOfObject(&two), 1);
}

// --------------------------------------------------------------------------

TEST(ElfHash, KnownValues) {
  EXPECT_EQ(ElfHash(u""), 0u);
  EXPECT_EQ(ElfHash(u"A"), 0x41u);
  EXPECT_EQ(ElfHash(u"AB"), (0x41u << 4) + 0x42u);
  // Only the low byte of each unit counts.
  EXPECT_EQ(ElfHash(u"\u0141"), ElfHash(u"A"));
  // Long keys fold their top bits back in and never use them.
  const TString longKey(40, u'z');
  EXPECT_LT(ElfHash(longKey), 1u << 28);
  uint32_t h = 0;
  for (char16_t c : longKey) {
    h = (h << 4) + (c & 0xFF);
    if (uint32_t g = h & 0xF0000000u) h = (h ^ (g >> 24)) & ~g;
  }
  EXPECT_EQ(ElfHash(longKey), h);
}

TEST(HashList, BucketIsTheHashModuloTheCount) {
  THashList list(251);
  // (0x0F << 4) + 0x0B = 251.
  const TString key = {char16_t(0x0F), char16_t(0x0B)};
  ASSERT_EQ(ElfHash(key), 251u);
  EXPECT_EQ(list.BucketOf(key), 0);
  EXPECT_EQ(list.BucketOf(u"\u00fc"), 252 % 251);
  THashList one(0);
  EXPECT_EQ(one.BucketCount(), 1);
}

TEST(HashList, KeysAreExact) {
  THashList list(251);
  bool added = false;
  TKeyItem* abc = list.FindOrAdd(u"abc", &added);
  EXPECT_TRUE(added);
  EXPECT_EQ(list.Find(u"ABC"), nullptr);
  EXPECT_EQ(list.FindOrAdd(u"abc", &added), abc);
  EXPECT_FALSE(added);
  EXPECT_EQ(list.Count(), 1);
}

TEST(HashList, CollidingKeysShareAChainNewestFirst) {
  THashList list(1);
  TKeyItem* a = list.FindOrAdd(u"a");
  TKeyItem* b = list.FindOrAdd(u"b");
  TKeyItem* c = list.FindOrAdd(u"c");
  EXPECT_EQ(list.Find(u"a"), a);
  EXPECT_EQ(list.Find(u"b"), b);
  EXPECT_EQ(list.Find(u"c"), c);
  std::vector<TString> order;
  list.ForEach([&](TKeyItem& item) { order.push_back(item.Key()); });
  EXPECT_EQ(order, (std::vector<TString>{u"c", u"b", u"a"}));
  // Unlinking from the middle keeps both neighbours reachable.
  EXPECT_TRUE(list.Delete(u"b"));
  EXPECT_EQ(list.Find(u"a"), a);
  EXPECT_EQ(list.Find(u"c"), c);
  EXPECT_FALSE(list.Delete(u"b"));
  EXPECT_EQ(list.Count(), 2);
}

TEST(HashList, TheRememberedLookupIsForgottenWithItsEntry) {
  THashList list(251);
  list.FindOrAdd(u"key");
  EXPECT_NE(list.Find(u"key"), nullptr);  // remembered now
  EXPECT_TRUE(list.Delete(u"key"));
  EXPECT_EQ(list.Find(u"key"), nullptr);
  EXPECT_FALSE(list.Has(u"key"));
  // A miss that is remembered does not hide an entry added afterwards.
  EXPECT_EQ(list.Find(u"later"), nullptr);
  TKeyItem* later = list.FindOrAdd(u"later");
  EXPECT_EQ(list.Find(u"later"), later);
  list.Clear();
  EXPECT_EQ(list.Find(u"later"), nullptr);
  EXPECT_EQ(list.Count(), 0);
}

class TNamed : public TKeyItem {
 public:
  using TKeyItem::TKeyItem;
  int value = 0;
};

TEST(HashList, DescendantsChooseTheEntryClass) {
  THashListOf<TNamed> list(251);
  list.FindOrAdd(u"x")->value = 42;
  ASSERT_NE(list.Find(u"x"), nullptr);
  EXPECT_EQ(list.Find(u"x")->value, 42);
}

}  // namespace
}  // namespace zel
