#include "show/speed_storage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "ini/ini_document.h"

namespace zel {

TSpeedStorage::TSpeedStorage(std::vector<int64_t> times) : fTimes(std::move(times)) {
  if (!fTimes.empty()) AddInterval(0, static_cast<int32_t>(fTimes.size()) - 1);
}

TInterval& TSpeedStorage::AddInterval(int32_t first, int32_t last) {
  fIntervals.push_back(TInterval{first, last, fDefaultA, fDefaultB});
  return fIntervals.back();
}

void TSpeedStorage::KeyPointInserted(int32_t index, int32_t oldCount, int64_t time) {
  const auto at = std::clamp<int64_t>(index, 0, static_cast<int64_t>(fTimes.size()));
  fTimes.insert(fTimes.begin() + at, time);
  if (index >= oldCount && oldCount > 0) {
    // A new last key point: the interval that reached the old end now
    // reaches the new one. An interval that stopped earlier keeps its end,
    // so the segments after it stay linear as they were.
    if (!fIntervals.empty() && fIntervals.back().last == oldCount - 1) fIntervals.back().last = index;
    return;
  }
  // At the front or inside: every index at or above the insertion moves up,
  // so an interval around the insertion grows by the new key point.
  for (TInterval& interval : fIntervals) {
    if (interval.first >= index) ++interval.first;
    if (interval.last >= index) ++interval.last;
  }
}

void TSpeedStorage::KeyPointRemoved(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < fTimes.size()) fTimes.erase(fTimes.begin() + index);
  std::vector<TInterval> kept;
  kept.reserve(fIntervals.size());
  for (TInterval interval : fIntervals) {
    if (interval.first > index) {
      --interval.first;
      --interval.last;
    } else if (interval.last >= index) {
      // The interval held the removed key point: it loses one key point.
      --interval.last;
    }
    // An interval of a single key point eases nothing.
    if (interval.first >= interval.last) continue;
    // Two intervals that shrank onto the same key points are one.
    if (!kept.empty() && kept.back().first == interval.first && kept.back().last == interval.last) continue;
    kept.push_back(interval);
  }
  fIntervals = std::move(kept);
}

TString SpeedTextNumber(long double value) {
  if (!std::isfinite(value)) value = 0;
  char small[64];
  const int n = std::snprintf(small, sizeof small, "%.16Lf", value);
  std::string text;
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    text.assign(small, static_cast<size_t>(n));
  } else {
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::snprintf(big.data(), big.size(), "%.16Lf", value);
    text.assign(big.data(), static_cast<size_t>(n));
  }
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return AsciiToString(text);
}

TString TSpeedStorage::Text() const {
  TString text;
  auto field = [&text](const TString& value) {
    text += value;
    text += u';';
  };
  field(IntToStr(static_cast<int64_t>(fTimes.size())));
  for (int64_t time : fTimes) field(IntToStr(time));
  field(IntToStr(static_cast<int64_t>(fIntervals.size())));
  for (const TInterval& interval : fIntervals) {
    field(IntToStr(interval.first));
    field(IntToStr(interval.last));
    field(SpeedTextNumber(interval.a));
    field(SpeedTextNumber(interval.b));
  }
  field(SpeedTextNumber(fDefaultA));
  field(SpeedTextNumber(fDefaultB));
  return text;
}

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

TStringView Trim(TStringView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Walks the ";"-terminated fields of a speed text.
class TSpeedTextReader {
 public:
  explicit TSpeedTextReader(TStringView text) : fText(text) {}

  bool AtEnd() const { return Trim(fText.substr(fPos)).empty(); }

  bool Field(TStringView& field) {
    const size_t end = fText.find(u';', fPos);
    if (end == TStringView::npos) return false;
    field = fText.substr(fPos, end - fPos);
    fPos = end + 1;
    return true;
  }

  bool Integer(int64_t& value, int64_t low, int64_t high) {
    TStringView field;
    if (!Field(field)) return false;
    const std::optional<int64_t> v = TryStrToInt(field);
    if (!v || *v < low || *v > high) return false;
    value = *v;
    return true;
  }

  bool Number(long double& value) {
    TStringView field;
    if (!Field(field)) return false;
    double v;
    if (!IniTextToFloat(Trim(field), v)) return false;
    value = v;
    return true;
  }

 private:
  TStringView fText;
  size_t fPos = 0;
};

}  // namespace

bool TSpeedStorage::ReadText(TStringView text) {
  constexpr int64_t kIndexLow = std::numeric_limits<int32_t>::min();
  constexpr int64_t kIndexHigh = std::numeric_limits<int32_t>::max();
  TSpeedTextReader reader(text);
  std::vector<int64_t> times;
  std::vector<TInterval> intervals;
  long double defaultA = fDefaultA, defaultB = fDefaultB;

  auto parse = [&]() {
    int64_t count;
    if (!reader.Integer(count, 0, kMaxSpeedTextCount)) return false;
    times.resize(static_cast<size_t>(count));
    for (int64_t& time : times)
      if (!reader.Integer(time, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()))
        return false;
    if (!reader.Integer(count, 0, kMaxSpeedTextCount)) return false;
    intervals.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
      int64_t first, last;
      TInterval interval;
      if (!reader.Integer(first, kIndexLow, kIndexHigh) || !reader.Integer(last, kIndexLow, kIndexHigh) ||
          !reader.Number(interval.a) || !reader.Number(interval.b))
        return false;
      interval.first = static_cast<int32_t>(first);
      interval.last = static_cast<int32_t>(last);
      // A one-key-point interval is left over from editing; it is kept only
      // where the storage has a single time to ease anyway.
      if (interval.first == interval.last && times.size() > 1) continue;
      intervals.push_back(interval);
    }
    if (reader.AtEnd()) return true;
    return reader.Number(defaultA) && reader.Number(defaultB);
  };

  if (!parse()) {
    fTimes.assign(1, 0);
    fIntervals.clear();
    return false;
  }
  fTimes = std::move(times);
  fIntervals = std::move(intervals);
  fDefaultA = defaultA;
  fDefaultB = defaultB;
  return true;
}

}  // namespace zel
