#include <cstring>
#include <map>

#include <gtest/gtest.h>

#include "core/stream_errors.h"
#include "textout/cached_vector_text.h"
#include "textout/font_fixture.h"
#include "textout/ft_vectorizer.h"
#include "textout/text_host.h"
#include "textout/text_params.h"

namespace zel {
namespace {

// Entries held in memory, as a show package would give them.
class TMemorySource : public TFileSource {
 public:
  std::map<TString, std::vector<uint8_t>> Entries;
  std::vector<TString> Opened;
  std::unique_ptr<TStream> Open(TStringView name) override {
    Opened.emplace_back(name);
    auto it = Entries.find(TString(name));
    if (it == Entries.end()) return nullptr;
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(it->second);
    stream->SetPosition(0);
    return stream;
  }
};

std::vector<uint8_t> BytesOf(TMemoryStream& stream) {
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

TGlyphData Box(uint16_t index, float size, float w, float h) {
  TGlyphData glyph;
  glyph.Info.ID = {u"Box:", index, size};
  glyph.Info.Metrics = {0, static_cast<int32_t>(w), 1, static_cast<int32_t>(w) + 1, 10, 3, 13, 0};
  glyph.Path.AddRectangle(0, -h, w, 0);
  return glyph;
}

class CachedTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::RegisterTestFonts();
    TFontReplacer::Instance().SetCandidates({u"DejaVu Sans"});
  }
  static TFontParams Arial() {
    TFontParams font;
    font.FontName = u"Arial";
    return font;
  }
};

TEST_F(CachedTextTest, BuiltTextMatchesTheSimpleOneGlyphForGlyph) {
  TFontCache cache;
  const auto text = TCachedVectorText::Build(Arial(), {u"Hello", u""}, &cache);
  ASSERT_EQ(text->LineCount(), 2);
  ASSERT_EQ(text->GlyphCount(0), 5);
  EXPECT_EQ(text->GlyphCount(1), 0);
  // "l" twice: one glyph in the cache.
  ASSERT_NE(cache.Find(u"Arial:"), nullptr);
  EXPECT_EQ(cache.Find(u"Arial:")->Count(), 4u);
  TFtVectorizer vectorizer;
  TFtTextElement element(Arial(), u"Hello");
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(text->GlyphMetrics(0, i), element.GlyphInfo(i).Metrics) << i;
    EXPECT_EQ(text->GlyphPath(0, i), vectorizer.GlyphPath(element.GlyphInfo(i))) << i;
  }
  // A line without glyphs has the text's own ascent and descent.
  const TLineMetrics empty = text->LineMetrics(1);
  EXPECT_EQ(empty.Ascent, text->FontMetrics().Ascent);
  EXPECT_EQ(empty.Descent, text->FontMetrics().Descent);
  EXPECT_EQ(empty.AdvanceWidth, 0);
}

TEST_F(CachedTextTest, StreamReadsBackIntoTheSamePointers) {
  TFontCache cache;
  const auto built = TCachedVectorText::Build(Arial(), {u"Ab", u"c\u0531"}, &cache);
  TMemoryStream stream;
  built->WriteTo(stream);
  TCachedVectorText read(&cache);
  std::vector<TString> loaded;
  read.ReadFrom(stream, [&](const TString& key) { loaded.push_back(key); });
  ASSERT_EQ(read.Lines().size(), 2u);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(read.Lines()[i].Glyphs, built->Lines()[i].Glyphs);
  EXPECT_EQ(read.FontMetrics(), built->FontMetrics());
  EXPECT_EQ(loaded.size(), 4u);  // once per pointer
  EXPECT_EQ(loaded.back(), u"DejaVu Sans:");
}

TEST_F(CachedTextTest, GeneratorBuildsTheNamedText) {
  TTextParams params;
  params.FontName = u"Arial";
  params.Style = fsBold;
  const TString key = CachedVectorTextKey(BuildTextPictureName(params, {u"Hi: You"}));
  const std::unique_ptr<TStream> stream = GenerateCachedVectorText(key);
  ASSERT_TRUE(stream);
  TCachedVectorText read;
  read.ReadFrom(*stream);
  TFontParams bold = Arial();
  bold.Style = fsBold;
  const auto built = TCachedVectorText::Build(bold, {u"Hi: You"});
  ASSERT_EQ(read.LineCount(), 1);
  EXPECT_EQ(read.Lines()[0].Glyphs, built->Lines()[0].Glyphs);
  EXPECT_EQ(read.Lines()[0].Glyphs[0].FontKey, u"Arial:Bold");
  EXPECT_EQ(GenerateCachedVectorText(u"Text: Arial"), nullptr);
}

TEST(GlyphCacheFormat, RoundTripsAndDerivesAdvance) {
  TGlyphCache cache(u"Box:");
  cache.Add(Box(3, 72, 8, 10));
  cache.Add(Box(9, 72, 4, 6));
  TMemoryStream stream;
  cache.WriteTo(stream);
  stream.SetPosition(0);
  TGlyphCache read(u"other");
  read.ReadFrom(stream);
  EXPECT_EQ(read.FontKey(), u"Box:");
  ASSERT_EQ(read.Count(), 2u);
  const TGlyphData* glyph = read.Find(9);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(glyph->Path, Box(9, 72, 4, 6).Path);
  EXPECT_EQ(glyph->Info.Metrics.Advance, 4 + 1);
  EXPECT_EQ(glyph->Info.Metrics.Height, 13);
}

TEST(GlyphCacheFormat, DamagedStreamsRaiseWithoutHugeAllocations) {
  TGlyphCache cache(u"Box:");
  cache.Add(Box(3, 72, 8, 10));
  TMemoryStream stream;
  cache.WriteTo(stream);
  const std::vector<uint8_t> bytes = BytesOf(stream);
  for (size_t cut : {size_t{3}, size_t{10}, bytes.size() - 1}) {
    TMemoryStream shortStream;
    shortStream.Write(std::span<const uint8_t>(bytes.data(), cut));
    shortStream.SetPosition(0);
    TGlyphCache read(u"x");
    EXPECT_THROW(read.ReadFrom(shortStream), EStreamReadError) << cut;
  }
  TMemoryStream huge;
  huge.WriteUInt32(0x7FFFFFFF);
  huge.WriteUInt32(0);
  huge.SetPosition(0);
  TGlyphCache read(u"x");
  EXPECT_THROW(read.ReadFrom(huge), EStreamReadError);
}

TEST(CachedTextGlyphs, PointerSizeScalesTheStoredOutline) {
  TFontCache fonts;
  fonts.FindOrAdd(u"Box:")->Add(Box(1, 72, 8, 10));
  TMemoryStream stream;
  // One line with one pointer at size 36.
  for (uint32_t v : {1u, 10u, 3u, 0u, 0u, 0u, 0u, 1u, 5u}) stream.WriteUInt32(v);
  const float size = 36;
  uint32_t bits;
  std::memcpy(&bits, &size, 4);
  stream.WriteUInt32(bits);
  stream.WriteUInt16(1);
  stream.WriteUInt32(4);
  stream.WriteString(u"Box:");
  TCachedVectorText text(&fonts);
  text.ReadFrom(stream);
  const TPath path = text.GlyphPath(0, 0);
  ASSERT_EQ(path.Points.size(), 4u);
  EXPECT_EQ(path.Points[2].X, 4.0f);
  EXPECT_EQ(path.Points[0].Y, -5.0f);
  EXPECT_EQ(text.GlyphMetrics(0, 0).X, 5);
  EXPECT_EQ(text.GlyphMetrics(0, 0).B, 4);
}

TEST(CachedTextGlyphs, MissingGlyphDataDrawsNothingAndIsNotMeasured) {
  TFontCache fonts;
  fonts.FindOrAdd(u"Box:")->Add(Box(1, 72, 8, 10));
  TMemoryStream stream;
  for (uint32_t v : {1u, 10u, 3u, 0u, 0u, 0u, 0u, 2u}) stream.WriteUInt32(v);
  const float size = 72;
  uint32_t bits;
  std::memcpy(&bits, &size, 4);
  for (uint16_t index : {1, 2}) {
    stream.WriteUInt32(index == 1 ? 0 : 9);
    stream.WriteUInt32(bits);
    stream.WriteUInt16(index);
    stream.WriteUInt32(4);
    stream.WriteString(u"Box:");
  }
  TCachedVectorText text(&fonts);
  text.ReadFrom(stream);
  EXPECT_TRUE(text.GlyphPath(0, 1).Empty());
  const TLineMetrics line = text.LineMetrics(0);
  EXPECT_EQ(line.AdvanceWidth, 9);  // only the first glyph's advance
}

TEST(CachedTextGlyphs, ZeroLinesHaveNoGlyphs) {
  TMemoryStream stream;
  for (uint32_t v : {0u, 10u, 3u, 0u, 0u, 0u, 0u}) stream.WriteUInt32(v);
  TCachedVectorText text;
  text.ReadFrom(stream);
  EXPECT_EQ(text.LineCount(), 0);
  EXPECT_EQ(text.GlyphCount(0), 0);
}

TEST(FontCacheOwner, ChangedOwnerEmptiesTheCache) {
  TFontCache fonts;
  fonts.SetOwnerKey(u"{A}");
  fonts.FindOrAdd(u"Box:");
  fonts.SetOwnerKey(u"{A}");
  EXPECT_EQ(fonts.Count(), 1u);
  fonts.SetOwnerKey(u"{B}");
  EXPECT_EQ(fonts.Count(), 0u);
  // Keys compare exactly.
  fonts.FindOrAdd(u"Box:");
  EXPECT_EQ(fonts.Find(u"box:"), nullptr);
}

TEST_F(CachedTextTest, HostRendersStoredOutlinesForAMissingFont) {
  // The package carries the text and the glyph cache of a font this
  // machine does not have.
  auto source = MakeRef<TMemorySource>();
  TTextParams params;
  params.FontName = u"Missing Font 77";
  params.Size = 1;
  const TString name = BuildTextPictureName(params, {u"A"});
  const TString key = CachedVectorTextKey(name);
  {
    TMemoryStream text;
    for (uint32_t v : {1u, 10u, 3u, 0u, 0u, 0u, 0u, 1u, 0u}) text.WriteUInt32(v);
    const float size = 72;
    uint32_t bits;
    std::memcpy(&bits, &size, 4);
    text.WriteUInt32(bits);
    text.WriteUInt16(1);
    text.WriteUInt32(4);
    text.WriteString(u"Box:");
    source->Entries[key] = BytesOf(text);
    TGlyphCache glyphs(u"Box:");
    glyphs.Add(Box(1, 72, 8, 10));
    TMemoryStream cache;
    glyphs.WriteTo(cache);
    source->Entries[u"VectTextCache: Box:"] = BytesOf(cache);
  }
  TFileAccessor accessor(source);
  TFontCache fonts;
  TTextPictureHost host(accessor, &fonts);
  const auto image = host.Produce(name);
  // Box 8 wide plus its right bearing 1: a 9-pixel line, 13 high.
  EXPECT_EQ(image->Width(), 9 + 2);
  EXPECT_EQ(image->Height(), 13 + 2);
  EXPECT_EQ(AlphaOf(image->Store().GetMipLevel(0)->PixelColor(4, 8)), 255u);
  EXPECT_NE(fonts.Find(u"Box:"), nullptr);
}

TEST_F(CachedTextTest, HostBuildsTextsThePackageLacks) {
  auto source = MakeRef<TMemorySource>();
  TFileAccessor accessor(source);
  TFontCache fonts;
  TTextPictureHost host(accessor, &fonts);
  TTextParams params;
  params.FontName = u"Arial";
  params.Size = 0.25;
  const auto image = host.Produce(BuildTextPictureName(params, {u"Hi"}));
  ASSERT_TRUE(image);
  EXPECT_NE(fonts.Find(u"Arial:"), nullptr);  // the generated glyphs went to the host's cache
  int opaque = 0;
  const TBitmap* bitmap = image->Store().GetMipLevel(0);
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) opaque += AlphaOf(bitmap->PixelColor(x, y)) == 255;
  EXPECT_GT(opaque, 5);
}

TEST_F(CachedTextTest, HostTakesTheOwnerKeyFromExeGuid) {
  auto source = MakeRef<TMemorySource>();
  TMemoryStream guid;
  guid.WriteUInt32(3);
  guid.WriteString(u"{X}");
  source->Entries[u"ExeGUID"] = BytesOf(guid);
  TFileAccessor accessor(source);
  TFontCache fonts;
  fonts.FindOrAdd(u"Old:");
  TTextPictureHost host(accessor, &fonts);
  EXPECT_EQ(fonts.OwnerKey(), u"{X}");
  EXPECT_EQ(fonts.Count(), 0u);
}

}  // namespace
}  // namespace zel
