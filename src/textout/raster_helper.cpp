#include "textout/raster_helper.h"

#include <algorithm>
#include <cmath>

#include "imaging/pixel_format.h"
#include "textout/smoother.h"

namespace zel {

namespace {

// Points are kept within +-2^26 so that the sub-pixel units and the
// flattener's arithmetic stay in range.
constexpr float kCoordLimit = 67108864.0f;

float Clamped(float v) {
  if (!(v == v)) return 0;
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}

}  // namespace

TMatrix3 TMatrix3::Translation(float dx, float dy) {
  TMatrix3 m;
  m.M[2][0] = dx;
  m.M[2][1] = dy;
  return m;
}

TMatrix3 TMatrix3::Scaling(float sx, float sy) {
  TMatrix3 m;
  m.M[0][0] = sx;
  m.M[1][1] = sy;
  return m;
}

TMatrix3 TMatrix3::Then(const TMatrix3& other) const {
  TMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) {
      float sum = 0;
      for (int n = 0; n < 3; ++n) sum += M[i][n] * other.M[n][k];
      r.M[i][k] = sum;
    }
  return r;
}

void TMatrix3::Apply(float& x, float& y) const {
  const float nx = x * M[0][0] + y * M[1][0] + M[2][0];
  const float ny = x * M[0][1] + y * M[1][1] + M[2][1];
  x = nx;
  y = ny;
}

TRasterHelper::TRasterHelper()
    : fOutline(std::make_unique<TOutline>()), fRasterizer(std::make_unique<TRasterizer>()) {
  fPolyline.reserve(64);
}

TRasterHelper::~TRasterHelper() {
  if (fBitmap) ReportAssertion("No Previous Call of TRasterHelper.BeginPaint", __FILE__, __LINE__);
}

void TRasterHelper::BeginPaint(int width, int height) { BeginPaint(width, height, NoAlpha(FillColor)); }

void TRasterHelper::BeginPaint(int width, int height, TColor colour) {
  ZEL_ASSERT(!fBitmap, "Previous TRasterHelper.BeginPaint not Closed");
  ZEL_ASSERT(width > 0 && height > 0, "TRasterHelper.BeginPaint: W or H = 0");
  fBitmap = std::make_unique<TDirectBitmap>(width, height, FormatA8R8G8B8());
  fCache.Clear();
  if (colour != 0) {
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(fBitmap->ScanLine(y));
      std::fill(row, row + width, colour);
    }
  }
}

std::unique_ptr<TDirectBitmap> TRasterHelper::EndPaint() {
  ZEL_ASSERT(fBitmap, "No Previous Call of TRasterHelper.BeginPaint");
  fCache.Clear();
  return std::move(fBitmap);
}

void TRasterHelper::SetTransform(const TMatrix3& matrix) {
  fMatrix = matrix;
  fTransformKind = TTransformKind::Matrix;
}

void TRasterHelper::ComposeTransform(const TMatrix3& matrix) {
  if (fTransformKind != TTransformKind::Matrix) fMatrix = TMatrix3::Identity();
  fMatrix = fMatrix.Then(matrix);
  fTransformKind = TTransformKind::Matrix;
}

void TRasterHelper::ResetTransform() {
  fTransformKind = TTransformKind::Identity;
  fTransformFunction = nullptr;
}

void TRasterHelper::SetTransformFunction(TPointTransform transform) {
  fTransformFunction = std::move(transform);
  fTransformKind = fTransformFunction ? TTransformKind::Function : TTransformKind::Identity;
}

void TRasterHelper::Transform(float& x, float& y) const {
  if (fTransformKind == TTransformKind::Matrix) fMatrix.Apply(x, y);
  else if (fTransformKind == TTransformKind::Function) fTransformFunction(x, y);
  x = Clamped(x);
  y = Clamped(y);
}

// Each polyline becomes one figure: its segments offset to one side by half
// the line width going forwards, then to the other side coming back.
void TRasterHelper::FlushPolyline() {
  if (fPolyline.size() >= 2) {
    const double half = LineWidth / 2.0;
    bool first = true;
    const auto offsetSegment = [&](std::pair<float, float> a, std::pair<float, float> b) {
      const double dx = b.first - a.first, dy = b.second - a.second;
      const double length = std::hypot(dx, dy);
      const double nx = length > 0 ? -dy / length * half : 0, ny = length > 0 ? dx / length * half : 0;
      if (first) fOutline->MoveTo(a.first + nx, a.second + ny), first = false;
      else fOutline->LineTo(a.first + nx, a.second + ny);
      fOutline->LineTo(b.first + nx, b.second + ny);
    };
    for (size_t i = 0; i + 1 < fPolyline.size(); ++i) offsetSegment(fPolyline[i], fPolyline[i + 1]);
    for (size_t i = fPolyline.size() - 1; i > 0; --i) offsetSegment(fPolyline[i], fPolyline[i - 1]);
  }
  fPolyline.clear();
}

void TRasterHelper::AddPoint(float x, float y, bool move) {
  if (StrokeMode) {
    if (move) FlushPolyline();
    fPolyline.emplace_back(x, y);
  } else if (move) {
    fOutline->MoveTo(x, y);
  } else {
    fOutline->LineTo(x, y);
  }
}

void TRasterHelper::AddCurvePoint(void* helper, float x, float y) {
  static_cast<TRasterHelper*>(helper)->AddPoint(x, y, false);
}

void TRasterHelper::BuildOutline(const TPath& path) {
  const std::vector<TPathPoint>& pts = path.Points;
  float lastX = 0, lastY = 0;
  textout::TOutlineSmoother smoother(&TRasterHelper::AddCurvePoint, this);
  bool needMove = true;
  size_t i = 0;
  while (i < pts.size()) {
    const int32_t command = pts[i].Command;
    if (needMove && command != pcMoveTo) break;
    float x = pts[i].X, y = pts[i].Y;
    if (command == pcMoveTo || command == pcLineTo) {
      Transform(x, y);
      AddPoint(x, y, command == pcMoveTo);
      lastX = x, lastY = y;
      needMove = false;
      ++i;
    } else if (command == pcQuadratic) {
      if (i + 2 > pts.size()) break;
      float x1 = pts[i + 1].X, y1 = pts[i + 1].Y;
      Transform(x, y);
      Transform(x1, y1);
      smoother.Quadratic(lastX, lastY, x, y, x1, y1);
      lastX = x1, lastY = y1;
      i += 2;
    } else if (command == pcCubic) {
      if (i + 3 > pts.size()) break;
      float x1 = pts[i + 1].X, y1 = pts[i + 1].Y, x2 = pts[i + 2].X, y2 = pts[i + 2].Y;
      Transform(x, y);
      Transform(x1, y1);
      Transform(x2, y2);
      smoother.Cubic(lastX, lastY, x, y, x1, y1, x2, y2);
      lastX = x2, lastY = y2;
      i += 3;
    } else if (command == pcEndFigure) {
      needMove = true;
      ++i;
    } else {
      AssertionFailed("Unknown Path Command", __FILE__, __LINE__);
    }
  }
  if (StrokeMode) FlushPolyline();
}

void TRasterHelper::FillPath(const TPath& path, bool evenOdd) {
  ZEL_ASSERT(fBitmap, "No Previous Call of TRasterHelper.BeginPaint");
  fOutline->Reset();
  fPolyline.clear();
  if (StrokeMode && LineWidth < 0.0001f) return;
  fOutline->SetEvenOdd(StrokeMode ? false : evenOdd);
  BuildOutline(path);
  const int width = std::min(fBitmap->Width(), ClipRect.Right);
  const int height = std::min(fBitmap->Height(), ClipRect.Bottom);
  fOutline->Close();
  if (width > 0 && height > 0 && TCoverageCache::Inside(*fOutline, width, height)) {
    int originX = 0, originY = 0;
    TCoverageCache::Origin(*fOutline, originX, originY);
    if (const TCoverageCache::TEntry* entry = fCache.Find(*fOutline, originX, originY)) {
      Replay(*entry, originX, originY);
      return;
    }
    fRecording = fCache.Add(*fOutline, originX, originY);
    fRecordX = originX, fRecordY = originY;
  }
  fRasterizer->Rasterize(*fOutline, width, height, *this);
  fRecording = nullptr;
}

void TRasterHelper::Replay(const TCoverageCache::TEntry& entry, int originX, int originY) {
  for (const TCoverageCache::TRow& r : entry.Rows)
    BlendRow(r.Row + originY, &entry.Coverage[r.Offset], r.Lo + originX, r.Hi + originX);
}

namespace {

// BlendOver with its two commonest cases (an opaque colour, a transparent
// pixel) answered before the call.
inline TColor BlendPixel(TColor pixel, TColor colour) {
  const uint32_t a = AlphaOf(colour);
  if (a == 255 || (a != 0 && AlphaOf(pixel) == 0)) return colour;
  return BlendOver(pixel, colour);
}

}  // namespace

void TRasterHelper::CoverageRow(int row, const uint16_t* coverage, int lo, int hi) {
  if (fRecording) fCache.AddRow(*fRecording, row - fRecordY, coverage + lo, lo - fRecordX, hi - fRecordX);
  BlendRow(row, coverage + lo, lo, hi);
}

void TRasterHelper::BlendRow(int row, const uint16_t* coverage, int lo, int hi) {
  if (row < ClipRect.Top || row < 0 || row >= fBitmap->Height()) return;
  auto* pixels = reinterpret_cast<uint32_t*>(fBitmap->ScanLine(row));
  const int from = std::max(lo, ClipRect.Left);
  // A replayed row may end in a column right of this bitmap; it holds no coverage.
  hi = std::min(hi, fBitmap->Width() - 1);
  if (ColorFunction) {
    for (int x = from; x <= hi; ++x) {
      const uint32_t c = coverage[x - lo];
      if (c == 0) continue;
      TColor k = ColorFunction(x, row);
      if (c < 256) k = SetAlpha(k, c * AlphaOf(k) / 256);
      pixels[x] = BlendOver(pixels[x], k);
    }
    return;
  }
  const TColor full = FillColor;
  const uint32_t alpha = AlphaOf(full);
  for (int x = from; x <= hi; ++x) {
    const uint32_t c = coverage[x - lo];
    if (c == 0) continue;
    pixels[x] = BlendPixel(pixels[x], c < 256 ? SetAlpha(full, c * alpha / 256) : full);
  }
}

}  // namespace zel
