#include "show/picture_framing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace zel {
namespace {

// Project values arrive unchecked: a NaN or infinite number counts as not
// given, so it falls back to the value the rule uses when it is absent.
double FiniteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

// A grid with non-positive columns or rows is read as one column or row.
struct TFrameGrid {
  int64_t columns = 1, rows = 1;
  int64_t frames = 1;  // frames actually played: the count, at most one per cell
};

TFrameGrid GridOf(const TImageAnimationParams& animation) {
  TFrameGrid grid;
  grid.columns = std::max<int64_t>(1, animation.columns);
  grid.rows = std::max<int64_t>(1, animation.rows);
  const int64_t count = animation.count <= 0 ? 1 : animation.count;
  grid.frames = std::min(count, grid.columns * grid.rows);
  return grid;
}

// Sizes are rounded to whole pixels; absurd borders must not overflow.
int32_t RoundedPixels(double value) {
  if (!(value > 0)) return 0;
  const double limit = std::numeric_limits<int32_t>::max();
  return value >= limit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(std::llround(value));
}

// Working rectangle in double precision; converted to floats at the end.
struct TFramingRect {
  double left = 0, top = 0, right = 0, bottom = 0;
  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
};

// Cuts the largest part of the given ratio out of the picture, zooms into
// it about its centre and shifts it towards the picture's edges: a shift
// of +-100 percent puts it against the right/bottom or left/top edge.
TFramingRect AspectFramed(double width, double height, const float aspect[4]) {
  const double pictureRatio = width / height;
  double ratio = FiniteOr(aspect[0], 0);
  if (ratio <= 0.001) ratio = pictureRatio;
  double framedWidth = width, framedHeight = height;
  if (ratio > pictureRatio)
    framedHeight = width / ratio;
  else
    framedWidth = ratio * height;

  double zoom = FiniteOr(aspect[1], 100);
  if (zoom < 0.001 || zoom > 100) zoom = 100;
  framedWidth *= zoom / 100;
  framedHeight *= zoom / 100;

  auto shiftPercent = [](float value) {
    const double shift = FiniteOr(value, 0);
    return shift < -100 || shift > 100 ? 0.0 : shift;
  };
  const double left = (width - framedWidth) / 2 * (1 + shiftPercent(aspect[2]) / 100);
  const double top = (height - framedHeight) / 2 * (1 + shiftPercent(aspect[3]) / 100);
  return {left, top, left + framedWidth, top + framedHeight};
}

// The border is a percentage of the framed picture's height, before crop.
double BorderFor(const TBorderParams& params, double framedHeight) {
  if (!params.borderEnabled) return 0;
  const double border = framedHeight * FiniteOr(params.borderWidth, 0) / 100;
  return std::isfinite(border) && border > 0 ? border : 0;
}

// Top and bottom insets are always percentages of the height. Left and
// right come from the six-number crop (percent of the width) when it was
// given, and otherwise from the four-number crop, which measures them in
// percent of the height as well.
TFramingRect Cropped(const TFramingRect& rect, const TBorderParams& params) {
  const double width = rect.Width(), height = rect.Height();
  auto inset = [](float percent, double length) { return length * FiniteOr(percent, 0) / 100; };
  const double leftPoint = FiniteOr(params.cropPoint[0], -1);
  const double rightPoint = FiniteOr(params.cropPoint[1], -1);
  TFramingRect cropped = rect;
  cropped.top += inset(params.cropRect[1], height);
  cropped.bottom -= inset(params.cropRect[3], height);
  if (leftPoint >= 0 && rightPoint >= 0) {
    cropped.left += inset(params.cropPoint[0], width);
    cropped.right -= inset(params.cropPoint[1], width);
  } else {
    cropped.left += inset(params.cropRect[0], height);
    cropped.right -= inset(params.cropRect[2], height);
  }
  return cropped;
}

// Keeps the rectangle inside the picture; nothing left means the whole
// picture is shown rather than an empty object.
TFramingRect InsidePicture(const TFramingRect& rect, double width, double height) {
  const TFramingRect whole{0, 0, width, height};
  const TFramingRect clipped{std::max(rect.left, 0.0), std::max(rect.top, 0.0), std::min(rect.right, width),
                      std::min(rect.bottom, height)};
  const bool empty = !(clipped.right > clipped.left) || !(clipped.bottom > clipped.top);
  return empty ? whole : clipped;
}

TFloatRect ToFloatRect(const TFramingRect& rect) {
  return {static_cast<float>(rect.left), static_cast<float>(rect.top), static_cast<float>(rect.right),
          static_cast<float>(rect.bottom)};
}

TPictureFraming AnimatedFraming(double width, double height, const TFrameGrid& grid) {
  const double cellWidth = width / static_cast<double>(grid.columns);
  const double cellHeight = height / static_cast<double>(grid.rows);
  TPictureFraming framing;
  framing.source = ToFloatRect({0, 0, cellWidth, cellHeight});
  framing.width = RoundedPixels(cellWidth);
  framing.height = RoundedPixels(cellHeight);
  return framing;
}

// A frame's interval; the list's last interval repeats for later frames,
// and negative intervals last no time at all.
double IntervalOf(const std::vector<int32_t>& intervals, int64_t frame) {
  const size_t index = std::min(static_cast<size_t>(frame), intervals.size() - 1);
  return std::max(0, intervals[index]);
}

// The first frame whose cumulative end is at least `position` (0 < position
// <= cycle). Frames beyond the interval list all last the final interval,
// so that tail is solved by division instead of walking it frame by frame.
int64_t FrameEndingAtOrAfter(const std::vector<int32_t>& intervals, int64_t frames, double position) {
  const int64_t listed = std::min<int64_t>(frames, static_cast<int64_t>(intervals.size()));
  double end = 0;
  for (int64_t frame = 0; frame < listed; ++frame) {
    end += IntervalOf(intervals, frame);
    if (end >= position) return frame;
  }
  const double tailInterval = IntervalOf(intervals, listed);
  if (tailInterval <= 0) return frames - 1;
  const double tailFrames = std::ceil((position - end) / tailInterval);
  return std::min<int64_t>(frames - 1, listed - 1 + static_cast<int64_t>(tailFrames));
}

double CycleLength(const std::vector<int32_t>& intervals, int64_t frames) {
  const int64_t listed = std::min<int64_t>(frames, static_cast<int64_t>(intervals.size()));
  double cycle = 0;
  for (int64_t frame = 0; frame < listed; ++frame) cycle += IntervalOf(intervals, frame);
  return cycle + static_cast<double>(frames - listed) * IntervalOf(intervals, listed);
}

}  // namespace

TPictureFraming FramePicture(int32_t width, int32_t height, const TBorderParams& border,
                             const TImageAnimationParams& animation) {
  const double pictureWidth = std::max(0, width), pictureHeight = std::max(0, height);
  const TFrameGrid grid = GridOf(animation);
  if (grid.columns > 1 || grid.rows > 1) return AnimatedFraming(pictureWidth, pictureHeight, grid);

  TPictureFraming framing;
  TFramingRect rect{0, 0, pictureWidth, pictureHeight};
  // An empty picture has no ratio to frame by and nothing to crop.
  if (pictureWidth > 0 && pictureHeight > 0) {
    if (border.aspectEnabled) rect = AspectFramed(pictureWidth, pictureHeight, border.aspect);
    framing.border = static_cast<float>(BorderFor(border, rect.Height()));
    if (border.cropEnabled) rect = Cropped(rect, border);
    rect = InsidePicture(rect, pictureWidth, pictureHeight);
  }
  framing.source = ToFloatRect(rect);
  framing.width = RoundedPixels(rect.Width() + 2.0 * framing.border);
  framing.height = RoundedPixels(rect.Height() + 2.0 * framing.border);
  return framing;
}

int32_t AnimationFrameAt(const TImageAnimationParams& animation, double elapsed) {
  const TFrameGrid grid = GridOf(animation);
  if (grid.columns * grid.rows == 1 || animation.intervals.empty() || grid.frames <= 1) return 0;
  const double x = elapsed > 0 ? elapsed : 0.0;  // also turns NaN into 0
  const double cycle = CycleLength(animation.intervals, grid.frames);
  const auto lastFrame = static_cast<int32_t>(grid.frames - 1);

  // A frame shows from just after its start up to and including its end,
  // so the last frame is still current at exactly the end of a pass.
  if (animation.repeatCount > 0 && x > cycle * animation.repeatCount) return lastFrame;
  // The first frame alone is current at 0; a cycle that takes no time
  // cannot be played, and a looping one rests on its first frame.
  if (x == 0 || cycle <= 0 || !std::isfinite(x)) return 0;
  double position = std::fmod(x, cycle);
  if (position == 0) position = cycle;
  return static_cast<int32_t>(FrameEndingAtOrAfter(animation.intervals, grid.frames, position));
}

TFloatRect AnimationFrameRect(int32_t width, int32_t height, const TImageAnimationParams& animation, int32_t frame) {
  const TFrameGrid grid = GridOf(animation);
  const double cellWidth = std::max(0, width) / static_cast<double>(grid.columns);
  const double cellHeight = std::max(0, height) / static_cast<double>(grid.rows);
  const int64_t index = std::clamp<int64_t>(frame, 0, grid.frames - 1);
  // Every cell carries a one-pixel gutter on each side, so cell c starts
  // after c cells, 2c gutter pixels and its own leading gutter pixel.
  const auto column = static_cast<double>(index % grid.columns);
  const auto row = static_cast<double>(index / grid.columns);
  const double left = column * cellWidth + 2 * column + 1;
  const double top = row * cellHeight + 2 * row + 1;
  return ToFloatRect({left, top, left + cellWidth, top + cellHeight});
}

int32_t PictureLevelFor(int32_t width, int32_t height, float largestWidth, float largestHeight) {
  if (!(largestWidth > 0) || !(largestHeight > 0)) return 0;
  // Drawn a third larger than needed, the picture stays sharp enough; the
  // factor is a float just under 4/3 and the products are taken in float.
  const float k = 1.3333f;
  const float wantedWidth = std::max(1.0f, std::round(k * largestWidth));
  const float wantedHeight = std::max(1.0f, std::round(k * largestHeight));
  int64_t w = width, h = height;
  int32_t level = -1;
  while (static_cast<double>(wantedWidth) < static_cast<double>(w) &&
         static_cast<double>(h) > static_cast<double>(wantedHeight)) {
    ++level;
    w = (w + 1) / 2;
    h = (h + 1) / 2;
  }
  return std::max(0, level);
}

}  // namespace zel
