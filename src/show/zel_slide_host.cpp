#include "show/zel_slide_host.h"

#include "imaging/bitmap_store.h"
#include "ini/ini_document.h"
#include "show/slide_pictures.h"
#include "show/zel_source.h"
#include "textout/vector_text.h"

namespace zel {

TZelSlideHost::TZelSlideHost(TZelSource* source) : fSource(source) {}

TZelSlideHost::~TZelSlideHost() = default;

TSlidePictureMaker& TZelSlideHost::Pictures() {
  if (!fPictures) {
    fPictures = std::make_unique<TSlidePictureMaker>(fSource ? fSource->Accessor() : nullptr);
    if (fSource) fPictures->SetPathToButtons(fSource->MainSection().ReadString(u"PathToButtons", u""));
  }
  fPictures->SetShowArea(static_cast<int32_t>(fViewWidth), static_cast<int32_t>(fViewHeight));
  return *fPictures;
}

std::unique_ptr<TImage> TZelSlideHost::RequestPicture(TStringView name) { return Pictures().Make(name); }

std::unique_ptr<TVectorText> TZelSlideHost::OpenVectorText(TStringView textPictureName) {
  return Pictures().OpenVectorText(textPictureName);
}

TButtonProducer* TZelSlideHost::ButtonProducer(const TString& theme) { return Pictures().ButtonProducer(theme); }

}  // namespace zel
