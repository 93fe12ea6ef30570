// Where "next slide", "previous slide" and "go to slide" take the show:
// times in the show's time line, worked out from the slides' records.
#pragma once

#include <cstdint>

namespace zel {

class TZelSource;
struct TZelActionInfo;

// Slide n (0-based; a negative n is the first): its start, or a
// millisecond later when it has no transition in (so the slide itself
// shows, not the one before), except at the end of a show that does not
// repeat.
double GoToSlideTarget(const TZelSource& source, int64_t n);
// The start of the next slide after t; while paused past its transition,
// so the slide shows whole.
double NextSlideTarget(const TZelSource& source, double t, bool paused);
// Back to the start of the current slide, or to the slide before when the
// current one began less than 500 ms ago.
double PreviousSlideTarget(const TZelSource& source, double t);
// The slide (0-based) a "gotoslide" record names: its 1-based number
// clamped to the show, or for number -1 the first slide whose identifier is
// the text (the first slide when none is).
int64_t SlideIndexForAction(const TZelSource& source, const TZelActionInfo& action);
// The slide containing t.
int64_t CurrentSlideIndex(const TZelSource& source, double t);

}  // namespace zel
