// Turns slide numbers into built slides sized for the drawing area: the
// slide area from the frame, the show's design size and the fill mode; the
// slides visible at a show time; containers for the slide window; dialogs.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "core/exceptions.h"
#include "core/obj.h"
#include "imaging/geometry.h"
#include "player/draw_container.h"
#include "show/zel_slide_host.h"

namespace zel {

class TZelDialog;
class TZelSource;

// A show the player cannot lay out or build: "ZeroSize of Presentation!",
// "No Slides in Presentation".
ZEL_DECLARE_EXCEPTION(EPresentationError, TCommonException);

enum class TFillMode : uint8_t { Fit = 0, Cover = 1 };

// What the slide area is worked out from.
struct TSlideAreaInput {
  int32_t frameWidth = 0, frameHeight = 0;
  TFillMode fill = TFillMode::Fit;
  float scaleX = 100, scaleY = 100;  // percent
  double aspect = 1;                 // slide width / height
  int32_t designWidth = 0, designHeight = 0;
  bool fixedSize = false;
};

// The slide area: the largest area of the slides' aspect inside the frame
// (fit) or the smallest covering it (cover), at the scale; or, with a fixed
// size, the design size reduced to fit and never enlarged. An odd side
// smaller than the frame's grows by one pixel, so the area centres on
// whole pixels.
TObjectSize SlideAreaFor(const TSlideAreaInput& input);

// The range of slide numbers visible at a time: the first still visible,
// and the next when it has started too.
struct TSlideRange {
  int64_t first = 0, last = 0;
};

class TSlideProducer : public TObj {
 public:
  // The source is not owned unless owns is set.
  TSlideProducer(TZelSource* source, bool owns);
  ~TSlideProducer() override;

  TZelSource& Source() const noexcept { return *fSource; }
  TZelSlideHost& Host() noexcept { return fHost; }

  // Raises "ZeroSize of Presentation!" for a design height of 0 or less in
  // a project of a current version.
  void SetFrame(int32_t width, int32_t height, TFillMode fill, float scaleX, float scaleY);
  TObjectSize FrameSize() const noexcept { return {fFrameWidth, fFrameHeight}; }
  TObjectSize SlideArea() const noexcept { return fArea; }
  double Aspect() const noexcept { return fAspect; }
  TFillMode FillMode() const noexcept { return fFill; }
  // The slide area centred on the frame, cut to it.
  TRect DrawingRect() const;

  // Containers take this timing; none is a programming error there.
  void SetTiming(TRef<TTiming> timing) { fTiming = std::move(timing); }

  // Slide n (0 or more, taken modulo the slide count) of round `round`, or
  // the blank before the first slide for n = -1; null when its section is
  // missing or its build fails. Raises "No Slides in Presentation" for a
  // show without slides.
  std::unique_ptr<TZelSlide> BuildSlide(int64_t n, int64_t round);
  // The container of absolute slide number k (logged with a line of dots).
  TRef<TDrawContainer> MakeContainer(int64_t k);
  // Slide k's times in the show's time line (later rounds shifted).
  TSlideInfo SlideRecord(int64_t k) const;
  // Times are rounded to whole milliseconds; the search starts at the last
  // slide found.
  TSlideRange FindSlidesAt(double time);

  // The dialog of that name ("help", or one of the custom dialogs), or
  // none when the project has no section for it.
  std::unique_ptr<TZelDialog> BuildDialog(TStringView name);

 private:
  std::unique_ptr<TZelSlide> BuildShowSlide(int64_t n, int64_t round);
  std::unique_ptr<TZelSlide> BuildBlankSlide();
  void LayOut(TZelSlide& slide) const;

  TZelSource* fSource;
  bool fOwnsSource;
  TZelSlideHost fHost;
  int32_t fFrameWidth = 0, fFrameHeight = 0;
  TFillMode fFill = TFillMode::Fit;
  float fScaleX = 100, fScaleY = 100;
  double fAspect = 1;
  TObjectSize fArea;
  TRef<TTiming> fTiming;
  int64_t fLastIndex = -1;
};

}  // namespace zel
