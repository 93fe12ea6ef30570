// The document tree: indexes, tree operations and typed reads.
#include <gtest/gtest.h>

#include "ini_test_support.h"

namespace zel {
namespace {

using ini_testing::kMark;
using ini_testing::Load;
using ini_testing::Save;

TEST(IniFolding, FoldAndHash) {
  EXPECT_EQ(IniFold(u"AbZ_\u00C9\u0130x\u0416"), u"abz_\u00E9ix\u0436");
  EXPECT_EQ(IniHash(u""), 0u);
  EXPECT_EQ(IniHash(u"a"), 0x61u);
  EXPECT_EQ(IniHash(u"ab"), 0x61u * 16 + 0x62u);
  // Only the low byte of each unit counts; the top nibble is folded back.
  EXPECT_EQ(IniHash(u"\u0161"), 0x61u);
  uint32_t h = 0;
  for (char c : std::string("abcdefghij")) {
    h = (h << 4) + static_cast<uint8_t>(c);
    if (h & 0xF0000000u) h = (h ^ ((h & 0xF0000000u) >> 24)) & 0x0FFFFFFFu;
  }
  EXPECT_EQ(IniHash(u"abcdefghij"), h);
}

TEST(IniKeys, LastEqualKeyWinsAndCaseIsFolded) {
  TIniFile file;
  Load(file, "[s]\nKey=1\nKEY = 2\nother=3\n");
  TIniSection* s = file.FindSection(u"S");
  ASSERT_NE(s, nullptr);
  TIniIdent* key = s->FindKey(u"key");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Value(), u"2");
  EXPECT_EQ(key->Key(), u"KEY");
  EXPECT_EQ(s->FindKey(u"missing"), nullptr);
  // Removing the winner makes the earlier one visible again.
  delete key;
  EXPECT_EQ(s->ReadString(u"key", u""), u"1");
}

TEST(IniKeys, KeysOfObjectsStayInTheObject) {
  TIniFile file;
  Load(file, "[s]\na=1\nobject O: T\n  b=2\nend\n");
  TIniSection* s = file.FindSection(u"s");
  EXPECT_EQ(s->FindKey(u"b"), nullptr);
  TIniObject* o = s->FirstObject();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->ReadInteger(u"b", 0), 2);
  EXPECT_EQ(o->FindKey(u"a"), nullptr);
}

TEST(IniValues, TrailingBlanksDroppedRestKept) {
  TIniFile file;
  Load(file, "[s]\nv=a b  \t\nc=x ; note\nq=\"a\\b\"\ne=\ne2 =   \n");
  const TIniSection* s = file.FindSection(u"s");
  EXPECT_EQ(s->ReadString(u"v", u"-"), u"a b");
  EXPECT_EQ(s->ReadString(u"c", u"-"), u"x ; note");
  EXPECT_EQ(s->ReadString(u"q", u"-"), u"\"a\\b\"");
  EXPECT_EQ(s->ReadString(u"e", u"-"), u"");
  EXPECT_EQ(s->ReadString(u"e2", u"-"), u"");
  EXPECT_EQ(s->ReadString(u"none", u"-"), u"-");
}

TEST(IniTypedReads, Integer) {
  int32_t v = 0;
  EXPECT_TRUE(IniTextToInt(u"$1F", v) && v == 31);
  EXPECT_TRUE(IniTextToInt(u"0x1f", v) && v == 31);
  EXPECT_TRUE(IniTextToInt(u"X10", v) && v == 16);
  EXPECT_TRUE(IniTextToInt(u" 12", v) && v == 12);
  EXPECT_TRUE(IniTextToInt(u"-2147483648", v) && v == INT32_MIN);
  EXPECT_TRUE(IniTextToInt(u"+2147483647", v) && v == INT32_MAX);
  EXPECT_TRUE(IniTextToInt(u"$FFFFFFFF", v) && v == -1);
  for (const char16_t* bad : {u"12 ", u"2147483648", u"-2147483649", u"$100000000", u"", u" ", u"$", u"0x",
                              u"1.5", u"\t1", u"+-1", u"1a", u"99999999999999999999"})
    EXPECT_FALSE(IniTextToInt(bad, v)) << StringToUtf8(bad);
}

TEST(IniTypedReads, FloatAndBoolean) {
  double d = 0;
  EXPECT_TRUE(IniTextToFloat(u"1.5e2", d) && d == 150);
  EXPECT_TRUE(IniTextToFloat(u"-0.25", d) && d == -0.25);
  EXPECT_TRUE(IniTextToFloat(u"3", d) && d == 3);
  EXPECT_TRUE(IniTextToFloat(u".5", d) && d == 0.5);
  for (const char16_t* bad : {u"1,5", u"", u"e5", u"1e", u"1.5 ", u"abc", u"1e999", u"nan", u"."})
    EXPECT_FALSE(IniTextToFloat(bad, d)) << StringToUtf8(bad);
  bool b = false;
  EXPECT_TRUE(IniTextToBool(u"1", b) && b);
  EXPECT_TRUE(IniTextToBool(u"0", b) && !b);
  EXPECT_TRUE(IniTextToBool(u"-3", b) && b);
  EXPECT_TRUE(IniTextToBool(TString(u"0\x01", 2), b) && !b);
  for (const char16_t* bad : {u"true", u"false", u" 1", u"+1", u"1 x", u"", u"-", u"2147483648"})
    EXPECT_FALSE(IniTextToBool(bad, b)) << StringToUtf8(bad);
}

TEST(IniTypedReads, ThroughTheDocument) {
  TIniFile file;
  Load(file,
       "[s]\ni=$1F\nsp=12 ,1\nb=true\nf=1,5\nc=300,-5,128\nc2=1,2\nca=1,2,3,400\n"
       "r4=0,0,1,1\nr6=0,0,1,1,0.5,0.25\nr5=1,2,3,4,5\nli=1,x,3\nls= a,  b ,,\nlf=1.5,2e1\np=3,-4\nfp=0.5,1\n"
       "vec=1,2,3\nmode=Fast\n");
  EXPECT_EQ(file.ReadInteger(u"s", u"i", 0), 31);
  EXPECT_EQ(file.ReadInteger(u"s", u"sp", 7), 7);
  int32_t pair[2];
  EXPECT_EQ(file.FindSection(u"s")->ReadIntegers(u"sp", pair), ~0);  // "12 " with its trailing blank
  EXPECT_EQ(file.ReadInteger(u"nosection", u"i", 9), 9);
  EXPECT_TRUE(file.ReadBool(u"s", u"b", true));
  EXPECT_FALSE(file.ReadBool(u"s", u"b", false));
  EXPECT_EQ(file.ReadFloat(u"s", u"f", -1), -1);
  const TIniSection* s = file.FindSection(u"s");
  EXPECT_EQ(s->ReadColor(u"c", 7), (255u << 16) | 128u);
  EXPECT_EQ(s->ReadColor(u"c2", 7), 7u);
  EXPECT_EQ(s->ReadColorAlpha(u"ca", 0), (255u << 24) | (1u << 16) | (2u << 8) | 3u);
  EXPECT_EQ(s->ReadColorAlpha(u"c", 5), 5u);
  TIniFloatPoint point;
  EXPECT_EQ(s->ReadRect(u"r4", {}, point), (TIniRect{0, 0, 1, 1}));
  EXPECT_EQ(point, (TIniFloatPoint{-1, -1}));
  s->ReadRect(u"r6", {}, point);
  EXPECT_EQ(point, (TIniFloatPoint{0.5f, 0.25f}));
  EXPECT_EQ(s->ReadRect(u"r5", {9, 9, 9, 9}, point), (TIniRect{9, 9, 9, 9}));
  EXPECT_EQ(point, (TIniFloatPoint{0, 0}));
  int32_t ints[8];
  EXPECT_EQ(s->ReadIntegers(u"li", ints), -2);
  EXPECT_EQ(ints[0], 1);
  EXPECT_EQ(s->ReadIntegers(u"li", std::span<int32_t>(ints, 1)), 3);  // the bad item lies beyond capacity
  TString items[2];
  EXPECT_EQ(s->ReadStrings(u"ls", items), 4);
  EXPECT_EQ(items[0], u"a");
  EXPECT_EQ(items[1], u"b ");
  double floats[4];
  EXPECT_EQ(s->ReadFloats(u"lf", floats), 2);
  EXPECT_EQ(floats[1], 20);
  EXPECT_EQ(s->ReadPoint(u"p", {}), (TIniPoint{3, -4}));
  EXPECT_EQ(s->ReadPoint(u"vec", {1, 1}), (TIniPoint{1, 1}));
  EXPECT_EQ(s->ReadFloatPoint(u"fp", {}), (TIniFloatPoint{0.5f, 1}));
  EXPECT_EQ(s->ReadVector(u"vec", {}), (TIniVector{1, 2, 3}));
  const std::vector<TString> modes = {u"slow", u"fast"};
  EXPECT_EQ(s->ReadIndex(u"mode", modes, -1), -1);
  EXPECT_EQ(s->ReadIndexFolded(u"mode", modes, -1), 1);
}

TEST(IniTypedReads, EmptyValueIsOneEmptyItem) {
  TIniFile file;
  Load(file, "[s]\nl=\n");
  TString items[2] = {u"x", u"x"};
  EXPECT_EQ(file.FindSection(u"s")->ReadStrings(u"l", items), 1);
  EXPECT_EQ(items[0], u"");
  int32_t ints[2];
  EXPECT_EQ(file.FindSection(u"s")->ReadIntegers(u"l", ints), ~0);
}

TEST(IniTree, CreateKeyInIndentedObjectBeforeEnd) {
  TIniFile file;
  Load(file, "[s]\n  object O: T\n    a=1\n\n    ; c\n  end\n");
  TIniObject* o = file.FindSection(u"s")->FirstObject();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Indentation(), 2);
  o->FindOrCreateKey(u"New")->SetValue(u"5");
  EXPECT_EQ(Save(file), kMark + "[s]\r\n  object O: T\r\n    a=1\r\n    New=5\r\n\r\n    ; c\r\n  end\r\n");
  EXPECT_EQ(o->ReadInteger(u"new", 0), 5);
}

TEST(IniTree, CreateKeyWithoutKeyLinesGoesFirst) {
  TIniFile file;
  Load(file, "; top\n[s]\n; only a comment\n");
  file.FindOrCreateKey(u"g")->SetValue(u"1");
  file.WriteString(u"s", u"k", u"v");
  file.WriteInteger(u"new", u"n", -12);
  EXPECT_EQ(Save(file), kMark + "g=1\r\n; top\r\n[s]\r\nk=v\r\n; only a comment\r\n\r\n[new]\r\nn=-12\r\n");
  EXPECT_EQ(file.ReadInteger(u"NEW", u"N", 0), -12);
}

TEST(IniTree, SetValueReplacesFromValueStart) {
  TIniFile file;
  Load(file, "k =  old value  \n");
  file.FindKey(u"k")->SetValue(u"new");
  EXPECT_EQ(Save(file), kMark + "k =  new\r\n");
}

TEST(IniTree, ObjectsNameTypeAndWalk) {
  TIniFile file;
  Load(file, "[s]\nobject A:B: C \nend\nx=1\nobject  Q\nend\nobject N:\nend\n");
  TIniSection* s = file.FindSection(u"s");
  TIniObject* a = s->FirstObject();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Name(), u"A:B");
  EXPECT_EQ(a->Type(), u"C");
  TIniObject* q = s->NextObject(a);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->Name(), u"");
  EXPECT_EQ(q->Type(), u"Q");
  TIniObject* n = s->NextObject(q);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(s->NextObject(n), nullptr);
  n->SetType(u"Pic");
  a->SetType(u"Text");
  a->Rename(u"Title");
  EXPECT_EQ(a->Type(), u"Text");
  q->Rename(u"Named");
  EXPECT_EQ(q->Name(), u"Named");
  EXPECT_EQ(q->Type(), u"Q");
  EXPECT_EQ(Save(file),
            kMark + "[s]\r\nobject Title: Text\r\nend\r\nx=1\r\nobject  Named:Q\r\nend\r\nobject N:Pic\r\nend\r\n");
}

TEST(IniSections, RenameMovesTheIndexEntry) {
  TIniFile file;
  Load(file, "[One]\na=1\n[Two]\n");
  TIniSection* one = file.FindSection(u"one");
  one->Rename(u"Three");
  EXPECT_EQ(file.FindSection(u"one"), nullptr);
  EXPECT_EQ(file.FindSection(u"THREE"), one);
  EXPECT_EQ(one->ReadInteger(u"a", 0), 1);
  EXPECT_EQ(Save(file), kMark + "[Three]\r\na=1\r\n[Two]\r\n");
  std::vector<TString> names;
  file.SectionNames(names);
  EXPECT_EQ(names, (std::vector<TString>{u"Three", u"Two"}));
}

TEST(IniSections, RepeatedNamesShareOneKeyIndex) {
  TIniFile file;
  Load(file, "[A]\nk=1\nx=first\n[b]\n[a]\nk=2\n");
  TIniSection* last = file.FindSection(u"a");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->PrevSameName()->NextSameName(), last);
  EXPECT_EQ(last->ReadInteger(u"k", 0), 2);
  EXPECT_EQ(last->ReadString(u"x", u""), u"first");
  // Removing the later one leaves the first one with its own keys.
  delete last;
  TIniSection* first = file.FindSection(u"a");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->ReadInteger(u"k", 0), 1);
  // Removing the first one moves the index to the next of the name.
  Load(file, "[A]\nk=1\n[a]\nj=2\n");
  delete file.FindSection(u"a")->PrevSameName();
  EXPECT_EQ(file.FindSection(u"a")->ReadInteger(u"j", 0), 2);
  EXPECT_EQ(file.FindSection(u"a")->ReadInteger(u"k", 0), 0);
}

TEST(IniTree, CloneAndAssign) {
  TIniFile file;
  Load(file, "[s]\n; c\nk=v\nobject O: T\n  inner=1\nend\n[t]\nobject P: T\n  p=1\nend\n");
  TIniSection* s = file.FindSection(u"s");
  TIniObject* p = file.FindSection(u"t")->FirstObject();
  s->FirstObject()->CloneInto(p);  // inserted before P's closing line
  TIniFile copy;
  copy.Assign(file);
  EXPECT_EQ(Save(copy), Save(file));
  EXPECT_EQ(Save(file), kMark +
                            "[s]\r\n; c\r\nk=v\r\nobject O: T\r\n  inner=1\r\nend\r\n[t]\r\nobject P: T\r\n  p=1\r\n"
                            "object O: T\r\n  inner=1\r\nend\r\nend\r\n");
  EXPECT_EQ(copy.FindSection(u"s")->ReadString(u"k", u""), u"v");
  EXPECT_EQ(copy.FindSection(u"t")->FirstObject()->FirstObject()->ReadInteger(u"inner", 0), 1);
}

TEST(IniTree, MisuseStopsWithAssertions) {
  auto previous = SetAssertionHook([](const std::string&) {});
  TIniFile file;
  TIniTextLine line(u"x");
  TIniEmptyLine child;
  EXPECT_THROW(line.LinkChild(&child), EAssertionFailed);
  try {
    file.CloneInto(nullptr);
    ADD_FAILURE();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Method not applicable"), std::string::npos);
  }
  SetAssertionHook(previous);
}

TEST(IniTree, SetOwnerMovesKeyBetweenIndexes) {
  TIniFile file;
  Load(file, "[a]\nk=1\n[b]\n");
  TIniIdent* k = file.FindSection(u"a")->FindKey(u"k");
  k->SetOwner(file.FindSection(u"b"));
  EXPECT_EQ(file.FindSection(u"a")->FindKey(u"k"), nullptr);
  EXPECT_EQ(file.FindSection(u"b")->FindKey(u"K"), k);
}

}  // namespace
}  // namespace zel
