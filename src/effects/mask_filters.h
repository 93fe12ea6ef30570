// The geometry of the flat transitions: the growing masks with their soft
// edge, the mosaic, the slide-in and the push. Each draws triangles
// through a tile grid (eff_tiles.h) for one progress value (0 .. 1); the
// drawer has rendered the slide into the work target beforehand, and the
// triangles show it where they lie, faded by their alphas.
//
// These classes know nothing of the drawer: a drawn transition keeps one
// of them, made from its own numbers, and hands it its controller and
// progress every frame.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/eff_tiles.h"
#include "imaging/geometry.h"

namespace zel {

// ---------------------------------------------------------------------------
// The soft edge: an S-curve sampled at 15 points.

inline constexpr int kSoftEdgeSamples = 15;

struct TSoftEdgeSample {
  float x = 0;  // i x 255 / 14
  float s = 0;  // SoftEdgeCurve(x)
};

// x^2 / 128 below 127.5, 255 - (255 - x)^2 / 128 from there: 0 at 0, 255
// at 255, flat at both ends.
float SoftEdgeCurve(float x);
// Computed once, on first use.
const std::array<TSoftEdgeSample, kSoftEdgeSamples>& SoftEdgeTable();

// ---------------------------------------------------------------------------

class TFlatGeometry {
 public:
  virtual ~TFlatGeometry() = default;

  // Draws the effect at a progress of 0 .. 1. Nothing is drawn on a
  // controller whose grid is empty.
  virtual void DrawGeometry(TEffController& controller, double progress) const = 0;

  // Where the result is placed (the drawer's canvas). Only the mosaic lays
  // its cells out in it; the masks use the working rectangle and the
  // motions the controller's bounds.
  const TRect& TargetRect() const noexcept { return fTargetRect; }
  void SetTargetRect(const TRect& rect) noexcept { fTargetRect = rect; }

 private:
  TRect fTargetRect;
};

// ---------------------------------------------------------------------------
// Masks. The mask is opaque up to the distance b - s from its centre (s the
// smooth width), and falls off along the S-curve to transparent at b, where
// b grows with the progress from 0 to the largest distance (or shrinks,
// reversed). A shape says how far its largest distance is and what a ring
// between two distances looks like.

class TCommonFilter : public TFlatGeometry {
 public:
  // The centre as fractions of the working rectangle (0.5 the middle); a
  // negative smooth width counts as 0.
  TCommonFilter(const TRect& workingRect, float smoothWidth, float centreX, float centreY, bool reverse);

  void DrawGeometry(TEffController& controller, double progress) const override;
  // The mask whose soft edge ends at the outer distance, onto a tile whose
  // batch has begun: the solid core, then up to 14 soft rings.
  void DrawMask(TEffTile& tile, float outer) const;

  // Including the smooth width.
  float MaxDistance() const { return ComputeMaxDistance(); }
  const TRect& WorkingRect() const noexcept { return fWorkingRect; }
  float SmoothWidth() const noexcept { return fSmoothWidth; }
  bool Reverse() const noexcept { return fReverse; }
  // The centre in screen pixels.
  float CentreX() const noexcept { return fCentreX; }
  float CentreY() const noexcept { return fCentreY; }

 protected:
  virtual float ComputeMaxDistance() const = 0;
  // The band from the inner to the outer distance; the outer alpha on its
  // outer edge, the inner alpha on its inner edge. The solid core is index
  // -1; the soft rings count from 0.
  virtual void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                        float innerDistance) const = 0;

  float Width() const noexcept { return static_cast<float>(fWorkingRect.Width()); }
  float Height() const noexcept { return static_cast<float>(fWorkingRect.Height()); }

 private:
  TRect fWorkingRect;
  float fSmoothWidth;
  float fCentreX;
  float fCentreY;
  bool fReverse;
};

// Vertical edges moving sideways from the centre's column.
class THLines : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  float ComputeMaxDistance() const override;
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;
};

// Horizontal edges moving up and down from the centre's row.
class TVLines : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  float ComputeMaxDistance() const override;
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;
};

// A diamond: distance |x - X| + |y - Y|.
class TRhombFilter : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;

 protected:
  float ComputeMaxDistance() const override;
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;
};

// A rectangle of the working rectangle's proportions; the distance is its
// half-width.
class TSquareFilter : public TCommonFilter {
 public:
  using TCommonFilter::TCommonFilter;
  // Height / width; 0 for a rectangle without width.
  float Aspect() const;

 protected:
  float ComputeMaxDistance() const override;
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;
};

// A circle. With the centre outside the working rectangle the distances
// count from the rectangle's nearest point, so the circle touches the
// rectangle at progress 0.
class TCircleFilter : public TCommonFilter {
 public:
  TCircleFilter(const TRect& workingRect, float smoothWidth, float centreX, float centreY, bool reverse);

  // From the centre to the rectangle; 0 when the centre lies inside.
  float EdgeDistance() const noexcept { return fEdgeDistance; }
  float FarthestCornerDistance() const noexcept { return fCornerDistance; }
  // Triangles per ring: 128, or 256 when the centre lies outside.
  int Segments() const noexcept { return fSegments; }

 protected:
  float ComputeMaxDistance() const override;
  // A closed strip that steps alternately along the inner and the outer
  // circle; a fan on the outer circle while the inner radius is 0 or less.
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;

 private:
  float fEdgeDistance = 0;
  float fCornerDistance = 0;
  int fSegments = 128;
};

enum class TDiagMode : uint8_t {
  FromFirstCorner = 0,     // the top-left corner (mirrored: bottom-left)
  FromMiddle = 1,          // the 45-degree line through the middle, to both sides
  FromOppositeCorner = 2,  // the bottom-right corner (mirrored: top-right)
};

// A 45-degree front. The line falls from the top to the bottom edge
// leftwards, or with the mirror flag rightwards; the bands lie to its right
// (not from the opposite corner) and to its left (not from the first
// corner).
class TDiagLines : public TCommonFilter {
 public:
  TDiagLines(const TRect& workingRect, float smoothWidth, TDiagMode mode, bool mirror, bool reverse);

  TDiagMode Mode() const noexcept { return fMode; }
  bool Mirror() const noexcept { return fMirror; }
  // Where the line meets the top and the bottom edge, in screen pixels.
  float LineTop() const noexcept { return fLineTop; }
  float LineBottom() const noexcept { return fLineBottom; }

 protected:
  float ComputeMaxDistance() const override;
  void DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                float innerDistance) const override;

 private:
  TDiagMode fMode;
  bool fMirror;
  float fLineTop = 0;
  float fLineBottom = 0;
};

// ---------------------------------------------------------------------------
// The catalogue's mask classes 4 to 10.

enum class TMaskShape { None, HLines, VLines, Rhomb, Square, Circle, DiagLines };

struct TMaskChoice {
  TMaskShape shape = TMaskShape::None;
  float centreX = 0.5f;  // fractions of the working rectangle
  float centreY = 0.5f;
  bool reverse = false;
  TDiagMode mode = TDiagMode::FromFirstCorner;  // the diagonal lines only
  bool mirror = false;                          // the diagonal lines only
  bool operator==(const TMaskChoice&) const = default;
};

// The shape a class and variant stand for; the centre of the circle (class
// 4) comes from the parameters' centre in percent. None for a class outside
// 4 .. 10 and for a variant that the class does not have (7 and 9 outside
// 1 .. 4): the caller draws a cross-fade then.
TMaskChoice MaskChoiceOf(int32_t effectClass, int32_t variant, int32_t centreXPercent, int32_t centreYPercent);

// The mask of a choice; none for TMaskShape::None.
std::unique_ptr<TCommonFilter> MakeMask(const TMaskChoice& choice, const TRect& workingRect, float smoothWidth);

// ---------------------------------------------------------------------------
// The mosaic: cells that fade in one by one, each from its own random start.

// The mosaic's generator: a 32-bit linear congruential one.
class TMosaicRandom {
 public:
  explicit TMosaicRandom(int32_t seed) noexcept : fState(static_cast<uint32_t>(seed)) {}
  // Uniform in [0, 1), from 23 bits of the next state.
  float Next() noexcept;

 private:
  uint32_t fState;
};

class TRandomFilter : public TFlatGeometry {
 public:
  // The cells across and down are kept within 1 .. the working rectangle's
  // width and height in pixels; a negative spread counts as 0. The target
  // rectangle starts as the working rectangle.
  TRandomFilter(const TRect& workingRect, int32_t across, int32_t down, int32_t seed, float spread);

  void DrawGeometry(TEffController& controller, double progress) const override;

  int32_t Across() const noexcept { return fAcross; }
  int32_t Down() const noexcept { return fDown; }
  int32_t Seed() const noexcept { return fSeed; }
  float Spread() const noexcept { return fSpread; }
  // The level the cell starts to fade in at: 0 .. round(spread x 100).
  int32_t StartValue(int column, int row) const;
  // The level at a progress: from -256 at 0 to spread x 100 at 1. A cell
  // shows with alpha 255 - (start - level), once that is above 0.
  int32_t Level(double progress) const;

 private:
  int32_t fAcross;
  int32_t fDown;
  int32_t fSeed;
  float fSpread;
  std::vector<int32_t> fStarts;  // row by row
};

// ---------------------------------------------------------------------------
// Motions. Directions: 1 from the left, 2 from the right, 3 from the top,
// 4 from the bottom.

// Where the incoming slide is drawn, relative to its place, for bounds of
// the given size: it arrives from the direction's side. Any other
// direction gives (0, height x progress).
TEffPoint IncomingSlideOffset(int32_t direction, float width, float height, double progress);
// The drawer offset of the outgoing slide during a push, for the canvas's
// size: it leaves towards the opposite side. Any other direction: (0, 0).
TEffPoint PushOffsetOfOutgoing(int32_t direction, float canvasWidth, float canvasHeight, double progress);

// The incoming slide moved over the outgoing one: every tile that meets
// the controller's bounds gets its part of the bounds, moved by the
// incoming offset, as two mapped triangles.
class TMotionFilter : public TFlatGeometry {
 public:
  explicit TMotionFilter(int32_t direction) noexcept : fDirection(direction) {}
  void DrawGeometry(TEffController& controller, double progress) const override;
  int32_t Direction() const noexcept { return fDirection; }

 private:
  int32_t fDirection;
};

// The incoming slide slides in over the outgoing one, which stays.
class TSlideFilter final : public TMotionFilter {
 public:
  using TMotionFilter::TMotionFilter;
};

// The incoming slide pushes the outgoing one out: the drawer draws the
// outgoing slide directly at PushOffsetOfOutgoing.
class TPushFilter final : public TMotionFilter {
 public:
  using TMotionFilter::TMotionFilter;
  TEffPoint OutgoingOffset(float canvasWidth, float canvasHeight, double progress) const {
    return PushOffsetOfOutgoing(Direction(), canvasWidth, canvasHeight, progress);
  }
};

}  // namespace zel
