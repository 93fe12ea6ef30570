#include "textout/cached_vector_text.h"

#include <cmath>

#include "core/stream_errors.h"
#include "textout/stream_fields.h"
#include "textout/text_params.h"

namespace zel {

namespace {

constexpr char16_t kEntryPrefix[] = u"VectTxt2: ";

using stream_fields::ReadInt;
using stream_fields::WriteFloat;
using stream_fields::WriteInt;

int32_t CheckedCount(TStream& s, int32_t count, int64_t bytesEach) {
  return stream_fields::CheckedCount(s, count, bytesEach, "Vector text count out of range");
}

}  // namespace

TCachedVectorText::TCachedVectorText(TFontCache* cache) : fCache(cache ? cache : &GlobalFontCache()) {}

void TCachedVectorText::ReadFrom(TStream& s, const TGlyphCacheLoader& loader) {
  s.SetPosition(0);
  fLines.clear();
  const int32_t lines = CheckedCount(s, ReadInt(s), 4);
  fFontMetrics.Ascent = ReadInt(s);
  fFontMetrics.Descent = ReadInt(s);
  fFontMetrics.UnderlinePosition = s.ReadFloat();
  fFontMetrics.UnderlineSize = s.ReadFloat();
  fFontMetrics.StrikeoutPosition = s.ReadFloat();
  fFontMetrics.StrikeoutSize = s.ReadFloat();
  fLines.resize(static_cast<size_t>(lines));
  fLineCount = lines;
  for (TGlyphLine& line : fLines) {
    const int32_t glyphs = CheckedCount(s, ReadInt(s), 14);
    line.Glyphs.resize(static_cast<size_t>(glyphs));
    for (TGlyphPointer& p : line.Glyphs) {
      p.X = ReadInt(s);
      p.Size = s.ReadFloat();
      p.GlyphIndex = s.ReadUInt16();
      p.FontKey = ReadCountedString(s, ReadInt(s));
      if (loader) loader(p.FontKey);
    }
  }
}

void TCachedVectorText::WriteTo(TStream& s) const {
  WriteInt(s, static_cast<int32_t>(fLines.size()));
  WriteInt(s, fFontMetrics.Ascent);
  WriteInt(s, fFontMetrics.Descent);
  WriteFloat(s, fFontMetrics.UnderlinePosition);
  WriteFloat(s, fFontMetrics.UnderlineSize);
  WriteFloat(s, fFontMetrics.StrikeoutPosition);
  WriteFloat(s, fFontMetrics.StrikeoutSize);
  for (const TGlyphLine& line : fLines) {
    WriteInt(s, static_cast<int32_t>(line.Glyphs.size()));
    for (const TGlyphPointer& p : line.Glyphs) {
      WriteInt(s, p.X);
      WriteFloat(s, p.Size);
      s.WriteUInt16(p.GlyphIndex);
      WriteInt(s, static_cast<int32_t>(p.FontKey.size()));
      s.WriteString(p.FontKey);
    }
  }
}

std::unique_ptr<TCachedVectorText> TCachedVectorText::Build(const TFontParams& font,
                                                            const std::vector<TString>& lines, TFontCache* cache) {
  auto text = std::make_unique<TCachedVectorText>(cache);
  std::unique_ptr<TVectorizer> vectorizer = CreateVectorizer();
  TFontParams design;
  design.FontName = font.FontName;
  design.Style = font.Style;
  if (!vectorizer->IsOutlineFont(design)) design.FontName.clear();
  text->fFontMetrics = vectorizer->FontMetrics(design);
  text->fLineCount = static_cast<int>(lines.size());
  for (const TString& source : lines) {
    TGlyphLine line;
    const std::unique_ptr<TTextElementEx> element = vectorizer->CreateTextElement(design, source);
    for (int i = 0; i < element->GlyphCount(); ++i) {
      const TGlyphInfo info = element->GlyphInfo(i);
      TGlyphCache* glyphs = text->fCache->FindOrAdd(info.ID.FontKey);
      if (!glyphs->Find(info.ID.GlyphIndex)) glyphs->Add({info, vectorizer->GlyphPath(info)});
      line.Glyphs.push_back({info.ID.FontKey, info.ID.GlyphIndex, info.ID.Size, info.Metrics.X});
    }
    text->fLines.push_back(std::move(line));
  }
  return text;
}

const TGlyphPointer* TCachedVectorText::Pointer(int line, int glyph) const {
  if (line < 0 || line >= static_cast<int>(fLines.size())) return nullptr;
  const auto& glyphs = fLines[static_cast<size_t>(line)].Glyphs;
  if (glyph < 0 || glyph >= static_cast<int>(glyphs.size())) return nullptr;
  return &glyphs[static_cast<size_t>(glyph)];
}

const TGlyphData* TCachedVectorText::Data(const TGlyphPointer& pointer) const {
  const TGlyphCache* cache = fCache->Find(pointer.FontKey);
  return cache ? cache->Find(pointer.GlyphIndex) : nullptr;
}

bool TCachedVectorText::PointerMetrics(const TGlyphPointer& pointer, TGlyphMetrics& m) const {
  const TGlyphData* data = Data(pointer);
  if (!data) return false;
  m = data->Info.Metrics;
  // A glyph stored at another size than the pointer's (the same glyph of a
  // substitute font matched at two sizes) keeps its proportions.
  const float stored = data->Info.ID.Size;
  if (stored > 0 && pointer.Size != stored) {
    const double k = pointer.Size / static_cast<double>(stored);
    const auto scaled = [k](int32_t v) { return static_cast<int32_t>(std::nearbyint(v * k)); };
    m.A = scaled(m.A), m.B = scaled(m.B), m.C = scaled(m.C);
    m.Ascent = scaled(m.Ascent), m.Descent = scaled(m.Descent);
    m.Advance = m.A + m.B + m.C;
    m.Height = m.Ascent + m.Descent;
  }
  m.X = pointer.X;
  return true;
}

TLineMetrics TCachedVectorText::LineMetrics(int line) const {
  TLineMetricsBuilder builder(fFontMetrics.Ascent, fFontMetrics.Descent);
  if (line >= 0 && line < static_cast<int>(fLines.size())) {
    for (const TGlyphPointer& p : fLines[static_cast<size_t>(line)].Glyphs) {
      TGlyphMetrics m;
      if (PointerMetrics(p, m)) builder.Add(m);
    }
  }
  return builder.Result();
}

int TCachedVectorText::GlyphCount(int line) const {
  if (line < 0 || line >= static_cast<int>(fLines.size())) return 0;
  return static_cast<int>(fLines[static_cast<size_t>(line)].Glyphs.size());
}

TPath TCachedVectorText::GlyphPath(int line, int glyph) const {
  const TGlyphPointer* p = Pointer(line, glyph);
  const TGlyphData* data = p ? Data(*p) : nullptr;
  if (!data) return {};
  TPath path = data->Path;
  const float stored = data->Info.ID.Size;
  if (stored > 0 && stored != p->Size) {
    const float k = p->Size / stored;
    for (TPathPoint& point : path.Points) point.X *= k, point.Y *= k;
  }
  return path;
}

TGlyphMetrics TCachedVectorText::GlyphMetrics(int line, int glyph) const {
  TGlyphMetrics m;
  const TGlyphPointer* p = Pointer(line, glyph);
  if (p && !PointerMetrics(*p, m)) m.X = p->X;
  return m;
}

std::unique_ptr<TStream> GenerateCachedVectorText(TStringView name, TFontCache* cache) {
  if (!name.starts_with(kEntryPrefix)) return nullptr;
  const TString plain = UnescapeText(name);
  // Font name, style words, then the lines field (which may hold ":").
  const TStringView rest = TStringView(plain).substr(10);
  const size_t first = rest.find(u':');
  const size_t second = first == TStringView::npos ? TStringView::npos : rest.find(u':', first + 1);
  TFontParams font;
  font.FontName = TString(rest.substr(0, first));
  if (first != TStringView::npos) font.Style = ParseStyleWords(rest.substr(first + 1, second - first - 1));
  const std::vector<TString> lines =
      ParseLinesField(second == TStringView::npos ? TStringView() : rest.substr(second + 1));
  const std::unique_ptr<TCachedVectorText> text = TCachedVectorText::Build(font, lines, cache);
  auto stream = std::make_unique<TMemoryStream>();
  text->WriteTo(*stream);
  stream->SetPosition(0);
  return stream;
}

}  // namespace zel
