#include "player/slide_navigation.h"

#include <algorithm>
#include <cmath>

#include "show/action_info.h"
#include "show/zel_source.h"

namespace zel {

namespace {

// A slide that began this long ago counts as seen: "previous" returns to
// its start rather than to the slide before.
constexpr double kRestartAfterMs = 500;

double Round(double value) { return std::round(value); }

bool Repeats(const TZelSource& source) { return source.RepeatMode() == TRepeatMode::Repeat; }

// The slide after the last one: where a show that does not repeat ends.
bool IsEndPosition(const TZelSource& source, int64_t n) { return !Repeats(source) && n >= source.SlideCount(); }

}  // namespace

int64_t SlideIndexForAction(const TZelSource& source, const TZelActionInfo& action) {
  const int64_t count = source.SlideCount();
  if (count <= 0) return 0;
  if (action.number != -1) return std::clamp<int64_t>(static_cast<int64_t>(action.number) - 1, 0, count - 1);
  for (int64_t i = 0; i < count; ++i) {
    if (source.SlideTimes(i).slideId == action.text) return i;
  }
  return 0;
}

int64_t CurrentSlideIndex(const TZelSource& source, double t) { return source.SlideAtTime(t); }

double GoToSlideTarget(const TZelSource& source, int64_t n) {
  n = std::max<int64_t>(0, n);
  const TSlideInfo record = source.SlideTimes(n);
  if (record.inEffect != 0 || IsEndPosition(source, n)) return Round(record.start);
  return Round(record.start) + 1;
}

double NextSlideTarget(const TZelSource& source, double t, bool paused) {
  const bool repeats = Repeats(source);
  const int64_t last = repeats ? INT64_MAX : source.SlideCount();
  int64_t i = std::min(CurrentSlideIndex(source, t), last);
  double c = 0;
  do {
    ++i;
    c = Round(source.SlideTimes(i).start);
  } while (!(c > t) && i < last);
  const TSlideInfo record = source.SlideTimes(i);
  if (record.inEffect != 0 || IsEndPosition(source, i)) return paused ? c + Round(record.inEffect) : c;
  return c + 1;
}

double PreviousSlideTarget(const TZelSource& source, double t) {
  const int64_t i = std::max<int64_t>(0, CurrentSlideIndex(source, t));
  const TSlideInfo current = source.SlideTimes(i);
  const double p = Round(current.start + current.inEffect);
  if (t - p >= kRestartAfterMs) return p;
  // Before the second slide's the show's own start: the first slide then
  // fades in again.
  if (i <= 1) return 0;
  const TSlideInfo before = source.SlideTimes(i - 1);
  return Round(before.start + before.inEffect);
}

}  // namespace zel
