#include "show/zel_slide.h"

#include <cmath>
#include <mutex>
#include <numbers>
#include <unordered_set>
#include <vector>

#include "core/exceptions.h"
#include "core/loader_callback.h"
#include "core/obj.h"
#include "ini/ini_document.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

std::mutex gCallbackLock;
TSlideLoadingCallback gLoadingCallback;

bool CallSlideLoadingCallback(TZelSlide& slide) {
  // A loading thread told to stop drops the slide it is building.
  if (ThreadStopRequested()) throw EAbort();
  TSlideLoadingCallback callback;
  {
    std::lock_guard lock(gCallbackLock);
    callback = gLoadingCallback;
  }
  return !callback || callback(slide);
}

const double kTan30 = std::tan(std::numbers::pi / 6);

// Every object below the slide, depth first in project order.
template <class Visit>
void EachDescendant(const TZelObject& object, Visit&& visit) {
  for (TZelObject* child : object.Children()) {
    visit(*child);
    EachDescendant(*child, visit);
  }
}

}  // namespace

void SetSlideLoadingCallback(TSlideLoadingCallback callback) {
  std::lock_guard lock(gCallbackLock);
  gLoadingCallback = std::move(callback);
}

TZelSlide::TZelSlide(TZelSlideHost* host, int64_t index) : TZelObject(nullptr, u""), fIndex(index), fHost(host) {
  fSlide = this;
  SetTypeName(u"slide");
}

TZelSlide::~TZelSlide() { FreeChildren(); }

void TZelSlide::SetTimes(double start, double end, double inEffect, double outEffect) {
  fStart = start;
  fEnd = end;
  fInEffect = inEffect;
  fOutEffect = outEffect;
  fAnchors.Set(start, end, inEffect, outEffect);
  // Key points tied to the slide's anchors move with them.
  EachDescendant(*this, [](TZelObject& object) { object.KeyPoints().Sort(); });
  KeyPoints().Sort();
  fSizesStale = true;
}

void TZelSlide::Load(const TIniIdentList& main, const TCommonIniSection& section, bool timesGiven,
                     const TSlideInfo& times) {
  if (timesGiven) {
    SetTimes(times.start, times.end, times.inEffect, times.outEffect);
  } else {
    // The start is the end of the slide before; the end is the show's end
    // for this slide, and nothing past the last one.
    const int32_t count = main.ReadInteger(u"opt_slidescount", 0);
    const bool valid = fIndex >= 0 && fIndex < count;
    const double start = fIndex > 0 && fIndex <= count ? main.ReadFloat(u"opt_synchpos" + IntToStr(fIndex), 0) : 0;
    const double end =
        valid ? main.ReadFloat(u"opt_synchpos" + IntToStr(fIndex + 1), std::round(start)) : start;
    SetTimes(start, end, times.inEffect, times.outEffect);
  }
  fBackgrounds[0] = ReadSlideBackground(main, &section);
  fBackgrounds[1] = fBackgrounds[0];
  fCrossFade = 0;
  ReadFromProject(section);
}

void TZelSlide::SetLayout(TObjectSize size, float scaleX, float scaleY, const T3DVector& centre) {
  SetSize(size);
  KeyPoints().SetCurrentValue(TKeyValue::ScaleX, scaleX);
  KeyPoints().SetCurrentValue(TKeyValue::ScaleY, scaleY);
  fCentre = centre;
  fSizesStale = true;
}

TParentFrame TZelSlide::ParentFrame() const {
  TParentFrame frame;
  frame.origin = fCentre;
  frame.zAxis = {0, 0, fDepthScale};
  return frame;
}

void TZelSlide::SetTime(double t, bool withChildren) {
  fShowTime = t;
  fTimeInSlide = t - fStart;
  TZelObject::SetTime(t, withChildren);
}

void TZelSlide::DrawSelf(TDeviceDrawer& drawer) {
  if (fNoBackground) return;
  const TFloatPoint corner = CornerOffset();
  const TSlideArea area{{Origin(), XAxis(), YAxis(), {-corner.x, -corner.y}},
                        static_cast<float>(Size().width),
                        static_cast<float>(Size().height)};
  const float opacity = EffectiveOpacity();
  const float second = fCrossFade / 255.0f;
  if (second < 1) fBackgroundPainter.Draw(drawer, fBackgrounds[0], opacity * (1 - second), area, fHost);
  if (second > 0) fBackgroundPainter.Draw(drawer, fBackgrounds[1], opacity * second, area, fHost);
}

void TZelSlide::ReleaseResources(TDeviceDrawer& drawer) {
  fBackgroundPainter.Release(drawer);
  TZelObject::ReleaseResources(drawer);
}

void TZelSlide::UpdateDepthScale() {
  // The eye's distance in front of the slide plane against the slide's
  // drawn height, so the depth of a tree looks the same at any window size.
  const double eyeDistance = fHost ? -fHost->EyePosition().z : 0;
  const double drawnHeight = Size().height * ScaleY() / 100.0;
  fDepthScale = eyeDistance > 0 && drawnHeight > 0 ? eyeDistance * kTan30 / drawnHeight : kTan30;
}

void TZelSlide::UpdateTransform(bool withChildren) {
  UpdateDepthScale();
  if (withChildren && !fInSizePass && KeyPointsChanged()) RunLargestSizePass();
  TZelObject::UpdateTransform(withChildren);
}

void TZelSlide::MeasureAtTimes(const std::vector<double>& times) {
  // What the last frame showed is kept aside, so that the change marks of
  // the next update compare with it and not with the last time visited;
  // whatever happens, the slide goes back to its time.
  using TShownStates = std::vector<std::pair<TZelObject*, TDrawnState>>;
  TShownStates shown;
  shown.emplace_back(this, fPrevious);
  EachDescendant(*this, [&shown](TZelObject& object) { shown.emplace_back(&object, object.fPrevious); });
  struct TRestore {
    TZelSlide& slide;
    double time;
    TShownStates& states;
    ~TRestore() {
      slide.SetTime(time, true);
      for (auto& [object, state] : states) object->fPrevious = state;
    }
  } restore{*this, fShowTime, shown};

  for (const double t : times) {
    SetTime(t, true);
    TZelObject::UpdateTransform(true);
    if (!CallSlideLoadingCallback(*this)) break;
    EachDescendant(*this, [](TZelObject& object) {
      const auto corners = object.Corners();
      object.fLargestWidth = std::max(object.fLargestWidth, Length(corners[1] - corners[0]));
      object.fLargestHeight = std::max(object.fLargestHeight, Length(corners[3] - corners[0]));
      for (const T3DVector& corner : corners) object.fNearestDepth = std::min(object.fNearestDepth, corner.z);
    });
  }
}

void TZelSlide::RunLargestSizePass() {
  fInSizePass = true;
  struct TLeave {
    bool& flag;
    ~TLeave() { flag = false; }
  } leave{fInSizePass};

  // 1. Every key-point time of the tree, each once, in the order met.
  std::vector<double> times;
  std::unordered_set<double> seen;
  const auto collect = [&](const TZelObject& object) {
    const TKeyPoints& points = object.KeyPoints();
    for (int32_t i = 0; i < points.Count(); ++i) {
      const double t = points.KeyPointTime(i);
      if (seen.insert(t).second) times.push_back(t);
    }
  };
  collect(*this);
  EachDescendant(*this, collect);
  // A tree without key points stands still: measure it where it is.
  if (times.empty()) times.push_back(fShowTime);

  // 2. Start from nothing.
  EachDescendant(*this, [](TZelObject& object) {
    object.fLargestWidth = 0;
    object.fLargestHeight = 0;
    object.fNearestDepth = 1000000;
  });

  // 3. and 4.
  MeasureAtTimes(times);

  // 5. The sizes, enlarged for objects that come nearer than the slide.
  fDrawnWidth = static_cast<float>(ScaleX() * Size().width / 100.0);
  fDrawnHeight = static_cast<float>(ScaleY() * Size().height / 100.0);
  const double eyeDepth = fHost ? fHost->EyePosition().z : -1;
  ZEL_ASSERT(eyeDepth < 0, "TZelSlide: the viewer's eye must lie in front of the slide");
  EachDescendant(*this, [eyeDepth](TZelObject& object) {
    const double factor = object.fNearestDepth > eyeDepth ? 1.0 / (1.0 - object.fNearestDepth / eyeDepth) : 1.0;
    object.fDrawnWidth = static_cast<float>(object.fLargestWidth * factor);
    object.fDrawnHeight = static_cast<float>(object.fLargestHeight * factor);
  });

  // The pass has seen the changes; what the drawer must redraw stays marked.
  const auto settle = [](TZelObject& object) {
    if (object.KeyPoints().KeyPointsChanged() || object.fSizesStale) object.SetContentChanged(true);
    object.KeyPoints().ResetChangeMarks();
    object.fSizesStale = false;
  };
  settle(*this);
  EachDescendant(*this, settle);
}

}  // namespace zel
