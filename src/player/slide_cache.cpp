#include "player/slide_cache.h"

#include <algorithm>

#include "player/slide_producer.h"

namespace zel {

void TSlideData::Add(TRef<TDrawContainer> container) {
  ZEL_ASSERT(Count() < kMaxSlides, "TSlideData: more than three slides");
  fContainers.push_back(std::move(container));
}

TSlideCache::TSlideCache(TSlideProducer* producer, bool owns, int capacity)
    : fProducer(producer), fOwnsProducer(owns), fCapacity(std::clamp(capacity, 1, 3)) {}

TSlideCache::~TSlideCache() {
  fContainers.clear();
  if (fOwnsProducer) delete fProducer;
}

std::unique_ptr<TSlideData> TSlideCache::Window() const {
  auto data = std::make_unique<TSlideData>();
  for (const auto& container : fContainers) data->Add(container);
  return data;
}

bool TSlideCache::Holds(int64_t number) const {
  return std::any_of(fContainers.begin(), fContainers.end(),
                     [number](const TRef<TDrawContainer>& c) { return c->Number() == number; });
}

void TSlideCache::FreeOutside(int64_t first, int64_t last) {
  // The last container standing stays, so that there is always something
  // to draw until its successor is built.
  for (size_t i = 0; i < fContainers.size() && fContainers.size() >= 2;) {
    const int64_t number = fContainers[i]->Number();
    if (number >= first && number <= last) {
      ++i;
      continue;
    }
    fContainers.erase(fContainers.begin() + static_cast<std::ptrdiff_t>(i));
    if (fOnChange) fOnChange(*this);
  }
}

bool TSlideCache::Update(double time) {
  const TSlideRange range = fProducer->FindSlidesAt(time);
  const int64_t first = range.first, last = range.first + fCapacity - 1;
  FreeOutside(first, last);
  int64_t missing = first;
  while (missing <= last && Holds(missing)) ++missing;
  if (missing > last) return false;
  TRef<TDrawContainer> container = fProducer->MakeContainer(missing);
  if (fOnNew) fOnNew(*container);
  const auto at = std::find_if(fContainers.begin(), fContainers.end(),
                               [missing](const TRef<TDrawContainer>& c) { return c->Number() > missing; });
  fContainers.insert(at, std::move(container));
  if (fOnChange) fOnChange(*this);
  return true;
}

bool TSlideCache::Complete(double time) {
  const TSlideRange range = fProducer->FindSlidesAt(time);
  for (int64_t n = range.first; n < range.first + fCapacity; ++n)
    if (!Holds(n)) return false;
  return true;
}

}  // namespace zel
