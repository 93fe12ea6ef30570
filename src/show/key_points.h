// The key-point list of one object: its key points sorted by time, the
// eased intervals of the pan, zoom and rotation groups, and the current
// values that setting a time computes for the object and its drawer.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "show/key_point.h"
#include "show/smoother.h"
#include "show/speed_storage.h"

namespace zel {

class TIniIdentList;

// The parameter groups that may follow an eased speed profile.
enum class TSpeedGroup : uint8_t { Pan = 0, Zoom = 1, Rotation = 2 };
inline constexpr int kSpeedGroupCount = 3;

// "PanSpeed", "ZoomSpeed", "RotateSpeed": the object keys of the texts.
const TString& SpeedKeyName(TSpeedGroup group);

class TKeyPointList : public TSmoother {
 public:
  TKeyPointList();
  ~TKeyPointList() override;
  TKeyPointList(const TKeyPointList&) = delete;
  TKeyPointList& operator=(const TKeyPointList&) = delete;

  // The time of an anchor on the slide that holds the list. A free list
  // sits on a slide whose anchors are all at 0.
  virtual double AnchorTime(TKeyPointAnchor anchor) const;

  int32_t Count() const noexcept { return static_cast<int32_t>(fKeyPoints.size()); }
  TKeyPoint& KeyPoint(int32_t index) const;
  // Anchor time + offset.
  double KeyPointTime(int32_t index) const;
  double KeyPointTime(const TKeyPoint& point) const { return AnchorTime(point.Anchor()) + point.Offset(); }

  // A key point with the current values at the anchor's time + offset,
  // placed after any key points of the same time. The speed storages take
  // in its time.
  TKeyPoint& AddKeyPoint(TKeyPointAnchor anchor, double offset);
  void DeleteKeyPoint(int32_t index);
  // Frees the key points and the speed storages.
  void Clear();
  // Re-evaluates the key-point times and sorts again, for when the slide's
  // times have moved. Key points of equal time keep their order.
  void Sort();

  // Computes the current values for time t.
  void SetTime(double t);
  double Time() const noexcept { return fTime; }
  // Whether the time lies between the slide's begin and end, both included.
  bool Active() const noexcept { return fActive; }

  const TKeyPointValues& Current() const noexcept { return fCurrent; }
  // The object's own setters; a key point added next takes these values.
  void SetCurrentValue(TKeyValue which, float value) noexcept { fCurrent.Set(which, value); }
  void SetCurrentColor(TKeyPointColor color) noexcept { fCurrent.SetColor(color); }
  void SetCurrentValues(const TKeyPointValues& values) noexcept { fCurrent = values; }

  bool PerspectiveCorrection() const noexcept { return fPerspective; }
  void SetPerspectiveCorrection(bool on) noexcept { fPerspective = on; }

  // The storage of a group, made from the current key points on first use.
  TSpeedStorage& SpeedStorage(TSpeedGroup group);
  // Nothing when the group has not needed one yet (it then moves linearly).
  const TSpeedStorage* FindSpeedStorage(TSpeedGroup group) const noexcept {
    const auto& storage = fStorages[static_cast<size_t>(group)];
    return storage ? &*storage : nullptr;
  }
  TSpeedStorage* FindSpeedStorage(TSpeedGroup group) noexcept {
    auto& storage = fStorages[static_cast<size_t>(group)];
    return storage ? &*storage : nullptr;
  }
  TString SpeedText(TSpeedGroup group) { return SpeedStorage(group).Text(); }
  bool ReadSpeedText(TSpeedGroup group, TStringView text) { return SpeedStorage(group).ReadText(text); }
  // The three texts under "PanSpeed", "ZoomSpeed" and "RotateSpeed"; a
  // missing key keeps the group as it is.
  void ReadSpeedTexts(const TIniIdentList& keys);
  void WriteSpeedTexts(TIniIdentList& keys);

  // Whether a key point was changed, added or removed since the last reset.
  bool KeyPointsChanged() const noexcept;
  void ResetChangeMarks() noexcept;

 private:
  using TAnchorTimes = std::array<double, kKeyPointAnchorCount>;
  TAnchorTimes AnchorTimes() const;
  static double TimeOf(const TAnchorTimes& anchors, const TKeyPoint& point) {
    return anchors[static_cast<size_t>(point.Anchor())] + point.Offset();
  }
  void SortBy(const TAnchorTimes& anchors);
  // The key-point times for these anchors, in list order. Kept between
  // calls: a frame sets the time on every object, and the slide's times
  // rarely move.
  const double* KeyPointTimes(const TAnchorTimes& anchors);
  void ForgetTimes() noexcept { fTimesValid = false; }
  // The interval of the storage that eases the group at t, or nothing.
  const TInterval* EasedInterval(const TSpeedStorage* storage, const double* times, double t) const;
  float PerspectiveFraction(const double* times, double t, float f) const;
  double PerspectiveTime(double t, double timeF, double timeL, const TKeyPoint& first, const TKeyPoint& last) const;
  void InterpolateLinear(std::span<const TKeyValue> values, const TKeyPoint& p, const TKeyPoint& q, float f);
  void InterpolateEased(std::span<const TKeyValue> values, const TInterval& interval, const double* times, double t,
                        bool perspective);

  std::vector<std::unique_ptr<TKeyPoint>> fKeyPoints;
  // Held in place rather than on the heap: every frame looks at them.
  std::array<std::optional<TSpeedStorage>, kSpeedGroupCount> fStorages;
  bool fPerspective = false;
  bool fListChanged = false;
  std::vector<double> fTimes;
  TAnchorTimes fTimesAnchors{};
  bool fTimesValid = false;
  double fTime = 0;
  bool fActive = false;
  TKeyPointValues fCurrent;
};

// The list an object owns: its anchors are those of the object's slide.
class TKeyPoints : public TKeyPointList {
 public:
  explicit TKeyPoints(const TAnchorTimeSource* owner = nullptr) : fOwner(owner) {}
  void SetOwner(const TAnchorTimeSource* owner) noexcept { fOwner = owner; }
  const TAnchorTimeSource* Owner() const noexcept { return fOwner; }
  double AnchorTime(TKeyPointAnchor anchor) const override;

 private:
  const TAnchorTimeSource* fOwner;
};

}  // namespace zel
