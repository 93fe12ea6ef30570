// Turns a vector text into a picture: lays the lines out at a scale, fills
// every glyph outline (and the underline and strike-out bars) with the text
// colour, and keeps the rectangle of every line in picture pixels.
#pragma once

#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_store.h"
#include "imaging/color.h"
#include "imaging/geometry.h"
#include "textout/raster_helper.h"
#include "textout/vector_text.h"

namespace zel {

using TRectList = std::vector<TRect>;

// Carries a copy of the line rectangles attached to a picture.
class TRectListWrapper : public TObj {
 public:
  explicit TRectListWrapper(TRectList rects) : Rects(std::move(rects)) {}
  TRectList Rects;
};

// The lines of a vector text placed at one scale and line spacing.
struct TTextLayout {
  struct TLine {
    TRect Rect;  // left 0, top above the baseline, right the advance, bottom the descent
    float Y = 0;  // top of the line
    TLineMetrics Metrics;
  };
  std::vector<TLine> Lines;
  int W = 0;       // widest line rectangle
  float H = 0;     // total height
  float L = 0, R = 0;  // largest left and right overhangs
  float P = 0, Q = 0;  // largest line ascent and descent
};
TTextLayout LayoutText(const TVectorText& text, float scale, float lineSpacing);

class TTextProducer : public TObj {
 public:
  TTextProducer() = default;
  ~TTextProducer() override;

  // Frees the previous text when it was owned; ownership is taken only when
  // the flag is set and a text is given.
  void SetVectorText(TVectorText* text, bool owned);
  void SetVectorText(std::unique_ptr<TVectorText> text) { SetVectorText(text.release(), true); }
  TVectorText* VectorText() const { return fText; }

  uint8_t Alignment = 1;
  float LineSpacing = 0;
  // Called after each line and each background row; false stops.
  TBitmapProgress Progress;

  std::unique_ptr<TImage> Produce(TColor textColour, TColor background, const TString& name, float shiftX,
                                  float shiftY, bool strikeOut, bool underline, float scale);
  std::unique_ptr<TImage> Produce(TColor textColour, TColor background, float scale) {
    return Produce(textColour, background, TString(), 0, 0, false, false, scale);
  }

  const TRectList& LineRects() const { return fLineRects; }
  void ClearLineRects() { fLineRects.clear(); }

  // The picture size of the text at scale 1.
  static TPoint TextSize(const TVectorText& text, float lineSpacing);
  static float LineHeight(const TVectorText& text, float scale);

 private:
  void FillBar(const TTextLayout::TLine& line, float position, float size);

  TVectorText* fText = nullptr;
  bool fOwned = false;
  std::unique_ptr<TRasterHelper> fRaster;
  float fScale = 1;
  float fOriginX = 0, fOriginY = 0;
  TRectList fLineRects;
};

}  // namespace zel
