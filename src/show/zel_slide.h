// The slide object: the root of a slide's object tree, with the slide's
// place on the show's time line, its background, the transition that leads
// into it, and the largest-drawn-size pass over its objects.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "show/key_point.h"
#include "show/slide_background.h"
#include "show/slide_background_painter.h"
#include "show/slide_times.h"
#include "show/zel_filter.h"
#include "show/zel_object.h"
#include "show/zel_source.h"

namespace zel {

class TCommonIniSection;

// The pacing hook of the largest-drawn-size pass: called once for every
// time the pass visits; answering false stops the pass. The slide loader
// installs one so that building slides leaves the processor to the frame
// loop.
using TSlideLoadingCallback = std::function<bool(TZelSlide& slide)>;
void SetSlideLoadingCallback(TSlideLoadingCallback callback);

class TZelSlide : public TZelObject {
 public:
  TZelSlide(TZelSlideHost* host, int64_t index);
  ~TZelSlide() override;

  int64_t Index() const noexcept { return fIndex; }
  TZelSlideHost* SlideHost() const noexcept { return fHost; }

  // Reads the slide from its section. With times given, they are the
  // slide's; otherwise its start and end come from the show's
  // "opt_synchpos" keys and its transitions from `times`.
  void Load(const TIniIdentList& main, const TCommonIniSection& section, bool timesGiven, const TSlideInfo& times);

  double Start() const noexcept { return fStart; }
  double End() const noexcept { return fEnd; }
  double InEffect() const noexcept { return fInEffect; }
  double OutEffect() const noexcept { return fOutEffect; }
  void SetTimes(double start, double end, double inEffect, double outEffect);
  const TSlideAnchorTimes& Anchors() const noexcept { return fAnchors; }
  // The show time last set, less the slide's start.
  double TimeInSlide() const noexcept { return fTimeInSlide; }

  // The slide's size and its key-point scale (percent) are set by whoever
  // lays the slide out on the screen; the centre is where its middle lies.
  void SetLayout(TObjectSize size, float scaleX, float scaleY, const T3DVector& centre);
  const T3DVector& Centre() const noexcept { return fCentre; }

  // 100 for slides; dialogs have their own.
  virtual float BaseOpacity() const { return 100; }
  // Applied to the depth of every axis of the tree; worked out every update.
  double DepthScale() const override { return fDepthScale; }

  const TBackgroundDescriptor& Background(int which) const { return fBackgrounds.at(which); }
  void SetBackground(int which, const TBackgroundDescriptor& background) { fBackgrounds.at(which) = background; }
  // The share of the second background, in 255ths.
  uint8_t CrossFade() const noexcept { return fCrossFade; }
  void SetCrossFade(uint8_t factor) noexcept { fCrossFade = factor; }
  // Set while a custom transition renders the slide as a picture over a
  // transparent background: the slide then draws no background.
  bool NoBackground() const noexcept { return fNoBackground; }
  void SetNoBackground(bool none) noexcept { fNoBackground = none; }

  // The transition that leads into the slide.
  const TZelFilter& Filter() const noexcept { return fFilter; }
  TZelFilter& Filter() noexcept { return fFilter; }
  void SetFilter(TZelFilter filter) { fFilter = std::move(filter); }

  void SetTime(double t, bool withChildren) override;
  void ReleaseResources(TDeviceDrawer& drawer) override;
  // Places the tree; runs the largest-drawn-size pass first when anything
  // in the tree was read or had its key points changed since the last pass.
  void UpdateTransform(bool withChildren) override;

 protected:
  // The backgrounds: the first at 1 - f, the second over it at f, f the
  // cross-fade factor.
  void DrawSelf(TDeviceDrawer& drawer) override;
  TObjectSize ParentSize() const override { return Size(); }
  TParentFrame ParentFrame() const override;

 private:
  void UpdateDepthScale();
  void RunLargestSizePass();
  // Visits the times, keeping each object's largest size and nearest
  // depth, and returns the slide to its own time.
  void MeasureAtTimes(const std::vector<double>& times);

  int64_t fIndex;
  TZelSlideHost* fHost;
  double fStart = 0, fEnd = 0, fInEffect = 0, fOutEffect = 0;
  TSlideAnchorTimes fAnchors;
  double fTimeInSlide = 0;
  double fShowTime = 0;
  T3DVector fCentre;
  std::array<TBackgroundDescriptor, 2> fBackgrounds;
  uint8_t fCrossFade = 0;
  bool fNoBackground = false;
  double fDepthScale = 1;
  TZelFilter fFilter;
  bool fInSizePass = false;
  TSlideBackgroundPainter fBackgroundPainter;
};

}  // namespace zel
