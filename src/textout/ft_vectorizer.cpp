#include "textout/ft_vectorizer.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include <freetype/ftoutln.h>

#include <unicode/ubidi.h>

#include "textout/ft_font_library.h"
#include "textout/ft_metrics.h"

namespace zel {

namespace {

std::recursive_mutex& FontLock() { return TFtFontLibrary::Instance().Lock(); }

// Runs without a covering font are shown by this face, as on the platform
// the design comes from.
constexpr char16_t kUncoveredFont[] = u"Wingdings";

int RunPixels(const TFontParams& font) { return PixelHeightFor(font.Size > 0 ? font.Size : 8); }

struct TDecomposer {
  TPath* Path;
  static float X(const FT_Vector* v) { return static_cast<float>(v->x / 64.0); }
  static float Y(const FT_Vector* v) { return static_cast<float>(-v->y / 64.0); }
  static int MoveTo(const FT_Vector* to, void* user) {
    static_cast<TDecomposer*>(user)->Path->Add(X(to), Y(to), pcMoveTo);
    return 0;
  }
  static int LineTo(const FT_Vector* to, void* user) {
    static_cast<TDecomposer*>(user)->Path->Add(X(to), Y(to), pcLineTo);
    return 0;
  }
  static int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    TPath* path = static_cast<TDecomposer*>(user)->Path;
    path->Add(X(control), Y(control), pcQuadratic);
    path->Add(X(to), Y(to), pcQuadratic);
    return 0;
  }
  static int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    TPath* path = static_cast<TDecomposer*>(user)->Path;
    path->Add(X(c1), Y(c1), pcCubic);
    path->Add(X(c2), Y(c2), pcCubic);
    path->Add(X(to), Y(to), pcCubic);
    return 0;
  }
};

// Moves the ink right to the left bearing and pulls its right edge back to
// A + B where the outline strays past the rounded glyph widths.
void FitToWidths(TPath& path, const TGlyphWidths& w) {
  if (path.Points.empty()) return;
  float m = path.Points[0].X, big = m;
  for (const TPathPoint& p : path.Points) m = std::min(m, p.X), big = std::max(big, p.X);
  const float a = static_cast<float>(w.A), ab = static_cast<float>(w.A + w.B);
  if (a - m > 0 && m < big) {
    const float dx = a - m;
    for (TPathPoint& p : path.Points) p.X += dx;
    m += dx, big += dx;
  }
  if (big - ab > 0 && big > m) {
    for (TPathPoint& p : path.Points) p.X = m + (p.X - m) * (ab - m) / (big - m);
  }
}

// What one glyph of a face at one size and style gives: its widths and its
// fitted outline. Loading a glyph is the costly part of a text, and texts
// repeat their letters, so each is loaded once.
struct TLoadedGlyph {
  bool haveWidths = false;
  TGlyphWidths widths;
  TPath path;  // empty when the glyph has no outline
};

struct TGlyphKey {
  const TFtFace* face;
  int pixels;
  uint32_t glyph;
  uint8_t style;
  bool operator==(const TGlyphKey&) const = default;
};

struct TGlyphKeyHash {
  size_t operator()(const TGlyphKey& k) const noexcept {
    size_t h = std::hash<const void*>()(k.face);
    h = h * 1000003u ^ static_cast<size_t>(k.pixels);
    h = h * 1000003u ^ k.glyph;
    return h * 1000003u ^ k.style;
  }
};

// The glyphs kept at most; past it the cache starts again, so a show with
// many fonts and sizes never grows it without bound.
constexpr size_t kMaxCachedGlyphs = 16384;

// Loads the glyph (widths and outline); the caller holds the font lock.
TLoadedGlyph LoadGlyph(TFtFace& face, uint32_t glyph, uint8_t style) {
  TLoadedGlyph data;
  data.haveWidths = GlyphWidths(face, glyph, style, data.widths);
  if (!data.haveWidths || face.Face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return data;
  FT_Outline_Funcs funcs{};
  funcs.move_to = &TDecomposer::MoveTo;
  funcs.line_to = &TDecomposer::LineTo;
  funcs.conic_to = &TDecomposer::ConicTo;
  funcs.cubic_to = &TDecomposer::CubicTo;
  TDecomposer decomposer{&data.path};
  if (FT_Outline_Decompose(&face.Face->glyph->outline, &funcs, &decomposer) != 0) {
    data.path = TPath();
    return data;
  }
  FitToWidths(data.path, data.widths);
  return data;
}

// The glyph's data at the face's size for `pixels`; the caller holds the
// font lock, which also guards the cache.
const TLoadedGlyph& CachedGlyph(TFtFace& face, int pixels, uint32_t glyph, uint8_t style) {
  static std::unordered_map<TGlyphKey, TLoadedGlyph, TGlyphKeyHash> cache;
  const TGlyphKey key{&face, pixels, glyph, style};
  if (const auto it = cache.find(key); it != cache.end()) return it->second;
  if (cache.size() >= kMaxCachedGlyphs) cache.clear();
  face.SetPixelHeight(pixels);
  return cache.emplace(key, LoadGlyph(face, glyph, style)).first->second;
}

}  // namespace

TFtFace* FaceForKey(TStringView fontKey) {
  const size_t colon = fontKey.find(u':');
  const TStringView name = fontKey.substr(0, colon);
  const uint8_t style = colon == TStringView::npos ? 0 : ParseStyleWords(fontKey.substr(colon + 1));
  return TFtFontLibrary::Instance().Find(name, style, true);
}

TFtTextElement::TFtTextElement(const TFontParams& font, TStringView text, int readingOrder) : fFont(font) {
  if (fFont.Size <= 0) fFont.Size = 8;
  static constexpr char16_t kControls[] = {0, 0x202A, 0x202B, 0x202D, 0x202E};
  if (readingOrder >= 1 && readingOrder <= 4) fText += kControls[readingOrder];
  fText += text;
  if (fText.empty()) return;
  const TRunCallback callback = [this](const TFontParams& f, int first, int count, bool covered) {
    return AcceptRun(f, first, count, covered);
  };
  TFontReplacer::Instance().SplitText(fText, 0, static_cast<int>(fText.size()), fFont, callback);
  OrderRunsVisually();
  std::lock_guard guard(FontLock());
  for (TTextRun& run : fRuns) ShapeRun(run);
  MeasureGlyphs();
}

// Splits the runs where the embedding level changes and puts them in
// visual order, each knowing its direction, so that right-to-left text and
// text mixing both directions read as placed.
void TFtTextElement::OrderRunsVisually() {
  UErrorCode status = U_ZERO_ERROR;
  UBiDi* bidi = ubidi_openSized(static_cast<int32_t>(fText.size()), 0, &status);
  if (U_FAILURE(status)) return;
  ubidi_setPara(bidi, reinterpret_cast<const UChar*>(fText.data()), static_cast<int32_t>(fText.size()),
                UBIDI_DEFAULT_LTR, nullptr, &status);
  const UBiDiLevel* levels = U_SUCCESS(status) ? ubidi_getLevels(bidi, &status) : nullptr;
  if (!levels || U_FAILURE(status)) {
    ubidi_close(bidi);
    return;
  }
  std::vector<TTextRun> pieces;
  std::vector<UBiDiLevel> pieceLevels;
  for (const TTextRun& run : fRuns) {
    int start = run.First;
    for (int i = run.First + 1; i <= run.First + run.Count; ++i) {
      if (i < run.First + run.Count && levels[i] == levels[start]) continue;
      TTextRun piece = run;
      piece.First = start;
      piece.Count = i - start;
      piece.RightToLeft = (levels[start] & 1) != 0;
      pieces.push_back(piece);
      pieceLevels.push_back(levels[start]);
      start = i;
    }
  }
  ubidi_close(bidi);
  std::vector<int32_t> visual(pieces.size());
  ubidi_reorderVisual(pieceLevels.data(), static_cast<int32_t>(pieces.size()), visual.data());
  fRuns.clear();
  for (int32_t logical : visual) fRuns.push_back(pieces[static_cast<size_t>(logical)]);
}

bool TFtTextElement::AcceptRun(const TFontParams& font, int first, int count, bool covered) {
  TTextRun run;
  run.Font = font;
  run.First = first;
  run.Count = count;
  run.Covered = covered;
  if (covered) {
    // Only outline fonts can give outlines; a run in any other is refused
    // and the replacer looks further.
    run.Face = TFtFontLibrary::Instance().Find(font.FontName, font.Style, true);
    if (!run.Face) return false;
  } else {
    run.Font.FontName = kUncoveredFont;
    run.Face = TFtFontLibrary::Instance().Find(kUncoveredFont, font.Style, true);
  }
  fRuns.push_back(run);
  return true;
}

void TFtTextElement::ShapeRun(TTextRun& run) {
  if (!run.Face) {
    // Nothing at all to show it with: blank glyphs that keep no width.
    for (int i = 0; i < run.Count; ++i) fGlyphs.push_back(0), fAdvances.push_back(0), fOffsets.push_back(0);
    run.GlyphCount = run.Count;
    return;
  }
  TFtFace& face = *run.Face;
  face.SetPixelHeight(RunPixels(run.Font));
  if (!run.Covered) {
    // The uncovered characters keep the advances of as many "L"s.
    TGlyphWidths l;
    const uint32_t lGlyph = face.GlyphOf(U'L');
    const int advance = GlyphWidths(face, lGlyph, run.Font.Style, l) ? l.A + l.B + l.C : 0;
    const size_t firstGlyph = fGlyphs.size();
    for (int i = run.First; i < run.First + run.Count; ++i) {
      char32_t c = fText[static_cast<size_t>(i)];
      if (c >= 0xDC00 && c <= 0xDFFF && i > run.First) continue;  // second half of a pair
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < run.First + run.Count)
        c = 0x10000 + ((c - 0xD800) << 10) + (fText[static_cast<size_t>(i) + 1] - 0xDC00u);
      fGlyphs.push_back(static_cast<uint16_t>(face.GlyphOf(c)));
      fAdvances.push_back(advance);
      fOffsets.push_back(0);
      ++run.GlyphCount;
      run.Width += advance;
    }
    if (run.RightToLeft) std::reverse(fGlyphs.begin() + static_cast<std::ptrdiff_t>(firstGlyph), fGlyphs.end());
    return;
  }
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(fText.data()), static_cast<int>(fText.size()),
                      static_cast<unsigned>(run.First), run.Count);
  hb_buffer_guess_segment_properties(buffer);
  hb_buffer_set_direction(buffer, run.RightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  // Character placement with shaping, ligatures and marks, but no kerning.
  hb_feature_t noKerning;
  hb_feature_from_string("-kern", -1, &noKerning);
  hb_shape(face.Shaper, buffer, &noKerning, 1);
  unsigned count = 0;
  const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
  const long strength = SyntheticBoldStrength(face, run.Font.Style);
  for (unsigned i = 0; i < count; ++i) {
    const long extra = positions[i].x_advance != 0 ? strength : 0;
    const int advance = static_cast<int>(std::nearbyint((positions[i].x_advance + extra) / 64.0));
    fGlyphs.push_back(static_cast<uint16_t>(infos[i].codepoint));
    fAdvances.push_back(advance);
    fOffsets.push_back(static_cast<int>(std::nearbyint(positions[i].x_offset / 64.0)));
    run.Width += advance;
  }
  run.GlyphCount = static_cast<int>(count);
  hb_buffer_destroy(buffer);
}

int TFtTextElement::Width() const {
  int width = 0;
  for (const TTextRun& run : fRuns) width += run.Width;
  return width;
}

void TFtTextElement::MeasureGlyphs() {
  fInfos.reserve(fGlyphs.size());
  int x = 0;
  size_t g = 0;
  for (const TTextRun& run : fRuns) {
    const TString fontKey = FontKey(run.Font.FontName, run.Font.Style);
    const int pixels = RunPixels(run.Font);
    int ascent = 0, descent = 0;
    if (run.Face) {
      run.Face->SetPixelHeight(pixels);
      ascent = FaceAscent(*run.Face, pixels);
      descent = FaceDescent(*run.Face, pixels);
    }
    for (int i = 0; i < run.GlyphCount && g < fGlyphs.size(); ++i, ++g) {
      TGlyphInfo info;
      info.ID.FontKey = fontKey;
      info.ID.GlyphIndex = fGlyphs[g];
      info.ID.Size = run.Font.Size;
      TGlyphMetrics& m = info.Metrics;
      m.X = x + fOffsets[g];
      m.B = fAdvances[g];
      if (run.Face) {
        m.Ascent = ascent;
        m.Descent = descent;
        const TLoadedGlyph& data = CachedGlyph(*run.Face, pixels, fGlyphs[g], run.Font.Style);
        if (data.haveWidths) m.A = data.widths.A, m.B = data.widths.B, m.C = data.widths.C;
      }
      m.Advance = m.A + m.B + m.C;
      m.Height = m.Ascent + m.Descent;
      x += fAdvances[g];
      fInfos.push_back(std::move(info));
    }
  }
}

TGlyphInfo TFtTextElement::GlyphInfo(int glyph) const {
  if (glyph < 0 || static_cast<size_t>(glyph) >= fInfos.size()) return {};
  return fInfos[static_cast<size_t>(glyph)];
}

std::unique_ptr<TTextElementEx> TFtVectorizer::CreateTextElement(const TFontParams& font, TStringView text) {
  return std::make_unique<TFtTextElement>(font, text);
}

TPath TFtVectorizer::GlyphPath(const TGlyphInfo& info) {
  TFtFace* face = FaceForKey(info.ID.FontKey);
  if (!face) return {};
  std::lock_guard guard(FontLock());
  const size_t colon = info.ID.FontKey.find(u':');
  const uint8_t style = colon == TString::npos ? 0 : ParseStyleWords(TStringView(info.ID.FontKey).substr(colon + 1));
  return CachedGlyph(*face, PixelHeightFor(info.ID.Size), info.ID.GlyphIndex, style).path;
}

TFontMetrics TFtVectorizer::FontMetrics(const TFontParams& font) {
  TFtFace* face = TFtFontLibrary::Instance().Find(font.FontName, font.Style, true);
  if (!face) return {};
  std::lock_guard guard(FontLock());
  return FaceFontMetrics(*face, PixelHeightFor(font.Size));
}

bool TFtVectorizer::IsOutlineFont(const TFontParams& font) {
  return TFtFontLibrary::Instance().Find(font.FontName, font.Style, true) != nullptr;
}

}  // namespace zel
