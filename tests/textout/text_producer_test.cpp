#include <gtest/gtest.h>

#include "textout/font_fixture.h"
#include "package/picture_cache.h"
#include "textout/simple_vector_text.h"
#include "textout/text_picture.h"
#include "textout/text_placeholder.h"
#include "textout/text_producer.h"

namespace zel {
namespace {

// A vector text whose glyphs are filled boxes with chosen metrics, so that
// every pixel of the layout can be predicted.
class TBoxText : public TVectorText {
 public:
  struct TBox {
    int A, B, C;
    int Top = -8;  // ink from Top to the baseline
  };
  TBoxText(std::vector<std::vector<TBox>> lines, int ascent = 10, int descent = 4) : fLines(std::move(lines)) {
    fLineCount = static_cast<int>(fLines.size());
    fFontMetrics.Ascent = ascent;
    fFontMetrics.Descent = descent;
    fFontMetrics.UnderlinePosition = -1;
    fFontMetrics.UnderlineSize = 2;
    fFontMetrics.StrikeoutPosition = 4;
    fFontMetrics.StrikeoutSize = 1;
  }
  TLineMetrics LineMetrics(int line) const override {
    TLineMetricsBuilder builder(fFontMetrics.Ascent, fFontMetrics.Descent);
    for (int g = 0; g < GlyphCount(line); ++g) builder.Add(GlyphMetrics(line, g));
    return builder.Result();
  }
  int GlyphCount(int line) const override { return static_cast<int>(fLines[static_cast<size_t>(line)].size()); }
  TPath GlyphPath(int line, int glyph) const override {
    const TBox& b = fLines[static_cast<size_t>(line)][static_cast<size_t>(glyph)];
    TPath path;
    if (b.B > 0) path.AddRectangle(static_cast<float>(b.A), static_cast<float>(b.Top), static_cast<float>(b.A + b.B), 0);
    return path;
  }
  TGlyphMetrics GlyphMetrics(int line, int glyph) const override {
    TGlyphMetrics m;
    int x = 0;
    for (int g = 0; g <= glyph; ++g) {
      const TBox& b = fLines[static_cast<size_t>(line)][static_cast<size_t>(g)];
      m = {b.A, b.B, b.C, b.A + b.B + b.C, fFontMetrics.Ascent, fFontMetrics.Descent,
           fFontMetrics.Ascent + fFontMetrics.Descent, x};
      x += m.Advance;
    }
    return m;
  }

 private:
  std::vector<std::vector<TBox>> fLines;
};

uint32_t Alpha(const TImage& image, int x, int y) {
  return AlphaOf(image.Store().GetMipLevel(0)->PixelColor(x, y));
}

std::unique_ptr<TImage> Produce(TTextProducer& producer, std::unique_ptr<TVectorText> text, float scale = 1,
                                bool underline = false, bool strikeOut = false, TColor bg = 0x00FFFFFF) {
  producer.SetVectorText(std::move(text));
  return producer.Produce(0xFFFFFFFF, bg, u"t", 0, 0, strikeOut, underline, scale);
}

TEST(TextLayout, OneLineIsTwoPixelsLargerThanItsExtents) {
  TTextProducer producer;
  producer.Alignment = 0;
  auto image = Produce(producer, std::make_unique<TBoxText>(std::vector<std::vector<TBoxText::TBox>>{
                                     {{1, 4, 1}, {0, 3, 2}}}));
  // Advance 11, line height 14.
  EXPECT_EQ(image->Width(), 11 + 2);
  EXPECT_EQ(image->Height(), 14 + 2);
  // The first box starts 1 pixel inside plus its bearing; the baseline is at
  // 1 + ascent.
  EXPECT_EQ(Alpha(*image, 1, 8), 0u);
  EXPECT_EQ(Alpha(*image, 2, 8), 255u);
  EXPECT_EQ(Alpha(*image, 5, 10), 255u);
  EXPECT_EQ(Alpha(*image, 2, 11), 0u);
  EXPECT_EQ(Alpha(*image, 2, 2), 0u);  // above the ink (from y = 3)
  EXPECT_EQ(Alpha(*image, 2, 3), 255u);
  EXPECT_EQ(Alpha(*image, 7, 5), 255u);  // second box at pen 6, x 7..9
  EXPECT_EQ(Alpha(*image, 10, 5), 0u);
  ASSERT_EQ(producer.LineRects().size(), 1u);
  EXPECT_EQ(producer.LineRects()[0], (TRect{1, 1, 12, 15}));
}

TEST(TextLayout, LeftOverhangWidensThePicture) {
  TTextProducer producer;
  auto image = Produce(producer, std::make_unique<TBoxText>(std::vector<std::vector<TBoxText::TBox>>{
                                     {{-3, 6, 1}}}));
  // Left bearing -3: the ink is moved right by the overhang.
  EXPECT_EQ(image->Width(), 3 + 4 + 0 + 2);
  EXPECT_EQ(Alpha(*image, 0, 8), 0u);
  EXPECT_EQ(Alpha(*image, 1, 8), 255u);
  EXPECT_EQ(Alpha(*image, 6, 8), 255u);
  EXPECT_EQ(Alpha(*image, 7, 8), 0u);
}

TEST(TextLayout, LineSpacingAddsAFractionOfTheLineHeight) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  for (float spacing : {0.0f, 100.0f}) {
    TTextProducer producer;
    producer.LineSpacing = spacing;
    auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{{0, 4, 0}}, {{0, 4, 0}}}));
    const int gap = spacing == 100 ? 7 : 0;
    EXPECT_EQ(image->Height(), 28 + gap + 2) << spacing;
    ASSERT_EQ(producer.LineRects().size(), 2u);
    EXPECT_EQ(producer.LineRects()[1].Top - producer.LineRects()[0].Top, 14 + gap) << spacing;
  }
}

TEST(TextLayout, AlignmentLinesUpEdges) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  const Lines lines = {{{0, 10, 0}}, {{0, 4, 0}}};
  TTextProducer left, centre, right;
  left.Alignment = 0;
  centre.Alignment = 1;
  right.Alignment = 2;
  Produce(left, std::make_unique<TBoxText>(lines));
  Produce(centre, std::make_unique<TBoxText>(lines));
  Produce(right, std::make_unique<TBoxText>(lines));
  EXPECT_EQ(left.LineRects()[0].Left, left.LineRects()[1].Left);
  EXPECT_EQ(right.LineRects()[0].Right, right.LineRects()[1].Right);
  EXPECT_EQ(centre.LineRects()[1].Left - centre.LineRects()[0].Left, 3);
  EXPECT_EQ(centre.LineRects()[0].Right - centre.LineRects()[1].Right, 3);
}

TEST(TextLayout, EmptyLineKeepsItsHeight) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  TTextProducer producer;
  auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{}, {{0, 4, 0}}}));
  EXPECT_EQ(image->Height(), 28 + 2);
  EXPECT_EQ(producer.LineRects()[1].Top, 15);
}

TEST(TextLayout, BlankLineIsTransparent) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  TTextProducer producer;
  auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{{0, 0, 5}}}));
  for (int y = 0; y < image->Height(); ++y)
    for (int x = 0; x < image->Width(); ++x) EXPECT_EQ(Alpha(*image, x, y), 0u);
}

TEST(TextLayout, UnderlineAndStrikeOutBars) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  TTextProducer producer;
  producer.Alignment = 0;
  // Ink 2..6 of an advance of 8: the bar runs from the pen start over the
  // ink width plus the right bearing, 0..8.
  auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{{2, 4, 2, -2}}}), 1, true, true);
  const int baseline = 11;
  // Underline from 1 below the baseline, 2 thick.
  for (int x = 1; x < 9; ++x) {
    EXPECT_EQ(Alpha(*image, x, baseline + 1), 255u) << x;
    EXPECT_EQ(Alpha(*image, x, baseline + 2), 255u) << x;
  }
  EXPECT_EQ(Alpha(*image, 1, baseline), 0u);
  EXPECT_EQ(Alpha(*image, 1, baseline + 3), 0u);
  EXPECT_EQ(Alpha(*image, 9, baseline + 1), 0u);
  // Strike-out 4 above the baseline, 1 thick.
  EXPECT_EQ(Alpha(*image, 1, baseline - 4), 255u);
  EXPECT_EQ(Alpha(*image, 1, baseline - 5), 0u);
  EXPECT_EQ(Alpha(*image, 1, baseline - 3), 0u);
}

TEST(TextLayout, ScaleMultipliesTheLayout) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  TTextProducer producer;
  auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{{0, 4, 0}}}), 0.5f);
  EXPECT_EQ(image->Width(), 2 + 2);
  EXPECT_EQ(image->Height(), 7 + 2);
  EXPECT_EQ(Alpha(*image, 1, 5), 255u);  // baseline at 1 + 5
  EXPECT_EQ(Alpha(*image, 1, 6), 0u);
}

TEST(TextLayout, OpaqueBackgroundFillsAndBlends) {
  TTextProducer producer;
  producer.SetVectorText(std::make_unique<TBoxText>(std::vector<std::vector<TBoxText::TBox>>{{{0, 4, 0}}}));
  auto image = producer.Produce(0xFFFFFFFF, 0xFF000000, 0.75f);
  const TBitmap* bitmap = image->Store().GetMipLevel(0);
  EXPECT_EQ(bitmap->PixelColor(0, 0), 0xFF000000u);
  bool sawEdge = false;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) {
      const TColor c = bitmap->PixelColor(x, y);
      EXPECT_EQ(AlphaOf(c), 255u);
      if (RedOf(c) > 0 && RedOf(c) < 255) sawEdge = true;
    }
  EXPECT_TRUE(sawEdge);  // 3 x 0.75 edges are partly covered
}

TEST(TextLayout, ProgressCanStopAfterALine) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  TTextProducer producer;
  int calls = 0;
  producer.Progress = [&](float) { return ++calls < 1; };
  auto image = Produce(producer, std::make_unique<TBoxText>(Lines{{{0, 4, 0}}, {{0, 4, 0}}}));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(producer.LineRects().size(), 1u);
  EXPECT_EQ(Alpha(*image, 2, 10), 255u);
  EXPECT_EQ(Alpha(*image, 2, 24), 0u);  // the second line was not drawn
}

TEST(TextLayout, TextSizeAtScaleOne) {
  using Lines = std::vector<std::vector<TBoxText::TBox>>;
  const TBoxText text(Lines{{{0, 9, 0}}, {{0, 4, 0}}});
  EXPECT_EQ(TTextProducer::TextSize(text, 0), (TPoint{9, 28}));
  EXPECT_EQ(TTextProducer::LineHeight(text, 2), 28.0f);
}

TEST(TextPicture, RendersANameWithTheInstalledFonts) {
  testing::RegisterTestFonts();
  TTextParams params;
  params.FontName = u"Arial";
  params.Size = 0.25;
  params.Colour = 0xFF00FF00;
  params.Alignment = 0;
  const TString name = BuildTextPictureName(params, {u"Hello", u"Wide World"});
  TTextProducer producer;
  auto image = ProduceTextPicture(producer, name);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Name(), name);
  auto* rects = image->Store().FindAttached<TRectListWrapper>();
  ASSERT_NE(rects, nullptr);
  ASSERT_EQ(rects->Rects.size(), 2u);
  EXPECT_GT(rects->Rects[1].Width(), rects->Rects[0].Width());
  EXPECT_LE(rects->Rects[0].Bottom, rects->Rects[1].Top + 1);
  int opaque = 0;
  const TBitmap* bitmap = image->Store().GetMipLevel(0);
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) {
      const TColor c = bitmap->PixelColor(x, y);
      if (AlphaOf(c) == 255) {
        ++opaque;
        EXPECT_EQ(c, 0xFF00FF00u);
      }
    }
  EXPECT_GT(opaque, 20);
  EXPECT_GE(bitmap->Width(), rects->Rects[1].Right);
}

TEST(TextPicture, CachedSourceIsAskedByItsKey) {
  TString asked;
  TTextProducer producer;
  const TString name = u"Text: Nofont:1:0:0::1:0:255:255:255:255:\"<AB>\"";
  auto image = ProduceTextPicture(producer, name, [&](const TString& key) -> std::unique_ptr<TVectorText> {
    asked = key;
    return std::make_unique<TBoxText>(std::vector<std::vector<TBoxText::TBox>>{{{0, 5, 0}}});
  });
  EXPECT_EQ(asked, u"VectTxt2: Nofont::\"<AB>\"");
  EXPECT_EQ(image->Width(), 5 + 2);
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

TEST(TextPlaceholder, FourLinesOfYellowOnBlue) {
  testing::RegisterTestFonts();
  const TRef<TBitmapStore> store = MakeTextPlaceholderPicture(u"Pictures\\missing.jpg", false, false);
  ASSERT_TRUE(store);
  const TBitmap* bitmap = store->GetMipLevel(0);
  // Four lines of the default face at a quarter of the design size.
  const TSimpleVectorText probe(TFontParams{}, {u"x"});
  const float lineHeight = TTextProducer::LineHeight(probe, 0.25f);
  EXPECT_NEAR(bitmap->Height(), 4 * lineHeight + 2, 1.5);
  int yellow = 0;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) {
      const TColor c = bitmap->PixelColor(x, y);
      ASSERT_EQ(AlphaOf(c), 255u);  // the blue background under everything
      yellow += c == MakeColor(255, 255, 0);
    }
  EXPECT_GT(yellow, 20);
  EXPECT_EQ(bitmap->PixelColor(0, 0), MakeColor(0, 0, 255));
}

TEST(TextPlaceholder, InstalledAsThePictureCachesMaker) {
  testing::RegisterTestFonts();
  InstallTextPlaceholder();
  const TRef<TRefObj> made = MakePlaceholder(u"clip.avi", true, true);
  auto* store = dynamic_cast<TBitmapStore*>(made.Get());
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->GetMipLevel(0)->PixelColor(0, 0), MakeColor(0, 0, 255));
}

}  // namespace
}  // namespace zel
