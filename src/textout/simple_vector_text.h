// A vector text that asks the installed fonts for every glyph each time.
#pragma once

#include <memory>
#include <vector>

#include "textout/vector_text.h"

namespace zel {

class TSimpleVectorText : public TVectorText {
 public:
  // FontName and Style from the font parameters; the size stays at 72 points.
  TSimpleVectorText(const TFontParams& font, const std::vector<TString>& lines);

  TLineMetrics LineMetrics(int line) const override;
  int GlyphCount(int line) const override;
  TPath GlyphPath(int line, int glyph) const override;
  TGlyphMetrics GlyphMetrics(int line, int glyph) const override;

 private:
  const TTextElementEx* Element(int line) const;

  std::unique_ptr<TVectorizer> fVectorizer;
  std::vector<std::unique_ptr<TTextElementEx>> fElements;
};

}  // namespace zel
