// Vector outlines: points with drawing commands, in design units or pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace zel {

enum TPathCommand : int32_t {
  pcMoveTo = 0,
  pcLineTo = 1,
  pcQuadratic = 2,  // control point, then the end point (both command 2)
  pcCubic = 3,      // two control points, then the end point (all command 3)
  pcEndFigure = 9,  // the next point must be a move
};

struct TPathPoint {
  float X = 0;
  float Y = 0;
  int32_t Command = pcMoveTo;
  bool operator==(const TPathPoint&) const = default;
};

class TPath {
 public:
  std::vector<TPathPoint> Points;

  void Add(float x, float y, int32_t command) { Points.push_back({x, y, command}); }
  void MoveTo(float x, float y) { Add(x, y, pcMoveTo); }
  void LineTo(float x, float y) { Add(x, y, pcLineTo); }
  void EndFigure() { Add(0, 0, pcEndFigure); }
  // A closed axis-aligned rectangle as a four-point figure.
  void AddRectangle(float left, float top, float right, float bottom) {
    MoveTo(left, top);
    LineTo(right, top);
    LineTo(right, bottom);
    LineTo(left, bottom);
  }
  bool Empty() const { return Points.empty(); }
  bool operator==(const TPath&) const = default;
};

}  // namespace zel
