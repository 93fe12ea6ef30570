#include "textout/text_producer.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {
int Nint(double v) { return static_cast<int>(std::nearbyint(v)); }
int Ceil(double v) { return static_cast<int>(std::ceil(v)); }
int Floor(double v) { return static_cast<int>(std::floor(v)); }
}  // namespace

TTextLayout LayoutText(const TVectorText& text, float scale, float lineSpacing) {
  TTextLayout layout;
  const double s = scale;
  const TFontMetrics& fm = text.FontMetrics();
  const double lineHeight = s * (fm.Ascent + fm.Descent);
  double y = 0;
  for (int i = 0; i < text.LineCount(); ++i) {
    TTextLayout::TLine line;
    line.Metrics = text.LineMetrics(i);
    line.Rect = {0, Floor(-s * fm.Ascent), Ceil(s * line.Metrics.AdvanceWidth), Ceil(s * fm.Descent)};
    layout.W = std::max(layout.W, line.Rect.Width());
    if (i > 0) y += lineHeight * lineSpacing / 200;
    line.Y = static_cast<float>(y);
    y += lineHeight;
    layout.L = std::max(layout.L, static_cast<float>(s * -line.Metrics.LeftBearing));
    layout.R = std::max(layout.R, static_cast<float>(s * -line.Metrics.RightBearing));
    layout.P = std::max(layout.P, static_cast<float>(s * line.Metrics.Ascent));
    layout.Q = std::max(layout.Q, static_cast<float>(s * line.Metrics.Descent));
    layout.Lines.push_back(line);
  }
  layout.H = static_cast<float>(y);
  return layout;
}

TTextProducer::~TTextProducer() {
  if (fOwned) delete fText;
}

void TTextProducer::SetVectorText(TVectorText* text, bool owned) {
  if (fOwned && fText != text) delete fText;
  fText = text;
  fOwned = owned && text;
}

TPoint TTextProducer::TextSize(const TVectorText& text, float lineSpacing) {
  const TTextLayout layout = LayoutText(text, 1, lineSpacing);
  const TFontMetrics& fm = text.FontMetrics();
  const double height = layout.H + layout.P + layout.Q - (fm.Ascent + fm.Descent);
  return {std::max(1, layout.W), std::max(1, Nint(height))};
}

float TTextProducer::LineHeight(const TVectorText& text, float scale) {
  return static_cast<float>((text.FontMetrics().Ascent + text.FontMetrics().Descent) * static_cast<double>(scale));
}

void TTextProducer::FillBar(const TTextLayout::TLine& line, float position, float size) {
  TPath bar;
  const float right = static_cast<float>(Nint(line.Metrics.InkWidth + line.Metrics.RightBearing));
  bar.AddRectangle(0, static_cast<float>(Nint(-position)), right, static_cast<float>(Nint(size - position)));
  fRaster->FillPath(bar, false);
}

std::unique_ptr<TImage> TTextProducer::Produce(TColor textColour, TColor background, const TString& name,
                                               float shiftX, float shiftY, bool strikeOut, bool underline,
                                               float scale) {
  fLineRects.clear();
  if (!fRaster) fRaster = std::make_unique<TRasterHelper>();
  const double s = scale;
  fScale = scale;
  TTextLayout layout;
  TFontMetrics fm;
  if (fText) {
    layout = LayoutText(*fText, scale, LineSpacing);
    fm = fText->FontMetrics();
  }

  fRaster->FillColor = textColour;
  fRaster->SetTransformFunction([this](float& x, float& y) {
    x = x * fScale + fOriginX;
    y = y * fScale + fOriginY;
  });
  const int width = Ceil(layout.L) + Nint(layout.W) + Ceil(layout.R) + 2;
  const int height = Ceil(layout.P - s * fm.Ascent) + Nint(layout.H) + Ceil(layout.Q - s * fm.Descent) + 2;
  fRaster->BeginPaint(std::max(1, width), std::max(1, height), NoAlpha(textColour));

  bool go = true;
  const size_t lineCount = layout.Lines.size();
  for (size_t i = 0; i < lineCount && go; ++i) {
    const TTextLayout::TLine& line = layout.Lines[i];
    double x = shiftX + 1.0;
    const double y = line.Y + shiftY + 1.0;
    if (Alignment == 1) x = Nint(layout.W) / 2.0 + x - line.Rect.Width() / 2.0;
    else if (Alignment == 2) x = Nint(layout.W) + x - line.Rect.Right;
    TRect rect = line.Rect;
    const int dx = Nint(x), dy = Nint(s * fm.Ascent + y);
    rect.Left += dx, rect.Right += dx, rect.Top += dy, rect.Bottom += dy;
    fLineRects.push_back(rect);

    const int line_index = static_cast<int>(i);
    for (int g = 0; g < fText->GlyphCount(line_index); ++g) {
      const TGlyphMetrics gm = fText->GlyphMetrics(line_index, g);
      fOriginX = static_cast<float>(x + s * gm.X + layout.L);
      fOriginY = static_cast<float>(y + layout.P);
      fRaster->FillPath(fText->GlyphPath(line_index, g), false);
    }
    fOriginX = static_cast<float>(x + layout.L);
    fOriginY = static_cast<float>(y + layout.P);
    if (underline) FillBar(line, fm.UnderlinePosition, fm.UnderlineSize);
    if (strikeOut) FillBar(line, fm.StrikeoutPosition, fm.StrikeoutSize);
    if (Progress) go = Progress(static_cast<float>(i + 1) / static_cast<float>(lineCount));
  }
  std::unique_ptr<TDirectBitmap> bitmap = fRaster->EndPaint();
  fRaster->ResetTransform();

  if (background != NoAlpha(textColour)) {
    for (int row = 0; row < bitmap->Height(); ++row) {
      auto* pixels = reinterpret_cast<uint32_t*>(bitmap->ScanLine(row));
      for (int col = 0; col < bitmap->Width(); ++col) {
        const uint32_t a = AlphaOf(pixels[col]);
        if (a == 255) continue;
        pixels[col] = a == 0 ? background : BlendOver(background, pixels[col]);
      }
      if (Progress && !Progress(static_cast<float>(row + 1) / static_cast<float>(bitmap->Height()))) break;
    }
  }
  return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(name, std::move(bitmap)));
}

}  // namespace zel
