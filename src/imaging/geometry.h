// Points and rectangles in pixel coordinates, as the bitmaps clip them.
#pragma once

#include <algorithm>

namespace zel {

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Left and top inside, right and bottom outside.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  static TRect FromSize(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
  }
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TRect Intersect(const TRect& other) const {
    return {std::max(Left, other.Left), std::max(Top, other.Top), std::min(Right, other.Right),
            std::min(Bottom, other.Bottom)};
  }
  bool operator==(const TRect&) const = default;
};

}  // namespace zel
