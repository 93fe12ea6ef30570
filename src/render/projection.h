// The projection from screen pixels (x right, y down from the bounds'
// top-left corner, depth z growing away from the viewer) to the device.
//
// The eye lies on the line through the centre of the bounds, at a distance
// of the bounds' height H in front of the screen plane, so (x, y, z) is
// shown at c + (p - c) * H / (H + z). Vertices reach the device in the
// coordinates x' = 2x/W - 1, y' = 1 - 2y/H, z' = z/H; the world matrix
// moves z' by one (that becomes w), the view matrix carries the render
// target's offset and the projection scales to the target and maps depth.
#pragma once

#include "render/device_3d.h"
#include "render/renderer_3d.h"

namespace zel {

constexpr float kNearPlane = 0.01f;
constexpr float kFarPlane = 1000000.0f;

struct TProjectionSetup {
  // The bounds' size: what screen pixels are measured in.
  float BoundsWidth = 1;
  float BoundsHeight = 1;
  // The current target's top-left corner in screen pixels and its size.
  float OffsetX = 0;
  float OffsetY = 0;
  float TargetWidth = 1;
  float TargetHeight = 1;
  // The renderer's offset between pixel corners and texel centres.
  TFloatPoint PixelCenter;
};

struct TProjectionMatrices {
  T3DMatrix World;
  T3DMatrix View;
  T3DMatrix Projection;
};

TProjectionMatrices MakeProjection(const TProjectionSetup& setup);

// The perspective of the pixel space drawing happens in (the screen's
// bounds, or the canvas when one is set): the eye lies in front of the
// centre at the given distance, so (x, y, z) is seen at
// centre + (p - centre) * distance / (distance + z). Pixel is the size of
// one device pixel in pixel-space units (1 without a canvas), for what
// must be one real pixel wide, such as soft edges.
struct TScreenPerspective {
  float CenterX = 0;
  float CenterY = 0;
  float EyeDistance = 1;
  float PixelX = 1;
  float PixelY = 1;

  // Where a point is seen on the screen plane; false behind the eye.
  bool Project(float x, float y, float z, float& seenX, float& seenY) const {
    const float w = EyeDistance + z;
    if (w <= 0.0f) return false;
    const float k = EyeDistance / w;
    seenX = CenterX + (x - CenterX) * k;
    seenY = CenterY + (y - CenterY) * k;
    return true;
  }
  // The point at depth z that is seen at (seenX, seenY).
  void Unproject(float seenX, float seenY, float z, float& x, float& y) const {
    const float k = (EyeDistance + z) / EyeDistance;
    x = CenterX + (seenX - CenterX) * k;
    y = CenterY + (seenY - CenterY) * k;
  }
};

// Screen pixels to the device coordinates vertices are given in.
inline void ScreenToDevice(float x, float y, float z, float boundsWidth, float boundsHeight, float out[3]) {
  out[0] = 2.0f * x / boundsWidth - 1.0f;
  out[1] = 1.0f - 2.0f * y / boundsHeight;
  out[2] = z / boundsHeight;
}

// Where a screen point lands in the target, in target pixels (x right,
// y down), after the whole pipeline and the perspective divide; for
// checks and tools. False when the point lies behind the eye.
bool ProjectToTarget(const TProjectionSetup& setup, float x, float y, float z, float& targetX, float& targetY);

}  // namespace zel
