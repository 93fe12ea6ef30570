#include <cmath>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <freetype/ftadvanc.h>
#include <freetype/tttables.h>

#include "textout/ft_metrics.h"
#include "textout/ft_vectorizer.h"
#include "textout/font_fixture.h"

namespace zel {
namespace {

using testing::kDejaVu;
using testing::kLiberation;

// The font file read on its own, in font units, as an independent witness.
class TRawFace {
 public:
  explicit TRawFace(const std::string& path) {
    FT_Init_FreeType(&fLib);
    EXPECT_EQ(FT_New_Face(fLib, path.c_str(), 0, &fFace), 0) << path;
  }
  ~TRawFace() {
    FT_Done_Face(fFace);
    FT_Done_FreeType(fLib);
  }
  // The advance in font units scaled to the 72-point design size at 96 dpi.
  int DesignAdvance(char32_t c) const {
    FT_Fixed units = 0;
    FT_Get_Advance(fFace, FT_Get_Char_Index(fFace, c), FT_LOAD_NO_SCALE, &units);
    return static_cast<int>(std::nearbyint(units * 96.0 / fFace->units_per_EM));
  }
  int Scaled(double units) const { return static_cast<int>(std::nearbyint(units * 96.0 / fFace->units_per_EM)); }
  FT_Face Face() const { return fFace; }

 private:
  FT_Library fLib = nullptr;
  FT_Face fFace = nullptr;
};

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::RegisterTestFonts();
    TFontReplacer::Instance().SetCandidates({u"Liberation Mono", u"DejaVu Sans Mono", u"DejaVu Sans"});
  }
  static TFontParams Font(const char16_t* name, uint8_t style = 0) {
    TFontParams font;
    font.FontName = name;
    font.Style = style;
    return font;
  }
};

TEST_F(FontTest, WindowsNamesMapToMetricCompatibleFamilies) {
  auto& lib = TFtFontLibrary::Instance();
  ASSERT_NE(lib.Find(u"Arial", 0, false), nullptr);
  EXPECT_EQ(lib.Find(u"Arial", 0, false)->Family, u"Liberation Sans");
  EXPECT_EQ(lib.Find(u"Times New Roman", 0, false)->Family, u"Liberation Serif");
  EXPECT_EQ(lib.Find(u"Courier New", 0, false)->Family, u"Liberation Mono");
  EXPECT_EQ(lib.Find(u"liberation SANS", 0, false)->Family, u"Liberation Sans");
}

TEST_F(FontTest, StylePicksTheMatchingFace) {
  auto& lib = TFtFontLibrary::Instance();
  TFtFace* bold = lib.Find(u"Arial", fsBold, false);
  TFtFace* boldItalic = lib.Find(u"Arial", fsBold | fsItalic, false);
  ASSERT_TRUE(bold && boldItalic);
  EXPECT_TRUE(bold->Bold && !bold->Italic);
  EXPECT_TRUE(boldItalic->Bold && boldItalic->Italic);
}

TEST_F(FontTest, UnknownFamilyOnlyWithFallback) {
  auto& lib = TFtFontLibrary::Instance();
  EXPECT_EQ(lib.Find(u"No Such Family 12345", 0, false), nullptr);
  EXPECT_NE(lib.Find(u"No Such Family 12345", 0, true), nullptr);
}

TEST_F(FontTest, AdvanceIsTheFontsScaledToTheDesignSize) {
  const TRawFace raw(kLiberation + "LiberationSans-Regular.ttf");
  TFtTextElement element(Font(u"Liberation Sans"), u"Hm");
  ASSERT_EQ(element.GlyphCount(), 2);
  const TGlyphInfo h = element.GlyphInfo(0), m = element.GlyphInfo(1);
  EXPECT_EQ(h.Metrics.Advance, raw.DesignAdvance(U'H'));
  EXPECT_EQ(m.Metrics.Advance, raw.DesignAdvance(U'm'));
  EXPECT_EQ(h.Metrics.X, 0);
  EXPECT_EQ(m.Metrics.X, raw.DesignAdvance(U'H'));
  EXPECT_EQ(h.ID.FontKey, u"Liberation Sans:");
  EXPECT_EQ(h.ID.Size, 72.0f);
  EXPECT_EQ(h.ID.GlyphIndex, FT_Get_Char_Index(raw.Face(), U'H'));
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(raw.Face(), FT_SFNT_OS2));
  EXPECT_EQ(h.Metrics.Ascent, raw.Scaled(os2->usWinAscent));
  EXPECT_EQ(h.Metrics.Descent, raw.Scaled(os2->usWinDescent));
  EXPECT_EQ(h.Metrics.Height, h.Metrics.Ascent + h.Metrics.Descent);
}

TEST_F(FontTest, FontMetricsAtTheDesignSize) {
  const TRawFace raw(kLiberation + "LiberationSans-Regular.ttf");
  TFtVectorizer vectorizer;
  const TFontMetrics m = vectorizer.FontMetrics(Font(u"Arial"));
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(raw.Face(), FT_SFNT_OS2));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(raw.Face(), FT_SFNT_POST));
  EXPECT_EQ(m.Ascent, raw.Scaled(os2->usWinAscent));
  EXPECT_EQ(m.Descent, raw.Scaled(os2->usWinDescent));
  EXPECT_EQ(m.UnderlinePosition, raw.Scaled(post->underlinePosition));
  EXPECT_LT(m.UnderlinePosition, 0);  // below the baseline
  EXPECT_EQ(m.StrikeoutPosition, raw.Scaled(os2->yStrikeoutPosition));
  EXPECT_GT(m.StrikeoutPosition, 0);
  EXPECT_GE(m.UnderlineSize, 1);
}

TEST_F(FontTest, GlyphOutlineIsYDownOnTheBaseline) {
  TFtVectorizer vectorizer;
  TFtTextElement element(Font(u"Arial"), u"H_");
  const TGlyphInfo h = element.GlyphInfo(0);
  const TPath path = vectorizer.GlyphPath(h);
  ASSERT_FALSE(path.Empty());
  EXPECT_EQ(path.Points.front().Command, pcMoveTo);
  float minY = 1e9f, maxY = -1e9f, minX = 1e9f, maxX = -1e9f;
  for (const TPathPoint& p : path.Points) {
    minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
  }
  // An upper-case H stands on the baseline and rises upwards (negative y).
  EXPECT_NEAR(maxY, 0, 0.01);
  EXPECT_LT(minY, -0.6f * h.Metrics.Ascent);
  // Its ink lies within the glyph's A and A + B widths.
  EXPECT_GE(minX, h.Metrics.A - 0.01f);
  EXPECT_LE(maxX, h.Metrics.A + h.Metrics.B + 0.01f);
  // The underscore lies below the baseline.
  const TPath underscore = vectorizer.GlyphPath(element.GlyphInfo(1));
  ASSERT_FALSE(underscore.Empty());
  for (const TPathPoint& p : underscore.Points) EXPECT_GT(p.Y, 0);
}

TEST_F(FontTest, HalfSizeGlyphIsHalfTheOutline) {
  TFtVectorizer vectorizer;
  TFtTextElement element(Font(u"Arial"), u"O");
  TGlyphInfo info = element.GlyphInfo(0);
  const TPath full = vectorizer.GlyphPath(info);
  info.ID.Size = 36;
  const TPath half = vectorizer.GlyphPath(info);
  ASSERT_EQ(full.Points.size(), half.Points.size());
  float fullTop = 0, halfTop = 0;
  for (size_t i = 0; i < full.Points.size(); ++i)
    fullTop = std::min(fullTop, full.Points[i].Y), halfTop = std::min(halfTop, half.Points[i].Y);
  EXPECT_NEAR(halfTop * 2, fullTop, 1.0);
}

TEST_F(FontTest, MissingScriptGoesToTheFirstCoveringCandidateOfTheSamePitch) {
  // Armenian is not in Liberation Sans; the fixed-pitch candidates are passed over.
  TFtTextElement element(Font(u"Liberation Sans"), u"Ab\u0531\u0532");
  const auto& runs = element.Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Font.FontName, u"Liberation Sans");
  EXPECT_EQ(runs[0].Count, 2);
  EXPECT_EQ(runs[1].Font.FontName, u"DejaVu Sans");
  EXPECT_EQ(runs[1].First, 2);
  EXPECT_EQ(runs[1].Count, 2);
  EXPECT_TRUE(runs[1].Covered);
  // Sized so that its ascent is the first one above the requested ascent.
  TFtFace* requested = TFtFontLibrary::Instance().Find(u"Liberation Sans", 0, false);
  TFtFace* substitute = TFtFontLibrary::Instance().Find(u"DejaVu Sans", 0, false);
  std::lock_guard guard(TFtFontLibrary::Instance().Lock());
  const int target = FaceAscent(*requested, PixelHeightFor(72));
  const int pixels = static_cast<int>(std::nearbyint(runs[1].Font.Size * ScreenResolution() / 72.0));
  EXPECT_GT(FaceAscent(*substitute, pixels), target);
  EXPECT_LE(FaceAscent(*substitute, pixels - 1), target);
  // The second run's glyphs carry its font key and size.
  const TGlyphInfo third = element.GlyphInfo(2);
  EXPECT_EQ(third.ID.FontKey, u"DejaVu Sans:");
  EXPECT_EQ(third.ID.Size, runs[1].Font.Size);
  EXPECT_EQ(third.Metrics.X, element.GlyphInfo(1).Metrics.X + element.GlyphInfo(1).Metrics.B +
                                 element.GlyphInfo(1).Metrics.A + element.GlyphInfo(1).Metrics.C);
}

TEST_F(FontTest, FixedPitchFontLooksAmongFixedCandidatesFirst) {
  TFtTextElement element(Font(u"Liberation Mono"), u"x\u0531");
  ASSERT_EQ(element.Runs().size(), 2u);
  EXPECT_EQ(element.Runs()[1].Font.FontName, u"DejaVu Sans Mono");
}

TEST_F(FontTest, CombiningMarkStaysWithItsBase) {
  // U+20D0 is in DejaVu Sans, not in Liberation Sans: "a" goes along with it.
  TFtTextElement element(Font(u"Liberation Sans"), u"xa\u20D0y");
  const auto& runs = element.Runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].Count, 1);
  EXPECT_EQ(runs[1].Font.FontName, u"DejaVu Sans");
  EXPECT_EQ(runs[1].First, 1);
  EXPECT_EQ(runs[1].Count, 2);
  EXPECT_EQ(runs[2].Font.FontName, u"Liberation Sans");
}

TEST_F(FontTest, UncoveredCharactersGetWingdingsWithTheAdvanceOfL) {
  TFtTextElement element(Font(u"Liberation Sans"), u"L\uE000\uE001");
  const auto& runs = element.Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(runs[1].Covered);
  EXPECT_EQ(runs[1].Font.FontName, u"Wingdings");
  ASSERT_EQ(element.GlyphCount(), 3);
  const int l = element.GlyphInfo(0).Metrics.Advance;
  EXPECT_EQ(element.GlyphInfo(2).Metrics.X - element.GlyphInfo(1).Metrics.X, l);
  EXPECT_EQ(element.GlyphInfo(1).ID.FontKey, u"Wingdings:");
}

TEST_F(FontTest, RightToLeftTextIsInVisualOrder) {
  const TRawFace raw(kLiberation + "LiberationSans-Regular.ttf");
  TFtTextElement element(Font(u"Liberation Sans"), u"ab \u05D0\u05D1");
  ASSERT_EQ(element.GlyphCount(), 5);
  EXPECT_EQ(element.GlyphInfo(0).ID.GlyphIndex, FT_Get_Char_Index(raw.Face(), U'a'));
  // The Hebrew letters read right to left: alef is drawn last.
  EXPECT_EQ(element.GlyphInfo(3).ID.GlyphIndex, FT_Get_Char_Index(raw.Face(), U'\u05D1'));
  EXPECT_EQ(element.GlyphInfo(4).ID.GlyphIndex, FT_Get_Char_Index(raw.Face(), U'\u05D0'));
  EXPECT_GT(element.GlyphInfo(4).Metrics.X, element.GlyphInfo(3).Metrics.X);
}

TEST_F(FontTest, RunsOfBothDirectionsAreOrderedVisually) {
  // Latin, then Hebrew, then Armenian from another font: three runs whose
  // pen positions grow left to right.
  TFtTextElement element(Font(u"Liberation Sans"), u"x\u05D0\u05D1 \u0531");
  const auto& runs = element.Runs();
  ASSERT_GE(runs.size(), 3u);
  EXPECT_EQ(runs.front().First, 0);
  EXPECT_EQ(runs.back().Font.FontName, u"DejaVu Sans");
  for (int i = 1; i < element.GlyphCount(); ++i)
    EXPECT_GE(element.GlyphInfo(i).Metrics.X, element.GlyphInfo(i - 1).Metrics.X) << i;
}

TEST_F(FontTest, MissingBoldAndItalicAreMadeUp) {
  // A family with a regular face only.
  ASSERT_TRUE(TFtFontLibrary::Instance().AddFontFile(kDejaVu + "DejaVuMathTeXGyre.ttf"));
  const TString family = TFtFontLibrary::Instance().Find(u"DejaVu Math TeX Gyre", 0, false)->Family;
  TFtVectorizer vectorizer;
  TFtTextElement regular(Font(family.c_str()), u"l");
  TFtTextElement bold(Font(family.c_str(), fsBold), u"l");
  TFtTextElement italic(Font(family.c_str(), fsItalic), u"l");
  const TGlyphInfo r = regular.GlyphInfo(0), b = bold.GlyphInfo(0), i = italic.GlyphInfo(0);
  ASSERT_EQ(r.ID.GlyphIndex, b.ID.GlyphIndex);
  // Emboldening widens the stem by a 24th of the em (96 / 24 = 4 pixels).
  EXPECT_EQ(b.Metrics.B - r.Metrics.B, 4);
  EXPECT_EQ(b.Metrics.Advance - r.Metrics.Advance, 4);
  // The slant moves every point right in proportion to its height (the
  // fitting to the widths may move the whole outline as well).
  const TPath upright = vectorizer.GlyphPath(r);
  const TPath slanted = vectorizer.GlyphPath(i);
  ASSERT_EQ(upright.Points.size(), slanted.Points.size());
  size_t top = 0, foot = 0;
  for (size_t k = 0; k < upright.Points.size(); ++k) {
    if (upright.Points[k].Y < upright.Points[top].Y) top = k;
    if (upright.Points[k].Y > upright.Points[foot].Y) foot = k;
  }
  const auto shift = [&](size_t k) { return slanted.Points[k].X - upright.Points[k].X; };
  const float rise = upright.Points[foot].Y - upright.Points[top].Y;
  EXPECT_GT(shift(top) - shift(foot), 0.15f * rise);
}

TEST_F(FontTest, NormalisedNamesIgnoreCaseAndComposition) {
  EXPECT_EQ(TFontReplacer::NormalizedName(u"ARIAL"), TFontReplacer::NormalizedName(u"arial"));
  EXPECT_EQ(TFontReplacer::NormalizedName(u"Caf\u00E9"), TFontReplacer::NormalizedName(u"CAFE\u0301"));
  EXPECT_NE(TFontReplacer::NormalizedName(u"Cafe"), TFontReplacer::NormalizedName(u"Caf\u00E9"));
}

}  // namespace
}  // namespace zel
