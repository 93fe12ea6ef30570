// The font engine on FreeType, HarfBuzz and fontconfig: shaped lines of text
// and glyph outlines in design units (pixels of a 72-point font at the
// screen's vertical resolution, y down, baseline at 0).
#pragma once

#include <memory>
#include <vector>

#include "textout/font_replacer.h"
#include "textout/vector_text.h"

namespace zel {

struct TFtFace;

struct TTextRun {
  TFontParams Font;
  int First = 0;
  int Count = 0;
  bool Covered = true;
  int GlyphCount = 0;
  int Width = 0;
  bool RightToLeft = false;
  TFtFace* Face = nullptr;  // null when no face shows the run at all
};

// A line shaped for one requested font: the font replacer splits it into
// runs, the runs are split further by direction and put in visual order, each
// run is shaped by HarfBuzz in its own font, and the glyphs of all runs form
// the line in visual order.
class TFtTextElement : public TTextElementEx {
 public:
  // readingOrder 1..4 puts U+202A, U+202B, U+202D or U+202E before the text.
  TFtTextElement(const TFontParams& font, TStringView text, int readingOrder = 0);

  int GlyphCount() const override { return static_cast<int>(fGlyphs.size()); }
  TGlyphInfo GlyphInfo(int glyph) const override;

  const std::vector<TTextRun>& Runs() const { return fRuns; }
  const TFontParams& Font() const { return fFont; }
  int Width() const;

 private:
  bool AcceptRun(const TFontParams& font, int first, int count, bool covered);
  void OrderRunsVisually();
  void ShapeRun(TTextRun& run);
  // Every glyph's metrics and pen position, worked out once after shaping.
  void MeasureGlyphs();

  TFontParams fFont;
  TString fText;
  std::vector<TTextRun> fRuns;
  std::vector<uint16_t> fGlyphs;
  std::vector<int> fAdvances;
  std::vector<int> fOffsets;  // horizontal mark offsets from the shaper
  std::vector<TGlyphInfo> fInfos;
};

class TFtVectorizer : public TVectorizer {
 public:
  std::unique_ptr<TTextElementEx> CreateTextElement(const TFontParams& font, TStringView text) override;
  TPath GlyphPath(const TGlyphInfo& info) override;
  TFontMetrics FontMetrics(const TFontParams& font) override;
  bool IsOutlineFont(const TFontParams& font) override;
};

// The face a font key ("Name:Bold,Italic") stands for, with fallback.
TFtFace* FaceForKey(TStringView fontKey);

}  // namespace zel
