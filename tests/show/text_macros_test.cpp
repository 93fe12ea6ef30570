// The text macros: names, derived values, one pass from left to right.
#include <gtest/gtest.h>

#include <map>

#include "show/text_macros.h"

namespace zel {
namespace {

// Values by kind; counts how often each is asked for.
struct TFakeValues {
  std::map<TMacroValue, TString> values;
  std::map<TMacroValue, int> asked;
  TMTParser Parser() {
    return TMTParser([this](TMacroValue which) {
      ++asked[which];
      const auto it = values.find(which);
      return it == values.end() ? TString() : it->second;
    });
  }
};

TEST(TextMacros, SlideIndexAndCountIgnoreCase) {
  TFakeValues fake;
  fake.values[TMacroValue::SlideIndex] = u"3";
  fake.values[TMacroValue::SlidesCount] = u"10";
  EXPECT_EQ(fake.Parser().Expand(u"Slide <%slideindex%> of <%SlidesCount%>"), u"Slide 3 of 10");
  EXPECT_EQ(fake.Parser().Expand(u"<%SLIDEINDEX%><%SlideIndex%>"), u"33");
}

TEST(TextMacros, PictureNameParts) {
  TFakeValues fake;
  fake.values[TMacroValue::PathNameExt] = u"C:\\Photos\\Trip\\img_01.jpg";
  const TMTParser parser = fake.Parser();
  EXPECT_EQ(parser.Expand(u"<%MainImg.FileName%>"), u"img_01");
  EXPECT_EQ(parser.Expand(u"<%MainImg.FileNameExt%>"), u"img_01.jpg");
  EXPECT_EQ(parser.Expand(u"<%MainImg.FolderName%>"), u"Trip");
  EXPECT_EQ(parser.Expand(u"<%MainImg.FolderPath%>"), u"C:\\Photos\\Trip\\");
  EXPECT_EQ(parser.Expand(u"<%MainImg.PathName%>"), u"C:\\Photos\\Trip\\img_01");
  EXPECT_EQ(parser.Expand(u"<%MainImg.PathNameExt%>"), u"C:\\Photos\\Trip\\img_01.jpg");
}

TEST(TextMacros, NamePartsOfUnusualPaths) {
  // A dot in a folder is no extension; a bare name has no folder.
  EXPECT_EQ(FileNameOf(u"My.Photos\\img"), u"img");
  EXPECT_EQ(PathNameOf(u"My.Photos\\img"), u"My.Photos\\img");
  EXPECT_EQ(FolderNameOf(u"img.jpg"), u"");
  EXPECT_EQ(FolderPathOf(u"img.jpg"), u"");
  EXPECT_EQ(FolderNameOf(u"Trip\\img.jpg"), u"Trip");
  EXPECT_EQ(FolderNameOf(u"\\img.jpg"), u"");
  EXPECT_EQ(FileNameOf(u"archive.tar.gz"), u"archive.tar");
}

TEST(TextMacros, ExifDateAndTimeSplitAtTheFirstSpace) {
  TFakeValues fake;
  fake.values[TMacroValue::ExifDateTime] = u"2009:07:14 18:22:05";
  const TMTParser parser = fake.Parser();
  EXPECT_EQ(parser.Expand(u"<%MainImg.Exif.Date%>"), u"2009:07:14");
  EXPECT_EQ(parser.Expand(u"<%MainImg.Exif.Time%>"), u"18:22:05");
  fake.values[TMacroValue::ExifDateTime] = u"2009:07:14";
  EXPECT_EQ(parser.Expand(u"[<%MainImg.Exif.Date%>|<%MainImg.Exif.Time%>]"), u"[2009:07:14|]");
}

TEST(TextMacros, EmptyResultIsOneSpace) {
  TFakeValues fake;
  EXPECT_EQ(fake.Parser().Expand(u"<%MainImg.Exif.Comment%>"), u" ");
  EXPECT_EQ(fake.Parser().Expand(u""), u" ");
  EXPECT_EQ(fake.Parser().Expand(u"a<%MainImg.Exif.Comment%>b"), u"ab");
}

TEST(TextMacros, InsertedTextIsNotExpandedAgain) {
  TFakeValues fake;
  fake.values[TMacroValue::ExifComment] = u"see <%SlideIndex%> and <%MainImg.Exif.Comment%>";
  fake.values[TMacroValue::SlideIndex] = u"7";
  EXPECT_EQ(fake.Parser().Expand(u"<%MainImg.Exif.Comment%>!"), u"see <%SlideIndex%> and <%MainImg.Exif.Comment%>!");
  EXPECT_EQ(fake.asked[TMacroValue::SlideIndex], 0);
}

TEST(TextMacros, EachValueIsAskedForOncePerText) {
  TFakeValues fake;
  fake.values[TMacroValue::PathNameExt] = u"a\\b.jpg";
  const TMTParser parser = fake.Parser();
  EXPECT_EQ(parser.Expand(u"<%MainImg.FileName%> <%MainImg.FolderName%> <%MainImg.FileName%>"), u"b a b");
  EXPECT_EQ(fake.asked[TMacroValue::PathNameExt], 1);
}

TEST(TextMacros, UnknownAndBrokenMacrosStayAsWritten) {
  TFakeValues fake;
  fake.values[TMacroValue::SlideIndex] = u"1";
  const TMTParser parser = fake.Parser();
  EXPECT_EQ(parser.Expand(u"<%Nothing%> <%SlideIndex"), u"<%Nothing%> <%SlideIndex");
  EXPECT_EQ(parser.Expand(u"<%<%SlideIndex%>"), u"<%1");
  EXPECT_EQ(parser.Expand(u"100%> <% %>"), u"100%> <% %>");
}

TEST(TextMacros, IptcValuesAskForTheirDatasets) {
  TFakeValues fake;
  fake.values[TMacroValue::IptcCity] = u"Lyon";
  fake.values[TMacroValue::IptcCaptionWriter] = u"Ann";
  EXPECT_EQ(fake.Parser().Expand(u"<%MainImg.IPTC.City%>/<%mainimg.iptc.captionwriter%>"), u"Lyon/Ann");
  EXPECT_EQ(IptcDatasetOf(TMacroValue::IptcDocumentTitle), 5);
  EXPECT_EQ(IptcDatasetOf(TMacroValue::IptcCaptionWriter), 122);
  EXPECT_EQ(IptcDatasetOf(TMacroValue::IptcOTR), 103);
  EXPECT_EQ(IptcDatasetOf(TMacroValue::Width), 0);
}

}  // namespace
}  // namespace zel
