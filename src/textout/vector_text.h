// What the text producer draws: lines of glyph outlines with their metrics,
// all in design units (pixels of a 72-point font at the screen's vertical
// resolution, y growing downwards from the baseline).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/obj.h"
#include "core/strings.h"
#include "textout/path.h"
#include "textout/text_params.h"

namespace zel {

struct TFontMetrics {
  int32_t Ascent = 0;
  int32_t Descent = 0;
  // Positions upwards from the baseline (below it is negative).
  float UnderlinePosition = 0;
  float UnderlineSize = 0;
  float StrikeoutPosition = 0;
  float StrikeoutSize = 0;
  bool operator==(const TFontMetrics&) const = default;
};

struct TLineMetrics {
  int32_t LeftBearing = 0;
  int32_t InkWidth = 0;
  int32_t RightBearing = 0;
  int32_t AdvanceWidth = 0;
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t Height = 0;
  bool operator==(const TLineMetrics&) const = default;
};

struct TGlyphMetrics {
  int32_t A = 0, B = 0, C = 0;
  int32_t Advance = 0;
  int32_t Ascent = 0, Descent = 0, Height = 0;
  int32_t X = 0;  // pen position from the start of the line
  bool operator==(const TGlyphMetrics&) const = default;
};

struct TGlyphID {
  TString FontKey;
  uint16_t GlyphIndex = 0;
  float Size = 72;
  bool operator==(const TGlyphID&) const = default;
};

struct TGlyphInfo {
  TGlyphID ID;
  TGlyphMetrics Metrics;
};

// Line metrics gathered from the glyphs of a line, in drawing order. A line
// to which no glyph was added has the given (the font's) ascent and descent
// and zero widths; callers leave out glyphs whose data is unknown.
class TLineMetricsBuilder {
 public:
  TLineMetricsBuilder(int32_t ascent, int32_t descent) : fAscent(ascent), fDescent(descent) {}
  void Add(const TGlyphMetrics& glyph);
  TLineMetrics Result() const;

 private:
  int32_t fAscent, fDescent;
  bool fAny = false;
  int64_t fPenStart = 0, fPenEnd = 0, fLeft = 0, fRight = 0;
  int32_t fLineAscent = 0, fLineDescent = 0;
};

class TVectorText : public TObj {
 public:
  int LineCount() const { return fLineCount; }
  const TFontMetrics& FontMetrics() const { return fFontMetrics; }

  virtual TLineMetrics LineMetrics(int line) const = 0;
  virtual int GlyphCount(int line) const = 0;
  // Relative to the glyph's pen position on the baseline.
  virtual TPath GlyphPath(int line, int glyph) const = 0;
  virtual TGlyphMetrics GlyphMetrics(int line, int glyph) const = 0;

 protected:
  int fLineCount = 0;
  TFontMetrics fFontMetrics;
};

// A line of text shaped for one requested font.
class TTextElementEx : public TObj {
 public:
  virtual int GlyphCount() const = 0;
  // Glyph position in visual order.
  virtual TGlyphInfo GlyphInfo(int glyph) const = 0;
};

// The font engine behind the vector texts.
class TVectorizer : public TObj {
 public:
  virtual std::unique_ptr<TTextElementEx> CreateTextElement(const TFontParams& font, TStringView text) = 0;
  // Empty when the outline cannot be read.
  virtual TPath GlyphPath(const TGlyphInfo& info) = 0;
  virtual TFontMetrics FontMetrics(const TFontParams& font) = 0;
  virtual bool IsOutlineFont(const TFontParams& font) = 0;
};

// The replaceable factory the vector texts take their vectorizer from.
using TVectorizerFactory = std::function<std::unique_ptr<TVectorizer>()>;
// Returns the previous factory; an empty one restores the default.
TVectorizerFactory SetVectorizerFactory(TVectorizerFactory factory);
std::unique_ptr<TVectorizer> CreateVectorizer();

}  // namespace zel
