#include "render/projection.h"

namespace zel {

TProjectionMatrices MakeProjection(const TProjectionSetup& s) {
  TProjectionMatrices m;
  // World: z'' = z' + 1, and the pixel-centre shift scaled with z'' so that
  // after the divide it is a constant fraction of a pixel.
  const float shiftX = -2.0f * s.PixelCenter.x / s.BoundsWidth;
  const float shiftY = 2.0f * s.PixelCenter.y / s.BoundsHeight;
  m.World = T3DMatrix::Identity();
  m.World.M[2][0] = shiftX;
  m.World.M[2][1] = shiftY;
  m.World.M[3][0] = shiftX;
  m.World.M[3][1] = shiftY;
  m.World.M[3][2] = 1.0f;

  // View: the target's offset, as a translation applied before the divide
  // (multiplied by w = z''). With the scale below it moves the share of the
  // bounds the target covers onto the target's own device square.
  m.View = T3DMatrix::Identity();
  m.View.M[2][0] = (s.BoundsWidth - 2.0f * s.OffsetX - s.TargetWidth) / s.BoundsWidth;
  m.View.M[2][1] = (s.TargetHeight - s.BoundsHeight + 2.0f * s.OffsetY) / s.BoundsHeight;

  // Projection: view size / target size, w = z'', depth from the near to
  // the far plane.
  const float v = kFarPlane / (kFarPlane - kNearPlane);
  m.Projection = T3DMatrix{};
  m.Projection.M[0][0] = s.BoundsWidth / s.TargetWidth;
  m.Projection.M[1][1] = s.BoundsHeight / s.TargetHeight;
  m.Projection.M[2][2] = v;
  m.Projection.M[2][3] = 1.0f;
  m.Projection.M[3][2] = -kNearPlane * v;
  return m;
}

bool ProjectToTarget(const TProjectionSetup& setup, float x, float y, float z, float& targetX, float& targetY) {
  const TProjectionMatrices m = MakeProjection(setup);
  const T3DMatrix all = m.World * m.View * m.Projection;
  float device[3];
  ScreenToDevice(x, y, z, setup.BoundsWidth, setup.BoundsHeight, device);
  float clip[4];
  all.Transform(device[0], device[1], device[2], clip);
  if (clip[3] <= 0.0f) return false;
  const float ndcX = clip[0] / clip[3];
  const float ndcY = clip[1] / clip[3];
  targetX = (ndcX + 1.0f) * 0.5f * setup.TargetWidth;
  targetY = (1.0f - ndcY) * 0.5f * setup.TargetHeight;
  return true;
}

}  // namespace zel
