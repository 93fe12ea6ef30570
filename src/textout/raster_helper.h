// Paints paths into a 32-bit ARGB bitmap: opens the bitmap, fills paths with
// the fill colour (or a colour function) under a point transform, and hands
// the bitmap over when painting ends.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "imaging/bitmap.h"
#include "imaging/color.h"
#include "textout/coverage_cache.h"
#include "textout/outline.h"
#include "textout/path.h"
#include "textout/rasterizer.h"

namespace zel {

// A 2D affine transform in row-vector form: (x, y, 1) times the matrix, so
// x' = x * M[0][0] + y * M[1][0] + M[2][0], y' = x * M[0][1] + y * M[1][1] + M[2][1].
struct TMatrix3 {
  float M[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  static TMatrix3 Identity() { return {}; }
  static TMatrix3 Translation(float dx, float dy);
  static TMatrix3 Scaling(float sx, float sy);
  // This transform, then the other one.
  TMatrix3 Then(const TMatrix3& other) const;
  void Apply(float& x, float& y) const;
};

class TRasterHelper : public TObj, private TRasterizer::TRowSink {
 public:
  using TPointTransform = std::function<void(float& x, float& y)>;
  using TColorFunction = std::function<TColor(int x, int y)>;

  TRasterHelper();
  ~TRasterHelper() override;

  void BeginPaint(int width, int height);
  void BeginPaint(int width, int height, TColor colour);
  std::unique_ptr<TDirectBitmap> EndPaint();
  bool Painting() const { return fBitmap != nullptr; }
  TDirectBitmap* Bitmap() const { return fBitmap.get(); }

  void FillPath(const TPath& path, bool evenOdd = false);

  void SetTransform(const TMatrix3& matrix);
  void ComposeTransform(const TMatrix3& matrix);
  void ResetTransform();
  void SetTransformFunction(TPointTransform transform);

  TColor FillColor = 0xFFFFFFFF;
  TColorFunction ColorFunction;
  TRect ClipRect{0, 0, INT_MAX, INT_MAX};
  bool StrokeMode = false;
  float LineWidth = 1;

 private:
  void Transform(float& x, float& y) const;
  void FlushPolyline();
  void AddPoint(float x, float y, bool move);
  static void AddCurvePoint(void* helper, float x, float y);
  // Walks the path into the outline (or the polylines, in stroke mode).
  void BuildOutline(const TPath& path);
  void CoverageRow(int row, const uint16_t* coverage, int lo, int hi) override;
  // Blends columns lo ... hi of a row; coverage[0] is column lo's.
  void BlendRow(int row, const uint16_t* coverage, int lo, int hi);
  void Replay(const TCoverageCache::TEntry& entry, int originX, int originY);

  std::unique_ptr<TDirectBitmap> fBitmap;
  std::unique_ptr<TOutline> fOutline;
  std::unique_ptr<TRasterizer> fRasterizer;
  enum class TTransformKind { Identity, Matrix, Function } fTransformKind = TTransformKind::Identity;
  TMatrix3 fMatrix;
  TPointTransform fTransformFunction;
  std::vector<std::pair<float, float>> fPolyline;
  // Outlines filled since BeginPaint, and the one being recorded (with its
  // origin) while it is scan-converted.
  TCoverageCache fCache;
  TCoverageCache::TEntry* fRecording = nullptr;
  int fRecordX = 0, fRecordY = 0;
};

}  // namespace zel
