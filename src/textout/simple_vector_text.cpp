#include "textout/simple_vector_text.h"

namespace zel {

TSimpleVectorText::TSimpleVectorText(const TFontParams& font, const std::vector<TString>& lines)
    : fVectorizer(CreateVectorizer()) {
  TFontParams designFont;
  designFont.FontName = font.FontName;
  designFont.Style = font.Style;
  fLineCount = static_cast<int>(lines.size());
  fFontMetrics = fVectorizer->FontMetrics(designFont);
  for (const TString& line : lines) fElements.push_back(fVectorizer->CreateTextElement(designFont, line));
}

const TTextElementEx* TSimpleVectorText::Element(int line) const {
  if (line < 0 || line >= static_cast<int>(fElements.size())) return nullptr;
  return fElements[static_cast<size_t>(line)].get();
}

TLineMetrics TSimpleVectorText::LineMetrics(int line) const {
  TLineMetricsBuilder builder(fFontMetrics.Ascent, fFontMetrics.Descent);
  if (const TTextElementEx* element = Element(line))
    for (int i = 0; i < element->GlyphCount(); ++i) builder.Add(element->GlyphInfo(i).Metrics);
  return builder.Result();
}

int TSimpleVectorText::GlyphCount(int line) const {
  const TTextElementEx* element = Element(line);
  return element ? element->GlyphCount() : 0;
}

TPath TSimpleVectorText::GlyphPath(int line, int glyph) const {
  const TTextElementEx* element = Element(line);
  if (!element || glyph < 0 || glyph >= element->GlyphCount()) return {};
  return fVectorizer->GlyphPath(element->GlyphInfo(glyph));
}

TGlyphMetrics TSimpleVectorText::GlyphMetrics(int line, int glyph) const {
  const TTextElementEx* element = Element(line);
  if (!element || glyph < 0 || glyph >= element->GlyphCount()) return {};
  return element->GlyphInfo(glyph).Metrics;
}

}  // namespace zel
