#include "player/draw_container.h"

namespace zel {

TDrawContainer::TDrawContainer(TRef<TTiming> timing, int64_t number, const TSlideInfo& record, double roundOffset,
                               std::unique_ptr<TZelSlide> slide)
    : fTiming(std::move(timing)), fNumber(number), fRecord(record), fRoundOffset(roundOffset), fSlide(std::move(slide)) {}

TDrawContainer::~TDrawContainer() = default;

}  // namespace zel
