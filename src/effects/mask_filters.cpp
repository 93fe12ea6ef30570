#include "effects/mask_filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace zel {

namespace {

constexpr float kOpaque = 255;
// Rings closer than this to the previous one are merged into the next.
constexpr float kRingMerge = 2;

int32_t RoundToInt(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// Two triangles; one without area covers nothing and is left out (a ring
// of no width, or the corner where an inner edge shrinks to a point).
void AddQuad(TEffTile& tile, const TEffVertex& a, const TEffVertex& b, const TEffVertex& c, const TEffVertex& d) {
  const auto add = [&tile](const TEffVertex& p, const TEffVertex& q, const TEffVertex& r) {
    const float area2 = (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);
    if (area2 != 0) tile.AddTriangle({p, q, r});
  };
  add(a, b, c);
  add(a, c, d);
}

}  // namespace

// ---------------------------------------------------------------------------
// Soft edge

float SoftEdgeCurve(float x) {
  if (x < 127.5f) return x * x / 128.0f;
  const float rest = 255.0f - x;
  return 255.0f - rest * rest / 128.0f;
}

const std::array<TSoftEdgeSample, kSoftEdgeSamples>& SoftEdgeTable() {
  static const std::array<TSoftEdgeSample, kSoftEdgeSamples> table = [] {
    std::array<TSoftEdgeSample, kSoftEdgeSamples> t{};
    for (int i = 0; i < kSoftEdgeSamples; ++i) {
      t[i].x = static_cast<float>(i) * 255.0f / static_cast<float>(kSoftEdgeSamples - 1);
      t[i].s = SoftEdgeCurve(t[i].x);
    }
    return t;
  }();
  return table;
}

// ---------------------------------------------------------------------------
// TCommonFilter

TCommonFilter::TCommonFilter(const TRect& workingRect, float smoothWidth, float centreX, float centreY,
                             bool reverse)
    : fWorkingRect(workingRect),
      fSmoothWidth(smoothWidth > 0 ? smoothWidth : 0),
      fCentreX(static_cast<float>(workingRect.Left) + centreX * static_cast<float>(workingRect.Width())),
      fCentreY(static_cast<float>(workingRect.Top) + centreY * static_cast<float>(workingRect.Height())),
      fReverse(reverse) {}

void TCommonFilter::DrawGeometry(TEffController& controller, double progress) const {
  if (controller.IsGridEmpty()) return;
  TEffTile& tile = controller.MultiTile();
  const float largest = MaxDistance();
  float outer = static_cast<float>(progress * largest);
  if (fReverse) outer = largest - outer;
  tile.BeginTriangles(true, false);
  DrawMask(tile, outer);
  tile.EndTriangles();
}

void TCommonFilter::DrawMask(TEffTile& tile, float outer) const {
  if (outer <= 0) return;
  const float s = fSmoothWidth;
  const float largest = MaxDistance();
  const float core = outer - s;
  if (core > 0) DrawRing(tile, -1, kOpaque, kOpaque, core, 0);
  // The inner edge of the next ring and how far its alpha has fallen
  // there; an edge that starts before the centre begins part-way down the
  // curve.
  float inner = core;
  float fallen = 0;
  if (core < 0) {
    fallen = SoftEdgeCurve(-core * 255.0f / s);
    inner = 0;
  }
  const auto& table = SoftEdgeTable();
  int ring = 0;
  for (int i = 1; i < kSoftEdgeSamples; ++i) {
    const float f = core + table[i].x * s / 255.0f;
    const bool last = i == kSoftEdgeSamples - 1;
    if (f > 0 && inner < largest && (last || f - inner > kRingMerge)) {
      DrawRing(tile, ring++, kOpaque - table[i].s, kOpaque - fallen, f, inner);
      fallen = table[i].s;
      inner = f;
    }
  }
}

// ---------------------------------------------------------------------------
// Lines

float THLines::ComputeMaxDistance() const {
  const TRect& r = WorkingRect();
  return std::max(std::fabs(CentreX() - static_cast<float>(r.Right)),
                  std::fabs(CentreX() - static_cast<float>(r.Left))) +
         SmoothWidth();
}

void THLines::DrawRing(TEffTile& tile, int, float outerAlpha, float innerAlpha, float outerDistance,
                       float innerDistance) const {
  const float top = static_cast<float>(WorkingRect().Top), bottom = static_cast<float>(WorkingRect().Bottom);
  const float x = CentreX();
  AddQuad(tile, {x - outerDistance, top, outerAlpha}, {x - innerDistance, top, innerAlpha},
          {x - innerDistance, bottom, innerAlpha}, {x - outerDistance, bottom, outerAlpha});
  AddQuad(tile, {x + innerDistance, top, innerAlpha}, {x + outerDistance, top, outerAlpha},
          {x + outerDistance, bottom, outerAlpha}, {x + innerDistance, bottom, innerAlpha});
}

float TVLines::ComputeMaxDistance() const {
  const TRect& r = WorkingRect();
  return std::max(std::fabs(CentreY() - static_cast<float>(r.Bottom)),
                  std::fabs(CentreY() - static_cast<float>(r.Top))) +
         SmoothWidth();
}

void TVLines::DrawRing(TEffTile& tile, int, float outerAlpha, float innerAlpha, float outerDistance,
                       float innerDistance) const {
  const float left = static_cast<float>(WorkingRect().Left), right = static_cast<float>(WorkingRect().Right);
  const float y = CentreY();
  AddQuad(tile, {left, y - outerDistance, outerAlpha}, {right, y - outerDistance, outerAlpha},
          {right, y - innerDistance, innerAlpha}, {left, y - innerDistance, innerAlpha});
  AddQuad(tile, {left, y + innerDistance, innerAlpha}, {right, y + innerDistance, innerAlpha},
          {right, y + outerDistance, outerAlpha}, {left, y + outerDistance, outerAlpha});
}

// ---------------------------------------------------------------------------
// Diamond and square

float TRhombFilter::ComputeMaxDistance() const {
  return static_cast<float>((WorkingRect().Width() + WorkingRect().Height()) / 2) + SmoothWidth();
}

void TRhombFilter::DrawRing(TEffTile& tile, int, float outerAlpha, float innerAlpha, float outerDistance,
                            float innerDistance) const {
  const float x = CentreX(), y = CentreY();
  // One quadrilateral per quadrant, between the diamonds' corners on the
  // two axes that bound it.
  static constexpr float kSigns[4][2] = {{1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
  for (const auto& sign : kSigns) {
    AddQuad(tile, {x + sign[0] * innerDistance, y, innerAlpha}, {x, y + sign[1] * innerDistance, innerAlpha},
            {x, y + sign[1] * outerDistance, outerAlpha}, {x + sign[0] * outerDistance, y, outerAlpha});
  }
}

float TSquareFilter::Aspect() const { return Width() > 0 ? Height() / Width() : 0.0f; }

float TSquareFilter::ComputeMaxDistance() const { return Width() / 2 + SmoothWidth(); }

void TSquareFilter::DrawRing(TEffTile& tile, int, float outerAlpha, float innerAlpha, float outerDistance,
                             float innerDistance) const {
  const float x = CentreX(), y = CentreY(), aspect = Aspect();
  // Corners clockwise from the top-left.
  static constexpr float kSigns[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  TEffVertex inner[4], outer[4];
  for (int i = 0; i < 4; ++i) {
    inner[i] = {x + kSigns[i][0] * innerDistance, y + kSigns[i][1] * innerDistance * aspect, innerAlpha};
    outer[i] = {x + kSigns[i][0] * outerDistance, y + kSigns[i][1] * outerDistance * aspect, outerAlpha};
  }
  for (int i = 0; i < 4; ++i) {
    const int next = (i + 1) % 4;
    AddQuad(tile, inner[i], inner[next], outer[next], outer[i]);
  }
}

// ---------------------------------------------------------------------------
// Circle

TCircleFilter::TCircleFilter(const TRect& workingRect, float smoothWidth, float centreX, float centreY,
                             bool reverse)
    : TCommonFilter(workingRect, smoothWidth, centreX, centreY, reverse) {
  const float left = static_cast<float>(workingRect.Left), right = static_cast<float>(workingRect.Right);
  const float top = static_cast<float>(workingRect.Top), bottom = static_cast<float>(workingRect.Bottom);
  const float x = CentreX(), y = CentreY();
  const float outsideX = std::max({left - x, 0.0f, x - right});
  const float outsideY = std::max({top - y, 0.0f, y - bottom});
  fEdgeDistance = std::hypot(outsideX, outsideY);
  const float farX = std::max(std::fabs(x - left), std::fabs(x - right));
  const float farY = std::max(std::fabs(y - top), std::fabs(y - bottom));
  fCornerDistance = std::hypot(farX, farY);
  // Seen from outside, the visible arcs are large: finer segments.
  fSegments = fEdgeDistance > 0 ? 256 : 128;
}

float TCircleFilter::ComputeMaxDistance() const { return fCornerDistance - fEdgeDistance + SmoothWidth(); }

void TCircleFilter::DrawRing(TEffTile& tile, int index, float outerAlpha, float innerAlpha, float outerDistance,
                             float innerDistance) const {
  const int n = fSegments;
  const float innerRadius = fEdgeDistance + innerDistance;
  const float outerRadius = fEdgeDistance + outerDistance;
  const bool fan = innerRadius <= 0;
  const float x = CentreX(), y = CentreY();
  // Vertex m of a circle lies at m x 2 pi / n. The inner circle takes the
  // steps of one parity and the outer the other; the parity flips from
  // ring to ring, so a ring's outer vertices are the next ring's inner
  // ones, computed from the same step and so equal to the bit.
  const int parity = (index + 1) & 1;
  const auto at = [&](int step, float radius, float alpha) {
    const double angle = static_cast<double>(step % n) * 2.0 * std::numbers::pi / n;
    return TEffVertex{x + radius * static_cast<float>(std::cos(angle)),
                      y + radius * static_cast<float>(std::sin(angle)), alpha};
  };
  const TEffVertex centre{x, y, innerAlpha};
  const int pairs = n / 2;
  for (int j = 0; j < pairs; ++j) {
    // The strip's pair j: inner j, outer j, inner j + 1, outer j + 1; the
    // last pair closes on the first.
    const int next = j + 1 == pairs ? 0 : j + 1;
    const TEffVertex outerJ = at(2 * j + parity + 1, outerRadius, outerAlpha);
    const TEffVertex outerNext = at(2 * next + parity + 1, outerRadius, outerAlpha);
    if (fan) {
      tile.AddTriangle({outerJ, centre, outerNext});
      continue;
    }
    const TEffVertex innerJ = at(2 * j + parity, innerRadius, innerAlpha);
    const TEffVertex innerNext = at(2 * next + parity, innerRadius, innerAlpha);
    tile.AddTriangle({innerJ, outerJ, innerNext});
    tile.AddTriangle({outerJ, innerNext, outerNext});
  }
}

// ---------------------------------------------------------------------------
// Diagonal lines

TDiagLines::TDiagLines(const TRect& workingRect, float smoothWidth, TDiagMode mode, bool mirror, bool reverse)
    : TCommonFilter(workingRect, smoothWidth, 0.5f, 0.5f, reverse), fMode(mode), fMirror(mirror) {
  const int w = workingRect.Width(), h = workingRect.Height();
  int start = 0;
  if (mode == TDiagMode::FromMiddle) start = (w + h) / 2;
  if (mode == TDiagMode::FromOppositeCorner) start = w + h;
  const float left = static_cast<float>(workingRect.Left);
  // Unmirrored the line falls leftwards: from the start at the top to
  // h pixels further left at the bottom.
  const float atStart = left + static_cast<float>(start), shifted = left + static_cast<float>(start - h);
  fLineTop = mirror ? shifted : atStart;
  fLineBottom = mirror ? atStart : shifted;
}

float TDiagLines::ComputeMaxDistance() const {
  const int w = WorkingRect().Width(), h = WorkingRect().Height();
  const int span = fMode == TDiagMode::FromMiddle ? (w + h) / 2 : w + h;
  return static_cast<float>(span) + SmoothWidth();
}

void TDiagLines::DrawRing(TEffTile& tile, int, float outerAlpha, float innerAlpha, float outerDistance,
                          float innerDistance) const {
  const float top = static_cast<float>(WorkingRect().Top), bottom = static_cast<float>(WorkingRect().Bottom);
  // The band at horizontal distances inner .. outer on one side of the
  // line: +1 to its right, -1 to its left.
  const auto band = [&](float side) {
    const float in = side * innerDistance, out = side * outerDistance;
    AddQuad(tile, {fLineTop + in, top, innerAlpha}, {fLineTop + out, top, outerAlpha},
            {fLineBottom + out, bottom, outerAlpha}, {fLineBottom + in, bottom, innerAlpha});
  };
  if (fMode != TDiagMode::FromOppositeCorner) band(1);
  if (fMode != TDiagMode::FromFirstCorner) band(-1);
}

// ---------------------------------------------------------------------------
// The catalogue's mask classes

TMaskChoice MaskChoiceOf(int32_t effectClass, int32_t variant, int32_t centreXPercent, int32_t centreYPercent) {
  TMaskChoice choice;
  switch (effectClass) {
    case 4:
      choice.shape = TMaskShape::Circle;
      choice.centreX = static_cast<float>(centreXPercent) / 100.0f;
      choice.centreY = static_cast<float>(centreYPercent) / 100.0f;
      choice.reverse = variant == 1;
      break;
    case 5:
      choice.shape = TMaskShape::Rhomb;
      choice.reverse = variant == 1;
      break;
    case 6:
      choice.shape = TMaskShape::Square;
      choice.reverse = variant == 1;
      break;
    case 7:
      if (variant < 1 || variant > 4) return {};
      choice.shape = variant <= 2 ? TMaskShape::HLines : TMaskShape::VLines;
      choice.reverse = variant == 1 || variant == 3;
      break;
    case 8:
      choice.shape = TMaskShape::DiagLines;
      choice.mode = TDiagMode::FromMiddle;
      choice.reverse = variant == 1 || variant == 3;
      choice.mirror = variant > 2;
      break;
    case 9: {
      if (variant < 1 || variant > 4) return {};
      // Left, right, top, bottom edge.
      static constexpr float kCentres[4][2] = {{0, 0}, {1, 0}, {0, 0}, {0, 1}};
      choice.shape = variant <= 2 ? TMaskShape::HLines : TMaskShape::VLines;
      choice.centreX = kCentres[variant - 1][0];
      choice.centreY = kCentres[variant - 1][1];
      break;
    }
    case 10:
      choice.shape = TMaskShape::DiagLines;
      // Top-left, bottom-right, bottom-left; anything else top-right.
      choice.mode = variant == 1 || variant == 3 ? TDiagMode::FromFirstCorner : TDiagMode::FromOppositeCorner;
      choice.mirror = variant != 1 && variant != 2;
      break;
    default:
      return {};
  }
  return choice;
}

std::unique_ptr<TCommonFilter> MakeMask(const TMaskChoice& choice, const TRect& workingRect, float smoothWidth) {
  const float cx = choice.centreX, cy = choice.centreY;
  const bool reverse = choice.reverse;
  switch (choice.shape) {
    case TMaskShape::HLines:
      return std::make_unique<THLines>(workingRect, smoothWidth, cx, cy, reverse);
    case TMaskShape::VLines:
      return std::make_unique<TVLines>(workingRect, smoothWidth, cx, cy, reverse);
    case TMaskShape::Rhomb:
      return std::make_unique<TRhombFilter>(workingRect, smoothWidth, cx, cy, reverse);
    case TMaskShape::Square:
      return std::make_unique<TSquareFilter>(workingRect, smoothWidth, cx, cy, reverse);
    case TMaskShape::Circle:
      return std::make_unique<TCircleFilter>(workingRect, smoothWidth, cx, cy, reverse);
    case TMaskShape::DiagLines:
      return std::make_unique<TDiagLines>(workingRect, smoothWidth, choice.mode, choice.mirror, reverse);
    case TMaskShape::None:
      break;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Mosaic

float TMosaicRandom::Next() noexcept {
  fState = fState * 1664525u + 1013904223u;
  // A float in [1, 2) with the state's low 23 bits as its mantissa.
  return std::bit_cast<float>((fState & 0x7FFFFFu) | 0x3F800000u) - 1.0f;
}

TRandomFilter::TRandomFilter(const TRect& workingRect, int32_t across, int32_t down, int32_t seed, float spread)
    : fAcross(std::clamp(across, 1, std::max(1, workingRect.Width()))),
      fDown(std::clamp(down, 1, std::max(1, workingRect.Height()))),
      fSeed(seed),
      fSpread(spread > 0 ? spread : 0) {
  SetTargetRect(workingRect);
  const int32_t levels = RoundToInt(static_cast<double>(fSpread) * 100.0);
  TMosaicRandom random(seed);
  fStarts.resize(static_cast<std::size_t>(fAcross) * static_cast<std::size_t>(fDown));
  for (int32_t& start : fStarts) start = RoundToInt(static_cast<double>(random.Next()) * levels);
}

int32_t TRandomFilter::StartValue(int column, int row) const {
  ZEL_ASSERT(column >= 0 && column < fAcross && row >= 0 && row < fDown, "Mosaic cell out of the grid");
  return fStarts[static_cast<std::size_t>(row) * fAcross + column];
}

int32_t TRandomFilter::Level(double progress) const {
  return RoundToInt(progress * (static_cast<double>(fSpread) * 100.0 + 256.0) - 256.0);
}

void TRandomFilter::DrawGeometry(TEffController& controller, double progress) const {
  if (controller.IsGridEmpty()) return;
  TEffTile& tile = controller.MultiTile();
  const int32_t level = Level(progress);
  const TRect& rect = TargetRect();
  const double width = rect.Width(), height = rect.Height();
  // Edges from the index, not summed, so that neighbours share them exactly.
  const auto columnEdge = [&](int i) { return static_cast<float>(rect.Left + width * i / fAcross); };
  const auto rowEdge = [&](int j) { return static_cast<float>(rect.Top + height * j / fDown); };
  tile.BeginTriangles(true, false);
  for (int row = 0; row < fDown; ++row) {
    const float top = rowEdge(row), bottom = rowEdge(row + 1);
    for (int column = 0; column < fAcross; ++column) {
      const int32_t d = fStarts[static_cast<std::size_t>(row) * fAcross + column] - level;
      if (d >= 255) continue;
      const float alpha = d < 0 ? kOpaque : kOpaque - static_cast<float>(d);
      const float left = columnEdge(column), right = columnEdge(column + 1);
      AddQuad(tile, {left, top, alpha}, {right, top, alpha}, {right, bottom, alpha}, {left, bottom, alpha});
    }
  }
  tile.EndTriangles();
}

// ---------------------------------------------------------------------------
// Motions

TEffPoint IncomingSlideOffset(int32_t direction, float width, float height, double progress) {
  const double w = width, h = height;
  switch (direction) {
    case 1:
      return {static_cast<float>(w * progress - w), 0};
    case 2:
      return {static_cast<float>(w - w * progress), 0};
    case 3:
      return {0, static_cast<float>(h * progress - h)};
    case 4:
      return {0, static_cast<float>(h - h * progress)};
    default:
      return {0, static_cast<float>(h * progress)};
  }
}

TEffPoint PushOffsetOfOutgoing(int32_t direction, float canvasWidth, float canvasHeight, double progress) {
  const double w = canvasWidth, h = canvasHeight;
  switch (direction) {
    case 1:
      return {static_cast<float>(w * progress), 0};
    case 2:
      return {static_cast<float>(-w * progress), 0};
    case 3:
      return {0, static_cast<float>(h * progress)};
    case 4:
      return {0, static_cast<float>(-h * progress)};
    default:
      return {0, 0};
  }
}

void TMotionFilter::DrawGeometry(TEffController& controller, double progress) const {
  const TRect bounds = controller.GetBounds();
  if (controller.IsGridEmpty() || bounds.IsEmpty()) return;
  const TEffPoint offset = IncomingSlideOffset(fDirection, static_cast<float>(bounds.Width()),
                                               static_cast<float>(bounds.Height()), progress);
  for (int row = 0; row < controller.Rows(); ++row) {
    for (int column = 0; column < controller.Columns(); ++column) {
      const TRect part = controller.CellRect(column, row).Intersect(bounds);
      if (part.IsEmpty()) continue;
      const float l = static_cast<float>(part.Left), t = static_cast<float>(part.Top);
      const float r = static_cast<float>(part.Right), b = static_cast<float>(part.Bottom);
      const TEffSourcePoint source[4] = {{l, t, kOpaque}, {r, t, kOpaque}, {r, b, kOpaque}, {l, b, kOpaque}};
      TEffPoint dest[4];
      for (int i = 0; i < 4; ++i) dest[i] = {source[i].x + offset.x, source[i].y + offset.y};
      TEffTile& tile = controller.Tile(column, row);
      tile.BeginTriangles(true, false);
      tile.AddMappedTriangle({source[0], source[1], source[2]}, {dest[0], dest[1], dest[2]});
      tile.AddMappedTriangle({source[0], source[2], source[3]}, {dest[0], dest[2], dest[3]});
      tile.EndTriangles();
    }
  }
}

}  // namespace zel
