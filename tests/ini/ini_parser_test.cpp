// The line grammar, its error reports, load and save, and the single-line form.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "ini_test_support.h"

namespace zel {
namespace {

using ini_testing::kMark;
using ini_testing::Load;
using ini_testing::Save;
using ini_testing::TErrorReport;
using Errors = std::vector<TErrorReport>;

TEST(IniGrammar, UntouchedLinesComeBackExactly) {
  TIniFile file;
  const Errors errors =
      Load(file, kMark + "; project\r\n[main]\r\nopt_repeat = 1\r\n \t \r\nobject Title: Text\r\n  Opacity=80\r\nend\r\n");
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Save(file), kMark + "; project\r\n[main]\r\nopt_repeat = 1\r\n\r\nobject Title: Text\r\n  Opacity=80\r\nend\r\n");
  EXPECT_EQ(file.FindSection(u"main")->FirstObject()->ReadInteger(u"opacity", 0), 80);
}

TEST(IniGrammar, LineEndsAndEncodingsBecomeUtf8CrLf) {
  TIniFile file;
  Load(file, "a=1\nb=2\rc=3\n\r\xE9=4");
  EXPECT_EQ(Save(file), kMark + "a=1\r\nb=2\r\nc=3\r\n\xC3\xA9=4\r\n");
}

TEST(IniGrammar, ObjectAndEndWordsInAnyCase) {
  TIniFile file;
  const Errors errors = Load(file, "[s]\nObject X: Y\nEND\nOBJECT Z: W\n  ends\nEnd\n");
  EXPECT_EQ(errors, (Errors{{2, 3, 4}}));
  EXPECT_EQ(Save(file), kMark + "[s]\r\nObject X: Y\r\nEND\r\nOBJECT Z: W\r\nEnd\r\n");
  TIniObject* x = file.FindSection(u"s")->FirstObject();
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->Name(), u"X");
  EXPECT_EQ(x->Type(), u"Y");
}

TEST(IniGrammar, KeysWithEqualsInsideTheWord) {
  TIniFile file;
  const Errors errors = Load(file, "objectX = 1\nobject=2\na=b=c\nend=4\n  sp\t= 5 \nkey with blanks = 1\n");
  EXPECT_EQ(errors, (Errors{{2, 1, 5}}));
  EXPECT_EQ(file.ReadString(u"objectx", u""), u"1");
  EXPECT_EQ(file.ReadString(u"object", u""), u"2");
  EXPECT_EQ(file.ReadString(u"a", u""), u"b=c");
  EXPECT_EQ(file.ReadString(u"end", u""), u"4");
  EXPECT_EQ(file.ReadString(u"sp", u""), u"5");
  EXPECT_EQ(file.FirstObject(), nullptr);
}

TEST(IniGrammar, SectionHeads) {
  TIniFile file;
  const Errors errors = Load(file, "[a\n[]\n[ \n  [ a b ] tail\n[x]y]\n");
  EXPECT_TRUE(errors.empty());
  std::vector<TString> names;
  file.SectionNames(names);
  EXPECT_EQ(names, (std::vector<TString>{u"a b", u"x"}));
  EXPECT_EQ(Save(file), kMark + "[a\r\n[]\r\n[ \r\n  [ a b ] tail\r\n[x]y]\r\n");
}

TEST(IniGrammar, CommentsTextLinesAndDroppedLines) {
  TIniFile file;
  const Errors errors = Load(file, "  ;\n=\n x\n= = x\nend\n");
  EXPECT_EQ(errors, (Errors{{2, 2, 2}, {0, 1, 4}}));
  EXPECT_EQ(Save(file), kMark + "  ;\r\n=\r\n= = x\r\n");
  EXPECT_EQ(file.First()->Kind(), TIniKind::Comment);
  EXPECT_EQ(static_cast<TIniComment*>(file.First())->CommentPos(), 3);
  EXPECT_EQ(file.First()->Next()->Kind(), TIniKind::Text);
}

TEST(IniGrammar, ObjectNameAndType) {
  TIniFile file;
  Load(file, "object A:B: C\nend\nobject X\nend\nobject   : T\nend\n");
  TIniObject* o = file.FirstObject();
  EXPECT_EQ(o->Name(), u"A:B");
  EXPECT_EQ(o->Type(), u"C");
  o = file.NextObject(o);
  EXPECT_EQ(o->Name(), u"");
  EXPECT_EQ(o->Type(), u"X");
  o = file.NextObject(o);
  EXPECT_EQ(o->Name(), u"");
  EXPECT_EQ(o->Type(), u"T");
}

TEST(IniGrammar, OpenObjectAtEndStaysInTree) {
  TIniFile file;
  const Errors errors = Load(file, "end\nobject O: T\n  k=1\n  object P: U\n  end\n");
  EXPECT_EQ(errors, (Errors{{0, 1, 0}, {1, 1, 4}}));
  EXPECT_EQ(Save(file), kMark + "object O: T\r\n  k=1\r\n  object P: U\r\n  end\r\n");
  EXPECT_EQ(file.FirstObject()->ReadInteger(u"k", 0), 1);
}

TEST(IniGrammar, SectionHeadInsideOpenObjectClosesNothing) {
  TIniFile file;
  const Errors errors = Load(file, "[a]\nobject O: T\n[b]\nk=1\nend\nobject P: T\nend\n");
  EXPECT_EQ(errors, (Errors{{0, 1, 4}, {1, 1, 6}}));
  TIniSection* b = file.FindSection(u"b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Owner(), &file);
  EXPECT_EQ(b->ReadInteger(u"k", 0), 1);
  ASSERT_NE(b->FirstObject(), nullptr);
  EXPECT_EQ(b->FirstObject()->Name(), u"P");
}

TEST(IniGrammar, KeywordRecognizerOpensExtraObjects) {
  TIniFile file;
  file.SetKeywordRecognizer([](TStringView word) { return word == u"button"; });
  Load(file, "BUTTON Ok: Push\n  k=1\nend\n");
  TIniObject* o = file.FirstObject();
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->Kind(), TIniKind::ExtraObject);
  EXPECT_EQ(static_cast<TIniExtraObject*>(o)->Word(), u"button");
  EXPECT_EQ(o->Name(), u"Ok");
}

TEST(IniLoad, EmptyAndMarkOnlyTexts) {
  TIniFile file;
  Load(file, "[old]\n");
  Load(file, "");
  EXPECT_TRUE(file.Loaded());
  EXPECT_EQ(file.First(), nullptr);
  Load(file, "\xFF\xFE");
  EXPECT_TRUE(file.Loaded());
  EXPECT_EQ(Save(file), kMark);
}

TEST(IniLoad, InvalidUtf8EndsTheLoad) {
  TIniFile file;
  EXPECT_THROW(Load(file, kMark + "a=1\n\x80\n"), EInvalidChar);
  EXPECT_FALSE(file.Loaded());
  const std::string name = ::testing::TempDir() + "ini_invalid.ini";
  std::ofstream(name, std::ios::binary) << kMark << "a=1\n\xC3(\n";
  EXPECT_FALSE(file.LoadFromFile(name));
  EXPECT_FALSE(file.Loaded());
  EXPECT_FALSE(file.LoadFromFile(name + ".missing"));
  std::remove(name.c_str());
}

TEST(IniLoad, Utf16Texts) {
  TIniFile file;
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : std::string("[s]\r\nk=v\r\n")) le += c, le += '\0', be += '\0', be += c;
  Load(file, le);
  EXPECT_EQ(file.ReadString(u"s", u"k", u""), u"v");
  Load(file, be);
  EXPECT_EQ(Save(file), kMark + "[s]\r\nk=v\r\n");
}

TEST(IniFileIo, SaveCutsALongerFile) {
  const std::string name = ::testing::TempDir() + "ini_save.ini";
  std::ofstream(name, std::ios::binary) << std::string(1000, 'x');
  TIniFile file;
  Load(file, "a=1\n");
  ASSERT_TRUE(file.SaveToFile(name));
  TIniFile back;
  ASSERT_TRUE(back.LoadFromFile(name));
  EXPECT_EQ(back.FileName(), name);
  EXPECT_EQ(Save(back), kMark + "a=1\r\n");
  std::remove(name.c_str());
  EXPECT_FALSE(file.SaveToFile("/nonexistent-dir/x.ini"));
}

TEST(IniSingleLine, RoundTripAndBadEscapes) {
  TIniFile file;
  Load(file, "a=1/2\n\n");
  TString text;
  ASSERT_TRUE(IniToSingleLine(file, text));
  EXPECT_EQ(text, u"a=1//2/n/n");
  TIniStorage back;
  ASSERT_TRUE(SingleLineToIni(text, back));
  EXPECT_EQ(back.ReadString(u"a", u""), u"1/2");
  EXPECT_FALSE(SingleLineToIni(u"x/q", back));
  EXPECT_FALSE(SingleLineToIni(u"x/", back));
  EXPECT_EQ(back.ReadString(u"a", u""), u"1/2");  // a failed conversion loads nothing
}

}  // namespace
}  // namespace zel
