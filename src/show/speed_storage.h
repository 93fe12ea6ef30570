// The eased intervals of one parameter group (pan, zoom or rotation) and
// their project text.
//
// Text form: fields each followed by ";": N, then N key-point times
// (integers, ms); M, then M groups of first index, last index, A, B; then
// optionally the defaults A0 and B0 for new intervals. Counts lie between
// 0 and 10,000.
#pragma once

#include <cstdint>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

inline constexpr int32_t kMaxSpeedTextCount = 10000;

// An interval of key points, given by their 0-based positions in the
// time-sorted key-point list, and its speed profile: the ease-in ends at the
// fraction A of the interval and the ease-out starts at the fraction B.
struct TInterval {
  int32_t first = 0;
  int32_t last = 0;
  long double a = 0;
  long double b = 1;
  bool operator==(const TInterval&) const = default;
};

class TSpeedStorage : public TObj {
 public:
  TSpeedStorage() = default;
  // A storage for key points at these times: one linear interval from the
  // first to the last of them (none without times).
  explicit TSpeedStorage(std::vector<int64_t> times);

  const std::vector<int64_t>& Times() const noexcept { return fTimes; }
  const std::vector<TInterval>& Intervals() const noexcept { return fIntervals; }
  long double DefaultA() const noexcept { return fDefaultA; }
  long double DefaultB() const noexcept { return fDefaultB; }
  void SetDefaults(long double a, long double b) noexcept {
    fDefaultA = a;
    fDefaultB = b;
  }

  // Appends an interval with the default ease values.
  TInterval& AddInterval(int32_t first, int32_t last);
  void AddInterval(const TInterval& interval) { fIntervals.push_back(interval); }
  void ClearIntervals() noexcept { fIntervals.clear(); }

  // Follows a key point inserted at `index` into a list that held
  // `oldCount` key points.
  void KeyPointInserted(int32_t index, int32_t oldCount, int64_t time);
  // Follows the key point at `index` being removed.
  void KeyPointRemoved(int32_t index);

  TString Text() const;
  // Replaces times and intervals with those of the text. A text that does
  // not parse leaves a single time 0 and no intervals, so the group moves
  // linearly, and answers false.
  bool ReadText(TStringView text);

 private:
  std::vector<int64_t> fTimes;
  std::vector<TInterval> fIntervals;
  long double fDefaultA = 0;
  long double fDefaultB = 1;
};

// Numbers as the speed texts write them: up to 16 decimals, trailing
// zeros (and a bare ".") removed.
TString SpeedTextNumber(long double value);

}  // namespace zel
