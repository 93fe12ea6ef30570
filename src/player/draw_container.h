// One built slide of the window the engine draws: its absolute number
// (counting on past the last slide in a repeating show), its times shifted
// into its round, and the slide itself with the transition that leads into
// it. Shared between the loader and the engine, so neither frees a slide
// the other still draws.
#pragma once

#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "show/slide_times.h"
#include "show/zel_slide.h"
#include "player/slide_timing.h"

namespace zel {

class TDrawContainer : public TRefObj {
 public:
  // slide may be null: its build failed, and the window goes on without it.
  TDrawContainer(TRef<TTiming> timing, int64_t number, const TSlideInfo& record, double roundOffset,
                 std::unique_ptr<TZelSlide> slide);
  ~TDrawContainer() override;

  int64_t Number() const noexcept { return fNumber; }
  // Start, end, transitions and visibility end, in the show's time line.
  const TSlideInfo& Record() const noexcept { return fRecord; }
  // The time the slide's round begins: whole show lengths.
  double RoundOffset() const noexcept { return fRoundOffset; }
  TZelSlide* Slide() const noexcept { return fSlide.get(); }
  // The transition into the slide; none without a slide.
  const TZelFilter* Filter() const noexcept { return fSlide ? &fSlide->Filter() : nullptr; }
  const TTiming& Timing() const noexcept { return *fTiming; }

 private:
  TRef<TTiming> fTiming;
  int64_t fNumber;
  TSlideInfo fRecord;
  double fRoundOffset;
  std::unique_ptr<TZelSlide> fSlide;
};

}  // namespace zel
