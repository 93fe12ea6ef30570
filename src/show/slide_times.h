// The show's time table: when each slide begins and ends, how long the
// transitions into and out of it last, which slide a show time falls on
// (also across repeats), and what a slide does when its time is over.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/exceptions.h"
#include "core/strings.h"
#include "show/key_point.h"

namespace zel {

class TIniIdentList;

// A project whose slide end times go backwards cannot be played.
ZEL_DECLARE_EXCEPTION(ESlideTimeError, TCommonException);
extern const char* const kIncorrectTimeMessage;  // "Incorrect time"

// Where the virtual slides before the show lie: position -1 leads up to the
// show's start, every position below -1 lies before that.
inline constexpr double kBeforeShowStart = -1073741823.0;
inline constexpr double kFarBeforeShowStart = -2147483647.0;

// One slide position on the show's time line, in milliseconds.
struct TSlideInfo {
  double start = 0;      // the slide begins ("SlideBegin")
  double end = 0;        // the next slide begins ("NextEffectBegin")
  double inEffect = 0;   // transition into this slide, at most end - start
  double outEffect = 0;  // transition into the next slide
  double outEnd = 0;     // end + outEffect ("SlideEnd")
  TString slideId;

  bool operator==(const TSlideInfo&) const = default;
};
using TSlideInfoList = std::vector<TSlideInfo>;

// The key-point anchors of a slide with these times.
TSlideAnchorTimes SlideAnchorTimes(const TSlideInfo& info);

// The identifier of a slide: its "slideid", or else the file name of its
// "picture" without folders and extension. Empty without a section.
TString SlideIdOf(const TIniIdentList* slideSection);

class TSlideTimeTable {
 public:
  // The slide section at a position, or null.
  using TSectionAt = std::function<const TIniIdentList*(int32_t position)>;
  // The duration of the transition into the slide at a position.
  using TEffectDurationAt = std::function<double(int32_t position)>;

  TSlideTimeTable() = default;

  // Reads the end of every slide ("opt_synchpos" followed by position + 1)
  // from the main section. Raises ESlideTimeError with "Incorrect time"
  // when an end lies before the one of the slide before it.
  static TSlideTimeTable Build(const TIniIdentList& main, int32_t count, const TSectionAt& sectionAt,
                               const TEffectDurationAt& effectDurationAt);

  const TSlideInfoList& Slides() const noexcept { return fSlides; }
  int32_t Count() const noexcept { return static_cast<int32_t>(fSlides.size()); }
  // The end of the last slide.
  double TotalLength() const noexcept { return fTotal; }

  // The times of any position: past the last slide the table repeats, one
  // show length later each round; -1 is a virtual slide that ends where
  // the show starts, and every position below it lies further back. Asking
  // a table without slides is a programming error.
  TSlideInfo SlideTimes(int64_t position) const;

  // The first position, counting up from -1, whose start <= time <= end.
  // Times before the virtual slide -1 give -2. When every slide lasts
  // nothing, a time after the start gives the last slide.
  int64_t SlideAtTime(double time) const;

 private:
  TSlideInfoList fSlides;
  std::vector<double> fEnds;  // for the search by time
  double fTotal = 0;
};

// What happens when a slide's time is over.
struct TSlideEndBehaviour {
  bool stops = false;     // stop and wait for the user
  double loopLength = 0;  // > 0: play the slide's animation again, this long each time

  bool operator==(const TSlideEndBehaviour&) const = default;
};

// A slide with personal settings decides by "Pers_EndAction" ("pause",
// "loop", or empty for the show's rule); the show's rule stops at every
// slide when "opt_manualshow" is "1". A loop that would last nothing goes
// on instead.
TSlideEndBehaviour SlideEndBehaviourOf(const TIniIdentList* slideSection, const TIniIdentList& main,
                                       const TSlideInfo& times);

// The program a slide runs ("RunAppFN" with "UsePersonal" and
// "Pers_RunApp"); nothing when there is none or the name is empty.
std::optional<TString> SlideProgramOf(const TIniIdentList* slideSection);

}  // namespace zel
