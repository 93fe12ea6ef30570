#include "textout/text_placeholder.h"

#include "package/picture_cache.h"
#include "textout/simple_vector_text.h"
#include "textout/text_producer.h"

namespace zel {

TRef<TBitmapStore> MakeTextPlaceholderPicture(TStringView name, bool streamExisted, bool forVideo) {
  const TPlaceholderText text = PlaceholderText(name, streamExisted, forVideo);
  const std::vector<TString> lines(std::begin(text.lines), std::end(text.lines));
  TTextProducer producer;
  producer.SetVectorText(std::make_unique<TSimpleVectorText>(TFontParams{}, lines));
  const std::unique_ptr<TImage> image = producer.Produce(MakeColor(255, 255, 0), MakeColor(0, 0, 255), 0.25f);
  return image->StoreRef();
}

void InstallTextPlaceholder() {
  SetPlaceholderMaker([](TStringView name, bool streamExisted, bool forVideo) -> TRef<TRefObj> {
    return MakeTextPlaceholderPicture(name, streamExisted, forVideo);
  });
}

}  // namespace zel
