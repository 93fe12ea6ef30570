// The EXIF and IPTC values of picture files written here byte by byte: both
// TIFF byte orders, every user comment code, IPTC in ANSI and UTF-8, and
// damaged files that must give empty values without crashing or hanging.
#include "imaging/picture_metadata.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "imaging/metadata_pictures.h"
#include "package/package_test_support.h"
#include "package/show_locator.h"

namespace zel {
namespace {

using namespace zel::testing;

constexpr std::string_view kDateTime = "2009:07:14 18:22:05";
constexpr uint16_t kDescription = 0x010E, kDate = 0x0132, kComment = 0x9286;

TTiffLayout CameraExif(bool bigEndian, TByteVector comment) {
  TTiffLayout layout;
  layout.BigEndian = bigEndian;
  layout.Ifd0 = {AsciiEntry(kDescription, "Harbour at dusk"), AsciiEntry(kDate, kDateTime)};
  layout.Exif = {UndefinedEntry(kComment, std::move(comment))};
  return layout;
}

TPictureMetadata ReadJpegWith(const std::vector<TByteVector>& segments) {
  return ReadPictureMetadata(WithSegments(SmallJpeg(), segments));
}
TPictureMetadata ReadExif(const TTiffLayout& layout) { return ReadJpegWith({ExifSegment(MakeTiff(layout))}); }
TString ReadComment(bool bigEndian, const TByteVector& comment) {
  return ReadExif(CameraExif(bigEndian, comment)).ExifComment;
}

TEST(PictureMetadataExif, ReadsDateCommentAndDescriptionInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "Motorola" : "Intel");
    const auto m = ReadExif(CameraExif(big, UserComment("ASCII", TextBytes("Sunny day   "))));
    EXPECT_EQ(m.ExifDateTime, u"2009:07:14 18:22:05");
    EXPECT_EQ(m.ExifDate(), u"2009:07:14");
    EXPECT_EQ(m.ExifTime(), u"18:22:05");
    EXPECT_EQ(m.ExifComment, u"Sunny day");
    EXPECT_EQ(m.ExifDescription, u"Harbour at dusk");
    EXPECT_TRUE(m.Iptc(5).empty());
    EXPECT_FALSE(m.Empty());
  }
}

TEST(PictureMetadataExif, UnicodeCommentsFollowTheTiffByteOrderUnlessMarked) {
  const std::u16string text = u"Grüße € 日本";
  EXPECT_EQ(ReadComment(false, UserComment("UNICODE", Utf16Bytes(text, false))), text);
  EXPECT_EQ(ReadComment(true, UserComment("UNICODE", Utf16Bytes(text, true))), text);
  // A byte order mark overrides the file's order.
  EXPECT_EQ(ReadComment(false, UserComment("UNICODE", Utf16Bytes(u"\uFEFF" + text, true))), text);
  // A NUL ends the text.
  EXPECT_EQ(ReadComment(true, UserComment("UNICODE", Utf16Bytes(std::u16string(u"ab\0cd", 5), true))), u"ab");
}

TEST(PictureMetadataExif, OtherCommentCodesAndAnsiText) {
  EXPECT_EQ(ReadComment(false, UserComment("", TextBytes(std::string("  plain words \0\0\0", 17)))), u"plain words");
  EXPECT_EQ(ReadComment(false, UserComment("JIS", {0x46, 0x7C, 0x4B, 0x5C})), u"日本");
  // No known code: the whole value is text.
  EXPECT_EQ(ReadComment(false, TextBytes("Holiday at sea")), u"Holiday at sea");
  EXPECT_EQ(ReadComment(false, TextBytes("Hi")), u"Hi");
  EXPECT_EQ(ReadComment(false, UserComment("ASCII", TextBytes(std::string(40, ' ')))), u"");
  // Bytes above 127 are in the ANSI code page (é is the same in 1252 and Latin-1).
  EXPECT_EQ(ReadComment(false, UserComment("ASCII", TextBytes("Caf\xE9"))), u"Café");
}

TEST(PictureMetadataExif, DateTimeComesOnlyFromTheFirstDirectory) {
  TTiffLayout layout;
  layout.Ifd0 = {UndefinedEntry(kComment, UserComment("ASCII", TextBytes("first")))};
  layout.Exif = {AsciiEntry(kDate, kDateTime), AsciiEntry(kDescription, "in the sub-directory"),
                 UndefinedEntry(kComment, UserComment("ASCII", TextBytes("second")))};
  layout.Ifd1 = {AsciiEntry(kDate, "2001:01:01 00:00:00")};
  const auto m = ReadExif(layout);
  EXPECT_EQ(m.ExifDateTime, u"");
  EXPECT_EQ(m.ExifDescription, u"in the sub-directory");
  EXPECT_EQ(m.ExifComment, u"first");
}

TEST(PictureMetadataExif, DateAndTimeSplitAtTheFirstSpace) {
  TPictureMetadata m;
  m.ExifDateTime = u"2009:07:14";
  EXPECT_EQ(m.ExifDate(), u"2009:07:14");
  EXPECT_EQ(m.ExifTime(), u"");
  m.ExifDateTime = u"2009:07:14 18:22:05 UTC";
  EXPECT_EQ(m.ExifDate(), u"2009:07:14");
  EXPECT_EQ(m.ExifTime(), u"18:22:05 UTC");
}

TEST(PictureMetadataExif, FoundBehindOtherSegmentsAndInPng) {
  const TByteVector tiff = MakeTiff(CameraExif(true, UserComment("ASCII", TextBytes("x"))));
  const TByteVector xmp = JpegSegment(0xE1, TextBytes(std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34)));
  TTiffLayout other;
  other.Ifd0 = {AsciiEntry(kDate, "1999:12:31 23:59:59")};
  EXPECT_EQ(ReadJpegWith({xmp, JpegSegment(0xFE, TextBytes("a comment")), ExifSegment(tiff),
                          ExifSegment(MakeTiff(other))})
                .ExifDateTime,
            u"2009:07:14 18:22:05");  // the first EXIF segment counts
  // Only the segments before the scan are looked at.
  TByteVector late = SmallJpeg();
  const TByteVector segment = ExifSegment(tiff);
  late.insert(late.end() - 2, segment.begin(), segment.end());
  EXPECT_TRUE(ReadPictureMetadata(late).Empty());

  TByteVector png = MakePngColor(PatternImage(4, 3, 1), false);
  EXPECT_EQ(ReadPictureMetadata(WithPngChunk(png, PngChunk("eXIf", tiff))).ExifDescription, u"Harbour at dusk");
  TByteVector pngLate = png;
  const TByteVector chunk = PngChunk("eXIf", tiff);
  pngLate.insert(pngLate.end() - 12, chunk.begin(), chunk.end());  // after the picture data
  EXPECT_TRUE(ReadPictureMetadata(pngLate).Empty());
}

TEST(PictureMetadataExif, LongValuesAreCut) {
  TTiffLayout layout;
  layout.Ifd0 = {AsciiEntry(kDescription, std::string(20000, 'x') + "y")};
  const auto m = ReadPictureMetadata(WithPngChunk(MakePngColor(PatternImage(2, 2, 1), false),
                                                  PngChunk("eXIf", MakeTiff(layout))));
  EXPECT_EQ(m.ExifDescription, TString(kMaxMetadataChars, u'x'));
}

// ---------------------------------------------------------------------------

TByteVector IptcSegment(const std::vector<TIptcValue>& values) {
  return PhotoshopSegment(PhotoshopResource(0x0404, MakeIptc(values)));
}

TEST(PictureMetadataIptc, ReadsEveryMacroDatasetFirstValueTrimmed) {
  std::vector<TIptcValue> values = {{1, 5, "envelope destination"}, {2, 0, std::string("\0\4", 2)}};
  for (const auto& field : kIptcFields)
    values.push_back({2, field.Dataset, "  value " + std::to_string(field.Dataset) + " \r\n"});
  values.push_back({2, 80, "Second Author"});
  values.push_back({2, 25, "a keyword"});
  const auto m = ReadJpegWith({IptcSegment(values)});
  for (size_t i = 0; i < kIptcFields.size(); ++i) {
    const TString expected = u"value " + IntToStr(kIptcFields[i].Dataset);
    EXPECT_EQ(m.IptcValues[i], expected);
    EXPECT_EQ(m.Iptc(kIptcFields[i].Dataset), expected);
  }
  EXPECT_EQ(m.Iptc(25), u"");  // not one of the macros' datasets
  EXPECT_EQ(m.ExifDateTime, u"");
}

TEST(PictureMetadataIptc, TextIsUtf8OnlyWhenTheEnvelopeSaysSo) {
  const TIptcValue utf8Marker{1, 90, "\x1B%G"};
  EXPECT_EQ(ReadJpegWith({IptcSegment({utf8Marker, {2, 90, "Z\xC3\xBCrich"}})}).Iptc(90), u"Zürich");
  EXPECT_EQ(ReadJpegWith({IptcSegment({{2, 90, "Z\xFCrich"}})}).Iptc(90), u"Zürich");
  EXPECT_EQ(ReadJpegWith({IptcSegment({{2, 90, "Z\xC3\xBCrich"}})}).Iptc(90), u"Z\u00C3\u00BCrich");
}

TEST(PictureMetadataIptc, FoundAmongOtherResourcesAndAcrossSegments) {
  const TByteVector iptc = MakeIptc({{2, 105, "Headline"}, {2, 120, std::string(300, 'c')}});
  TByteVector resources = PhotoshopResource(0x03ED, {1, 2, 3, 4, 5});
  const TByteVector block = PhotoshopResource(0x0404, iptc);
  resources.insert(resources.end(), block.begin(), block.end());
  auto m = ReadJpegWith({PhotoshopSegment(resources)});
  EXPECT_EQ(m.Iptc(105), u"Headline");
  EXPECT_EQ(m.Iptc(120), TString(300, u'c'));
  // Resources continued in a second segment, with another segment between.
  const TByteVector first(resources.begin(), resources.begin() + 40), rest(resources.begin() + 40, resources.end());
  m = ReadJpegWith({PhotoshopSegment(first), JpegSegment(0xE2, {1, 2}), PhotoshopSegment(rest)});
  EXPECT_EQ(m.Iptc(105), u"Headline");
  EXPECT_EQ(m.Iptc(120), TString(300, u'c'));
}

TEST(PictureMetadata, MacroValuesInTableOrder) {
  auto m = ReadJpegWith({ExifSegment(MakeTiff(CameraExif(false, UserComment("ASCII", TextBytes("note"))))),
                         IptcSegment({{2, 5, "Title"}, {2, 122, "Writer"}})});
  const auto values = MetadataMacroValues(m);
  ASSERT_EQ(values.size(), 4 + kIptcFields.size());
  EXPECT_EQ(values[0], (std::pair<std::string_view, TString>("Exif.Date", u"2009:07:14")));
  EXPECT_EQ(values[1], (std::pair<std::string_view, TString>("Exif.Time", u"18:22:05")));
  EXPECT_EQ(values[2], (std::pair<std::string_view, TString>("Exif.Comment", u"note")));
  EXPECT_EQ(values[3], (std::pair<std::string_view, TString>("Exif.Description", u"Harbour at dusk")));
  EXPECT_EQ(values[4], (std::pair<std::string_view, TString>("IPTC.DocumentTitle", u"Title")));
  EXPECT_EQ(values[7].first, "IPTC.AuthorTitle");
  EXPECT_EQ(values.back(), (std::pair<std::string_view, TString>("IPTC.CaptionWriter", u"Writer")));
}

// ---------------------------------------------------------------------------

TEST(PictureMetadataDamaged, BrokenDirectoriesGiveEmptyValuesAroundThem) {
  TTiffLayout pastEnd = CameraExif(false, TextBytes("comment"));
  pastEnd.Ifd0Offset = 0xFFFFFF00;
  EXPECT_TRUE(ReadExif(pastEnd).Empty());

  for (bool big : {false, true}) {
    TTiffLayout selfLoop = CameraExif(big, TextBytes("comment"));
    selfLoop.NextIfd = 8;  // IFD0 is its own successor
    EXPECT_EQ(ReadExif(selfLoop).ExifDateTime, u"2009:07:14 18:22:05");

    TTiffLayout subLoop;
    subLoop.BigEndian = big;
    subLoop.Ifd0 = {AsciiEntry(kDate, kDateTime), RawEntry(0x8769, 4, 1, 8), RawEntry(0xA005, 4, 1, 8)};
    EXPECT_EQ(ReadExif(subLoop).ExifDateTime, u"2009:07:14 18:22:05");

    TTiffLayout huge;
    huge.BigEndian = big;
    huge.Ifd0 = {RawEntry(kDescription, 2, 0x7FFFFFFF, 8), AsciiEntry(kDate, kDateTime),
                 RawEntry(kComment, 7, 0xFFFFFFFF, 16), RawEntry(0x8769, 4, 1, 0xFFFFFFF0)};
    const auto m = ReadExif(huge);
    EXPECT_EQ(m.ExifDateTime, u"2009:07:14 18:22:05");
    EXPECT_EQ(m.ExifDescription, u"");
    EXPECT_EQ(m.ExifComment, u"");

    TTiffLayout farValue;
    farValue.BigEndian = big;
    farValue.Ifd0 = {RawEntry(kDate, 2, 20, 0xFFFFFF00)};
    EXPECT_TRUE(ReadExif(farValue).Empty());
  }
}

TEST(PictureMetadataDamaged, TruncatedAndEmptySegments) {
  const TByteVector exif = ExifSegment(MakeTiff(CameraExif(false, UserComment("ASCII", TextBytes("later")))));
  const TByteVector full = WithSegments(SmallJpeg(), {exif});
  // Cut right after the date-time: what the segment holds so far still reads.
  const auto dateAt = std::search(full.begin(), full.end(), kDateTime.begin(), kDateTime.end());
  ASSERT_NE(dateAt, full.end());
  const TByteVector cut(full.begin(), dateAt + static_cast<std::ptrdiff_t>(kDateTime.size()) + 1);
  const auto m = ReadPictureMetadata(cut);
  EXPECT_EQ(m.ExifDateTime, u"2009:07:14 18:22:05");
  EXPECT_EQ(m.ExifComment, u"");
  for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{12}, size_t{20}})
    EXPECT_TRUE(ReadPictureMetadata(std::span(full).first(n)).Empty()) << n;

  // An empty APP1 is skipped; a length below 2 ends the walk.
  EXPECT_FALSE(ReadJpegWith({TByteVector{0xFF, 0xE1, 0, 2}, exif}).Empty());
  EXPECT_TRUE(ReadJpegWith({TByteVector{0xFF, 0xE1, 0, 0}, exif}).Empty());
  EXPECT_TRUE(ReadJpegWith({JpegSegment(0xE1, TextBytes("Exif"))}).Empty());
  // Fill bytes before a marker are allowed.
  EXPECT_FALSE(ReadJpegWith({TByteVector{0xFF, 0xFF, 0xFF}, exif}).Empty());
  EXPECT_TRUE(ReadPictureMetadata(TextBytes("not a picture at all")).Empty());
}

TEST(PictureMetadataDamaged, BrokenIptcKeepsWhatCameBefore) {
  TByteVector overlong = MakeIptc({{2, 5, "Title"}});
  overlong.insert(overlong.end(), {0x1C, 2, 40, 0x7F, 0xFF, 'x'});  // claims 32767 bytes
  EXPECT_EQ(ReadJpegWith({PhotoshopSegment(PhotoshopResource(0x0404, overlong))}).Iptc(5), u"Title");

  TByteVector hugeResource = PhotoshopResource(0x0404, MakeIptc({{2, 5, "Title"}}));
  for (size_t i = 8; i < 12; ++i) hugeResource[i] = 0xFF;
  EXPECT_TRUE(ReadJpegWith({PhotoshopSegment(hugeResource)}).Empty());
  TByteVector foreign = PhotoshopResource(0x0404, MakeIptc({{2, 5, "Title"}}));
  foreign[0] = 'X';
  EXPECT_TRUE(ReadJpegWith({PhotoshopSegment(foreign)}).Empty());
  EXPECT_TRUE(ReadJpegWith({PhotoshopSegment({'8', 'B', 'I', 'M', 4, 4})}).Empty());
  EXPECT_TRUE(ReadJpegWith({PhotoshopSegment(PhotoshopResource(0x0404, {0x1C, 2, 5, 0x80, 0x04, 0xFF}))}).Empty());
}

// ---------------------------------------------------------------------------

// Gives its bytes until a point, then fails as a damaged packed entry does.
class TFailingStream : public TStream {
 public:
  TFailingStream(TByteVector bytes, size_t failAt) : fBytes(std::move(bytes)), fFailAt(failAt) {}
  int64_t GetPosition() override { return static_cast<int64_t>(fPosition); }
  void SetPosition(int64_t position) override { fPosition = static_cast<size_t>(position); }
  int64_t GetSize() override { return -1; }
  void SetSize(int64_t) override {}

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override {
    if (fPosition >= fFailAt) throw EStreamReadError("damaged entry");
    const size_t n = std::min({destination.size(), fFailAt - fPosition, fBytes.size() - fPosition});
    std::copy_n(fBytes.begin() + static_cast<std::ptrdiff_t>(fPosition), n, destination.begin());
    fPosition += n;
    return static_cast<int32_t>(n);
  }
  int32_t DoWrite(std::span<const uint8_t>) override { return 0; }

 private:
  TByteVector fBytes;
  size_t fFailAt;
  size_t fPosition = 0;
};

TByteVector TaggedPhoto(int size) {
  return WithSegments(MakeJpeg(PatternImage(size, size, 9), 95),
                      {ExifSegment(MakeTiff(CameraExif(true, UserComment("ASCII", TextBytes("streamed"))))),
                       IptcSegment({{2, 101, "Norway"}})});
}

TEST(PictureMetadataStream, ReadsOnlyTheHeaderSegments) {
  const TByteVector photo = TaggedPhoto(200);
  TMemoryStream stream;
  stream.Write(photo);
  stream.SetPosition(0);
  const auto m = ReadPictureMetadata(stream);
  EXPECT_EQ(m.ExifComment, u"streamed");
  EXPECT_EQ(m.Iptc(101), u"Norway");
  EXPECT_LT(stream.GetPosition(), static_cast<int64_t>(photo.size() / 4));

  // A failure after the EXIF segment leaves the EXIF values.
  const size_t afterExif = 2 + 4 + (photo[4] << 8 | photo[5]);
  TFailingStream failing(photo, afterExif + 10);
  const auto partial = ReadPictureMetadata(failing);
  EXPECT_EQ(partial.ExifComment, u"streamed");
  EXPECT_EQ(partial.Iptc(101), u"");
}

TEST(PictureMetadataStream, ReadsAPackedPictureByName) {
  testing_support::TTempFolder folder;
  const std::string file = folder.File("meta.ZlShow");
  testing_support::MakePackage(file, {{u"Project.zel", testing_support::Bytes("[Main]\r\n"), pmDeflated},
                                      {u"Pictures\\photo.jpg", TaggedPhoto(64), pmDeflated}});
  std::string message;
  auto show = OpenExecutableShow(Utf8ToString(file), message);
  ASSERT_NE(show, nullptr) << message;
  const auto m = ReadPictureMetadata(show->Accessor(), u"Pictures\\photo.jpg");
  EXPECT_EQ(m.ExifDate(), u"2009:07:14");
  EXPECT_EQ(m.Iptc(101), u"Norway");
  EXPECT_TRUE(ReadPictureMetadata(show->Accessor(), u"Pictures\\missing.jpg").Empty());
}

}  // namespace
}  // namespace zel
