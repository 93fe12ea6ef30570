#include "player/first_slide_prefetch.h"

#include <algorithm>

#include "core/log.h"
#include "imaging/bitmap_store.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "player/slide_producer.h"
#include "show/picture_object.h"
#include "show/zel_slide.h"
#include "show/zel_source.h"

namespace zel {

namespace {

// The level each picture of the tree will be drawn at, decoded as the
// drawer asks for it.
int DecodePictures(TZelObject& object) {
  int decoded = 0;
  for (TZelObject* child : object.Children()) {
    if (auto* image = dynamic_cast<TZelImage*>(child); image && image->Picture()) {
      image->Picture()->GetMipLevel(std::max(0, image->Level()), FormatA8R8G8B8());
      ++decoded;
    }
    decoded += DecodePictures(*child);
  }
  return decoded;
}

}  // namespace

TFirstSlidePrefetch::TFirstSlidePrefetch(TFileAccessor& accessor, const TIniStorage& project,
                                         const TString& playerFileName, int32_t frameWidth, int32_t frameHeight,
                                         bool cover, double startTime)
    : fProject(std::make_unique<TIniStorage>()) {
  project.CloneChildrenInto(fProject.get());
  auto source = new TZelSource(&accessor, false, fProject.get(), false, playerFileName);
  fProducer = std::make_unique<TSlideProducer>(source, true);
  fThread = std::thread([this, frameWidth, frameHeight, cover, startTime] {
    Run(frameWidth, frameHeight, cover, startTime);
  });
}

TFirstSlidePrefetch::~TFirstSlidePrefetch() {
  Wait();
  fSlide.reset();
  fProducer.reset();
}

int TFirstSlidePrefetch::Wait() {
  if (fThread.joinable()) fThread.join();
  return fDecoded;
}

void TFirstSlidePrefetch::Run(int32_t frameWidth, int32_t frameHeight, bool cover, double startTime) {
  try {
    TZelSource& source = fProducer->Source();
    if (source.SlideCount() <= 0 || frameWidth <= 0 || frameHeight <= 0) return;
    fProducer->SetFrame(frameWidth, frameHeight, cover ? TFillMode::Cover : TFillMode::Fit, 100, 100);
    const int64_t n = std::max<int64_t>(0, source.SlideAtTime(startTime));
    fSlide = fProducer->BuildSlide(n % source.SlideCount(), n / source.SlideCount());
    if (fSlide) fDecoded = DecodePictures(*fSlide);
  } catch (const std::exception& e) {
    // The loader builds the slide again and reports what is wrong with it.
    Log().Write(std::string("First slide prefetch: ") + e.what());
  }
}

}  // namespace zel
