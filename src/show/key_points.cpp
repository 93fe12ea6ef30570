#include "show/key_points.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ini/ini_document.h"

namespace zel {

namespace {

constexpr TKeyValue kPanValues[] = {TKeyValue::PositionX, TKeyValue::PositionY, TKeyValue::Depth};
constexpr TKeyValue kZoomValues[] = {TKeyValue::ScaleX, TKeyValue::ScaleY};
constexpr TKeyValue kRotationValues[] = {TKeyValue::Angle, TKeyValue::AngleX, TKeyValue::AngleY};
constexpr TKeyValue kPlainValues[] = {TKeyValue::Opacity, TKeyValue::Blur, TKeyValue::ColorDegree,
                                      TKeyValue::CenterX, TKeyValue::CenterY};

// Key-point times as the speed storages record them: whole milliseconds.
int64_t RoundTime(double time) {
  if (!(time == time)) return 0;
  constexpr double kLimit = 9.2e18;  // inside the int64 range
  return static_cast<int64_t>(std::round(std::clamp(time, -kLimit, kLimit)));
}

uint8_t MixChannel(uint8_t p, uint8_t q, float f) {
  const float v = static_cast<float>(p) + static_cast<float>(static_cast<int>(q) - static_cast<int>(p)) * f;
  return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// An interval eases its group when either ease phase is at least half a
// percent of it; otherwise the group moves linearly.
// (Double precision is plenty for a percentage and much cheaper to round
// than the stored long doubles; every frame asks for every object.)
bool IsEased(const TInterval& interval) {
  return std::lround(static_cast<double>(interval.a) * 100) != 0 ||
         std::lround((1 - static_cast<double>(interval.b)) * 100) != 0;
}

}  // namespace

const TString& SpeedKeyName(TSpeedGroup group) {
  static const TString names[kSpeedGroupCount] = {u"PanSpeed", u"ZoomSpeed", u"RotateSpeed"};
  return names[static_cast<size_t>(group) % kSpeedGroupCount];
}

TKeyPointList::TKeyPointList() = default;
TKeyPointList::~TKeyPointList() = default;

double TKeyPointList::AnchorTime(TKeyPointAnchor) const { return 0; }

TKeyPointList::TAnchorTimes TKeyPointList::AnchorTimes() const {
  TAnchorTimes anchors;
  for (int i = 0; i < kKeyPointAnchorCount; ++i) anchors[i] = AnchorTime(static_cast<TKeyPointAnchor>(i));
  return anchors;
}

TKeyPoint& TKeyPointList::KeyPoint(int32_t index) const {
  ZEL_ASSERT(index >= 0 && index < Count(), "Key point index out of range");
  return *fKeyPoints[static_cast<size_t>(index)];
}

double TKeyPointList::KeyPointTime(int32_t index) const { return KeyPointTime(KeyPoint(index)); }

void TKeyPointList::SortBy(const TAnchorTimes& anchors) {
  std::stable_sort(fKeyPoints.begin(), fKeyPoints.end(),
                   [&anchors](const std::unique_ptr<TKeyPoint>& a, const std::unique_ptr<TKeyPoint>& b) {
                     return TimeOf(anchors, *a) < TimeOf(anchors, *b);
                   });
}

void TKeyPointList::Sort() {
  SortBy(AnchorTimes());
  ForgetTimes();
}

const double* TKeyPointList::KeyPointTimes(const TAnchorTimes& anchors) {
  if (!fTimesValid || anchors != fTimesAnchors) {
    fTimes.resize(fKeyPoints.size());
    for (size_t i = 0; i < fKeyPoints.size(); ++i) fTimes[i] = TimeOf(anchors, *fKeyPoints[i]);
    fTimesAnchors = anchors;
    fTimesValid = true;
  }
  return fTimes.data();
}

TKeyPoint& TKeyPointList::AddKeyPoint(TKeyPointAnchor anchor, double offset) {
  const TAnchorTimes anchors = AnchorTimes();
  SortBy(anchors);
  ForgetTimes();
  auto point = std::make_unique<TKeyPoint>(anchor, offset, fCurrent);
  const double time = TimeOf(anchors, *point);
  const auto at = std::upper_bound(fKeyPoints.begin(), fKeyPoints.end(), time,
                                   [&anchors](double t, const std::unique_ptr<TKeyPoint>& p) {
                                     return t < TimeOf(anchors, *p);
                                   });
  const auto index = static_cast<int32_t>(at - fKeyPoints.begin());
  const int32_t oldCount = Count();
  TKeyPoint& added = **fKeyPoints.insert(at, std::move(point));
  for (auto& storage : fStorages)
    if (storage) storage->KeyPointInserted(index, oldCount, RoundTime(time));
  fListChanged = true;
  return added;
}

void TKeyPointList::DeleteKeyPoint(int32_t index) {
  ZEL_ASSERT(index >= 0 && index < Count(), "Key point index out of range");
  fKeyPoints.erase(fKeyPoints.begin() + index);
  ForgetTimes();
  for (auto& storage : fStorages)
    if (storage) storage->KeyPointRemoved(index);
  fListChanged = true;
}

void TKeyPointList::Clear() {
  fKeyPoints.clear();
  ForgetTimes();
  for (auto& storage : fStorages) storage.reset();
  fListChanged = true;
}

TSpeedStorage& TKeyPointList::SpeedStorage(TSpeedGroup group) {
  auto& storage = fStorages[static_cast<size_t>(group)];
  if (!storage) {
    const TAnchorTimes anchors = AnchorTimes();
    std::vector<int64_t> times;
    times.reserve(fKeyPoints.size());
    for (const auto& point : fKeyPoints) times.push_back(RoundTime(TimeOf(anchors, *point)));
    storage.emplace(std::move(times));
  }
  return *storage;
}

void TKeyPointList::ReadSpeedTexts(const TIniIdentList& keys) {
  for (int g = 0; g < kSpeedGroupCount; ++g) {
    const auto group = static_cast<TSpeedGroup>(g);
    TSpeedStorage& storage = SpeedStorage(group);
    storage.ReadText(keys.ReadString(SpeedKeyName(group), storage.Text()));
  }
}

void TKeyPointList::WriteSpeedTexts(TIniIdentList& keys) {
  for (int g = 0; g < kSpeedGroupCount; ++g) {
    const auto group = static_cast<TSpeedGroup>(g);
    keys.FindOrCreateKey(SpeedKeyName(group))->SetValue(SpeedText(group));
  }
}

bool TKeyPointList::KeyPointsChanged() const noexcept {
  if (fListChanged) return true;
  return std::any_of(fKeyPoints.begin(), fKeyPoints.end(), [](const auto& p) { return p->Changed(); });
}

void TKeyPointList::ResetChangeMarks() noexcept {
  fListChanged = false;
  for (auto& point : fKeyPoints) point->SetChanged(false);
}

const TInterval* TKeyPointList::EasedInterval(const TSpeedStorage* storage, const double* times, double t) const {
  if (!storage) return nullptr;
  const int32_t count = Count();
  for (const TInterval& interval : storage->Intervals()) {
    // A text written for other key points may name positions this list
    // does not have; such an interval is passed over.
    if (interval.first < 0 || interval.last >= count || interval.first > interval.last) continue;
    if (times[interval.first] > t) return nullptr;
    if (t <= times[interval.last])
      return IsEased(interval) ? &interval : nullptr;
  }
  return nullptr;
}

float TKeyPointList::PerspectiveFraction(const double* times, double t, float f) const {
  if (!fPerspective) return f;
  for (size_t k = 0; k + 1 < fKeyPoints.size(); ++k) {
    if (times[k] <= t && t <= times[k + 1]) {
      const float next = fKeyPoints[k + 1]->Values().ScaleX();
      if (next == 0) return f;
      // A zoom from scale s0 to s1 moves evenly in depth, not in scale:
      // the picture covers the distance in the proportion s0/s1 early on.
      const float s = fKeyPoints[k]->Values().ScaleX() / next;
      return f * s / (1 - f * (1 - s));
    }
  }
  return f;
}

double TKeyPointList::PerspectiveTime(double t, double timeF, double timeL, const TKeyPoint& first,
                                      const TKeyPoint& last) const {
  const double span = timeL - timeF;
  if (!(span > 0)) return t;
  const double c = (t - timeF) / span;
  if (!(c > 0 && c < 1)) return t;
  const double end = last.Values().ScaleX();
  if (end == 0) return t;
  const double s = first.Values().ScaleX() / end;
  return timeF + span * c * s / (1 - c * (1 - s));
}

void TKeyPointList::InterpolateLinear(std::span<const TKeyValue> values, const TKeyPoint& p, const TKeyPoint& q,
                                      float f) {
  for (TKeyValue v : values) {
    const float a = p.Values().Get(v);
    const float b = q.Values().Get(v);
    fCurrent.fValues[static_cast<size_t>(v)] = a + (b - a) * f;
  }
}

void TKeyPointList::InterpolateEased(std::span<const TKeyValue> values, const TInterval& interval,
                                     const double* times, double t, bool perspective) {
  const TKeyPoint& first = *fKeyPoints[static_cast<size_t>(interval.first)];
  const TKeyPoint& last = *fKeyPoints[static_cast<size_t>(interval.last)];
  const double timeF = times[interval.first];
  const double timeL = times[interval.last];
  const auto tF = static_cast<double>(RoundTime(timeF));
  const auto d = static_cast<float>(static_cast<double>(RoundTime(timeL)) - tF);
  // Ease fractions outside 0 <= A <= B <= 1 would give phases of negative
  // length and values beyond the end points; they are held to that order.
  const long double a = std::clamp<long double>(interval.a, 0, 1);
  const long double b = std::clamp<long double>(interval.b, a, 1);
  const auto accel = static_cast<float>(a * d);
  const auto constant = static_cast<float>((b - a) * d);
  const auto decel = static_cast<float>((1 - b) * d);
  const double tt = perspective && fPerspective ? PerspectiveTime(t, timeF, timeL, first, last) : t;
  const auto x = static_cast<float>(tt - tF);
  for (TKeyValue v : values) {
    Setup(first.Values().Get(v), last.Values().Get(v), accel, constant, decel);
    fCurrent.fValues[static_cast<size_t>(v)] = Value(x);
  }
}

void TKeyPointList::SetTime(double t) {
  fTime = t;
  const TAnchorTimes anchors = AnchorTimes();
  fActive = anchors[static_cast<size_t>(TKeyPointAnchor::SlideBegin)] <= t &&
            t <= anchors[static_cast<size_t>(TKeyPointAnchor::SlideEnd)];
  const size_t count = fKeyPoints.size();
  if (count == 0) return;

  const double* times = KeyPointTimes(anchors);
  size_t i = 0;
  while (i < count && times[i] <= t) ++i;
  if (i == 0 || i == count) {
    fCurrent = fKeyPoints[i == 0 ? 0 : count - 1]->Values();
    return;
  }

  const TKeyPoint& p = *fKeyPoints[i - 1];
  const TKeyPoint& q = *fKeyPoints[i];
  const double timeP = times[i - 1];
  const double span = times[i] - timeP;
  float f = span > 0 ? static_cast<float>(t - timeP) / static_cast<float>(span) : 0.0f;
  // Only a list left unsorted after its slide's times moved can put the
  // fraction outside 0..1; the values stay between the two key points.
  f = std::clamp(f, 0.0f, 1.0f);

  InterpolateLinear(kPlainValues, p, q, f);
  const TKeyPointColor& cp = p.Values().Color();
  const TKeyPointColor& cq = q.Values().Color();
  fCurrent.fColor = {MixChannel(cp.red, cq.red, f), MixChannel(cp.green, cq.green, f),
                     MixChannel(cp.blue, cq.blue, f)};

  if (const TInterval* eased = EasedInterval(FindSpeedStorage(TSpeedGroup::Rotation), times, t))
    InterpolateEased(kRotationValues, *eased, times, t, false);
  else
    InterpolateLinear(kRotationValues, p, q, f);

  const TInterval* easedZoom = EasedInterval(FindSpeedStorage(TSpeedGroup::Zoom), times, t);
  const TInterval* easedPan = EasedInterval(FindSpeedStorage(TSpeedGroup::Pan), times, t);
  const float corrected = easedZoom && easedPan ? f : PerspectiveFraction(times, t, f);
  if (easedZoom)
    InterpolateEased(kZoomValues, *easedZoom, times, t, true);
  else
    InterpolateLinear(kZoomValues, p, q, corrected);
  if (easedPan)
    InterpolateEased(kPanValues, *easedPan, times, t, true);
  else
    InterpolateLinear(kPanValues, p, q, corrected);
}

double TKeyPoints::AnchorTime(TKeyPointAnchor anchor) const {
  return fOwner ? fOwner->AnchorTime(anchor) : TKeyPointList::AnchorTime(anchor);
}

}  // namespace zel
