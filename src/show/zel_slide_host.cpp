#include "show/zel_slide_host.h"

#include "imaging/bitmap_store.h"
#include "show/slide_pictures.h"
#include "show/zel_source.h"

namespace zel {

TZelSlideHost::TZelSlideHost(TZelSource* source) : fSource(source) {}

TZelSlideHost::~TZelSlideHost() = default;

std::unique_ptr<TImage> TZelSlideHost::RequestPicture(TStringView name) {
  if (!fPictures) fPictures = std::make_unique<TSlidePictureMaker>(fSource ? fSource->Accessor() : nullptr);
  fPictures->SetShowArea(static_cast<int32_t>(fViewWidth), static_cast<int32_t>(fViewHeight));
  return fPictures->Make(name);
}

}  // namespace zel
