#include "textout/text_picture.h"

#include "textout/simple_vector_text.h"
#include "textout/text_params.h"

namespace zel {

bool IsTextPictureName(TStringView name) { return name.starts_with(kTextPrefix); }

std::unique_ptr<TImage> ProduceTextPicture(TTextProducer& producer, TStringView name,
                                           const TVectorTextSource& cached) {
  const TParsedTextName parsed = ParseTextPictureName(name);
  const TTextParams& p = parsed.Params;
  std::unique_ptr<TVectorText> text;
  if (cached) text = cached(CachedVectorTextKey(name));
  if (!text) {
    TFontParams font;
    font.FontName = p.FontName;
    font.Style = p.Style;
    text = std::make_unique<TSimpleVectorText>(font, parsed.Lines);
  }
  producer.SetVectorText(std::move(text));
  producer.Alignment = p.Alignment;
  producer.LineSpacing = static_cast<float>(p.LineSpacing);
  producer.ClearLineRects();
  std::unique_ptr<TImage> picture =
      producer.Produce(p.Colour, NoAlpha(p.Colour), TString(name), p.ShiftX, p.ShiftY, (p.Style & fsStrikeOut) != 0,
                       (p.Style & fsUnderline) != 0, static_cast<float>(p.Size));
  picture->Store().Attach(std::make_unique<TRectListWrapper>(producer.LineRects()));
  return picture;
}

}  // namespace zel
