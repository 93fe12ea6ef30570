#include <gtest/gtest.h>

#include "textout/text_params.h"

namespace zel {
namespace {

TEST(TextLineEscape, MarksRunsOfCapitalsAndDoublesBrackets) {
  EXPECT_EQ(EscapeTextLine(u"Hello World"), u"<H>ello <W>orld");
  EXPECT_EQ(EscapeTextLine(u"ABC def"), u"<ABC> def");
  EXPECT_EQ(EscapeTextLine(u"a<b>c"), u"a<<b>>c");
  // A bracket inside a run closes it first.
  EXPECT_EQ(EscapeTextLine(u"A<"), u"<A><<");
  EXPECT_EQ(EscapeTextLine(u"A>"), u"<A>>>");
  // Capitals outside ASCII go through the case tables.
  EXPECT_EQ(EscapeTextLine(u"\u00C9t\u00E9"), u"<\u00C9>t\u00E9");
  EXPECT_EQ(EscapeTextLine(u"END"), u"<END>");
}

TEST(TextLineEscape, UnescapeInvertsEscape) {
  const TString samples[] = {u"Hello World", u"A<", u"A>", u"<<A>>", u"x>y<Z", u">>>", u"<", u"ÄÖü <tag> Q",
                             u"", u"lower only"};
  for (const TString& line : samples) EXPECT_EQ(UnescapeText(EscapeTextLine(line)), line) << StringToUtf8(line);
}

TEST(TextLineEscape, EscapedFormHasNoCapitals) {
  const TString escaped = EscapeTextLine(u"Mixed CASE Text");
  // Inside the brackets stand the capitals; a case-insensitive compare of
  // two names that differ only in case still sees the bracket positions.
  EXPECT_NE(LowerCase(EscapeTextLine(u"ab")), LowerCase(EscapeTextLine(u"Ab")));
  EXPECT_EQ(escaped, u"<M>ixed <CASE> <T>ext");
}

TEST(TextNumbers, TrailingZerosAndPointRemoved) {
  EXPECT_EQ(FormatDecimal(1.0, 6), u"1");
  EXPECT_EQ(FormatDecimal(0.5, 6), u"0.5");
  EXPECT_EQ(FormatDecimal(-2.25, 6), u"-2.25");
  EXPECT_EQ(FormatDecimal(12.345678, 2), u"12.35");
  EXPECT_EQ(FormatDecimal(100, 2), u"100");
  EXPECT_EQ(FormatDecimal(-0.0000001, 6), u"0");
}

TEST(TextStyle, WordsInFixedOrder) {
  EXPECT_EQ(StyleWords(0), u"");
  EXPECT_EQ(StyleWords(fsBold | fsItalic), u"Bold,Italic");
  EXPECT_EQ(StyleWords(fsStrikeOut | fsBold), u"Bold,StrikeOut");
  EXPECT_EQ(FontKey(u"Arial", fsBold | fsItalic), u"Arial:Bold,Italic");
}

TEST(TextStyle, ParseTakesExactWordsAmongTheFirstFour) {
  EXPECT_EQ(ParseStyleWords(u"Bold, \tItalic"), fsBold | fsItalic);
  EXPECT_EQ(ParseStyleWords(u"bold"), 0);            // exact words only
  EXPECT_EQ(ParseStyleWords(u"Bold ,Italic"), fsItalic);  // trailing blank spoils a word
  EXPECT_EQ(ParseStyleWords(u"x,y,z,w,Bold"), 0);  // a fifth word is not looked at
  EXPECT_EQ(ParseStyleWords(u"StrikeOut,Underline"), fsStrikeOut | fsUnderline);
}

TEST(TextPictureName, BuildsTheDocumentedFields) {
  TTextParams p;
  p.FontName = u"Arial";
  p.Style = fsBold | fsUnderline;
  p.Alignment = 2;
  p.LineSpacing = 50;
  p.Colour = 0x80102030;
  p.Size = 0.75;
  p.ShiftX = 1.5f;
  p.ShiftY = -2;
  EXPECT_EQ(BuildTextPictureName(p, {u"Hello", u"world"}),
            u"Text: Arial:0.75:1.5:-2:Bold,Underline:2:50:48:32:16:128:\"<H>ello^&world\"");
}

TEST(TextPictureName, RoundTripsParametersAndLines) {
  TTextParams p;
  p.FontName = u"Times New Roman";
  p.Style = fsItalic | fsStrikeOut;
  p.Alignment = 0;
  p.LineSpacing = -30;
  p.Colour = 0xFF00FF7F;
  p.Size = 2.125;
  p.ShiftX = -0.25f;
  p.ShiftY = 3.5f;
  const std::vector<TString> lines = {u"First Line: with colon", u"<b>Second</b>", u"third ^ caret"};
  const TParsedTextName parsed = ParseTextPictureName(BuildTextPictureName(p, lines));
  EXPECT_EQ(parsed.Params, p);
  EXPECT_EQ(parsed.Lines, lines);
}

TEST(TextPictureName, MissingAndBadFieldsKeepDefaults) {
  const TParsedTextName parsed = ParseTextPictureName(u"Text: Arial:abc");
  const TTextParams defaults;
  EXPECT_EQ(parsed.Params.FontName, u"Arial");
  EXPECT_EQ(parsed.Params.Size, defaults.Size);
  EXPECT_EQ(parsed.Params.Colour, defaults.Colour);
  EXPECT_EQ(parsed.Params.Alignment, defaults.Alignment);
  ASSERT_EQ(parsed.Lines.size(), 1u);
  EXPECT_EQ(parsed.Lines[0], u" ");

  const TParsedTextName colours = ParseTextPictureName(u"Text: F:1:0:0::1:0:x:255:1:7:\"a\"");
  EXPECT_EQ(colours.Params.Colour, 0x0701FFFFu);  // blue byte kept its default
}

TEST(TextPictureName, LinesFieldRules) {
  EXPECT_EQ(ParseLinesField(u"\"\""), std::vector<TString>{u" "});
  EXPECT_EQ(ParseLinesField(u"\"a^&^&b\""), (std::vector<TString>{u"a", u"", u"b"}));
  EXPECT_EQ(ParseLinesField(u"\"a^b^\""), std::vector<TString>{u"a^b^"});
  EXPECT_EQ(ParseLinesField(u"\""), std::vector<TString>{u"\""});
}

TEST(TextPictureName, CachedKeyComesFromEscapedFields) {
  TTextParams p;
  p.FontName = u"Arial";
  p.Style = fsBold;
  const TString name = BuildTextPictureName(p, {u"Hi: there"});
  EXPECT_EQ(CachedVectorTextKey(name), u"VectTxt2: Arial:Bold:\"<H>i: there\"");
}

}  // namespace
}  // namespace zel
