#include "show/slide_macro_values.h"

#include "imaging/bitmap_store.h"
#include "package/file_accessor.h"
#include "show/picture_object.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"
#include "show/zel_source.h"

namespace zel {

namespace {

bool IsPictureType(const TString& type) { return type == u"image" || type == u"mainimage"; }

const TZelImage* FindMainPictureBelow(const TZelObject& object) {
  for (const TZelObject* child : object.Children()) {
    const auto* picture = dynamic_cast<const TZelImage*>(child);
    if (picture && IsPictureType(child->TypeName()) && picture->ImageIndex() != kImageIndexNotSet) return picture;
    if (const TZelImage* inner = FindMainPictureBelow(*child)) return inner;
  }
  return nullptr;
}

}  // namespace

const TZelImage* FindMainPicture(const TZelObject& root) { return FindMainPictureBelow(root); }

TString TSlideMacroValues::Value(TMacroValue which) {
  const TZelSlide* slide = fText.Slide();
  const TZelSlideHost* host = slide ? slide->SlideHost() : nullptr;
  const TZelSource* source = host ? host->Source() : nullptr;
  const int64_t count = source ? source->SlideCount() : 0;
  switch (which) {
    case TMacroValue::SlideIndex: {
      if (!slide) return {};
      // Slides of later rounds of a repeating show count from 1 again.
      const int64_t index = slide->Index();
      const int64_t position = count > 0 ? ((index % count) + count) % count : index;
      return IntToStr(position + 1);
    }
    case TMacroValue::SlidesCount:
      return IntToStr(count);
    case TMacroValue::Width:
    case TMacroValue::Height:
      return PictureSize(which == TMacroValue::Width);
    case TMacroValue::PathNameExt:
      return MainPicture() ? MainPicture()->ImageName() : TString();
    case TMacroValue::ExifDateTime:
      return Metadata().ExifDateTime;
    case TMacroValue::ExifComment:
      return Metadata().ExifComment;
    case TMacroValue::ExifDescription:
      return Metadata().ExifDescription;
    default:
      return Metadata().Iptc(IptcDatasetOf(which));
  }
}

const TZelImage* TSlideMacroValues::MainPicture() {
  if (!fMainLooked) {
    fMainLooked = true;
    if (const TZelSlide* slide = fText.Slide()) fMain = FindMainPicture(*slide);
  }
  return fMain;
}

TString TSlideMacroValues::PictureSize(bool width) {
  const TZelImage* main = MainPicture();
  if (!main) return {};
  if (const TImage* picture = main->Picture()) return IntToStr(width ? picture->Width() : picture->Height());
  // Not loaded yet: the picture cache hands out the one copy the object
  // will show.
  TZelSlideHost* host = fText.Host();
  std::unique_ptr<TImage> picture = host ? host->RequestPicture(main->ImageName()) : nullptr;
  return picture ? IntToStr(width ? picture->Width() : picture->Height()) : TString();
}

const TPictureMetadata& TSlideMacroValues::Metadata() {
  if (fMetadata) return *fMetadata;
  fMetadata.emplace();
  const TZelImage* main = MainPicture();
  const TZelSlideHost* host = fText.Host();
  TFileAccessor* accessor = host && host->Source() ? host->Source()->Accessor() : nullptr;
  if (main && accessor && !main->ImageName().empty()) *fMetadata = ReadPictureMetadata(*accessor, main->ImageName());
  return *fMetadata;
}

}  // namespace zel
