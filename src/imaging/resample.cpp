#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace zel {

namespace {

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

double BellWeight(double x) {
  if (x < 0.5) return 0.75 - x * x;
  if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0.0;
}

double BSplineWeight(double x) {
  if (x < 1.0) return x * x * x / 2.0 - x * x + 2.0 / 3.0;
  if (x < 2.0) return (2.0 - x) * (2.0 - x) * (2.0 - x) / 6.0;
  return 0.0;
}

// Mitchell-Netravali with B = C = 1/3.
double MitchellWeight(double x) {
  constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
  const double x2 = x * x, x3 = x2 * x;
  if (x < 1.0) return ((12.0 - 9.0 * B - 6.0 * C) * x3 + (-18.0 + 12.0 * B + 6.0 * C) * x2 + (6.0 - 2.0 * B)) / 6.0;
  if (x < 2.0)
    return ((-B - 6.0 * C) * x3 + (6.0 * B + 30.0 * C) * x2 + (-12.0 * B - 48.0 * C) * x + (8.0 * B + 24.0 * C)) / 6.0;
  return 0.0;
}

// The source pixels one target pixel reads, with their normalised weights;
// all lists of an axis lie end to end.
struct TContributors {
  std::vector<int> Begin;  // per target pixel, one more at the end
  std::vector<int> Index;
  std::vector<float> Weight;
};

// Mirrors positions beyond the edges back inside; tiny sizes clamp.
int EdgeIndex(int j, int size) {
  if (j < 0) j = -j - 1;
  if (j >= size) j = 2 * size - j - 1;
  return std::clamp(j, 0, size - 1);
}

// Pixel centres map onto pixel centres, so the result stays centred on the
// source for every scale.
TContributors MakeContributors(int sourceSize, int targetSize, TResampleFilter filter, double support) {
  TContributors result;
  result.Begin.reserve(static_cast<size_t>(targetSize) + 1);
  const double scale = static_cast<double>(targetSize) / sourceSize;
  const double stretch = scale < 1.0 ? scale : 1.0;  // the weights' argument factor
  const double width = support / stretch;
  std::vector<double> weights;
  for (int i = 0; i < targetSize; ++i) {
    result.Begin.push_back(static_cast<int>(result.Index.size()));
    const double center = (i + 0.5) / scale - 0.5;
    const int left = static_cast<int>(std::ceil(center - width));
    const int right = static_cast<int>(std::floor(center + width));
    weights.clear();
    double sum = 0.0;
    for (int j = left; j <= right; ++j) {
      const double w = FilterWeight(filter, (center - j) * stretch);
      weights.push_back(w);
      sum += w;
    }
    if (sum == 0.0) {
      // A support narrower than the pixel spacing: the nearest pixel alone.
      result.Index.push_back(EdgeIndex(static_cast<int>(std::lround(center)), sourceSize));
      result.Weight.push_back(1.0f);
      continue;
    }
    for (int j = left; j <= right; ++j) {
      const double w = weights[static_cast<size_t>(j - left)];
      if (w == 0.0) continue;
      result.Index.push_back(EdgeIndex(j, sourceSize));
      result.Weight.push_back(static_cast<float>(w / sum));
    }
  }
  result.Begin.push_back(static_cast<int>(result.Index.size()));
  return result;
}

constexpr float kTo16 = 256.9607849f;
constexpr float kFrom16 = 0.0038910506f;

class TResampler {
 public:
  TResampler(const TBitmap& source, TBitmap& target, TResampleFilter filter, double support, const uint8_t* table,
             const TBitmapProgress& progress)
      : fSource(source),
        fTarget(target),
        fTable(table),
        fProgress(progress),
        fColumns(MakeContributors(source.Width(), target.Width(), filter, support)),
        fRows(MakeContributors(source.Height(), target.Height(), filter, support)),
        fWidth(static_cast<size_t>(target.Width())),
        fRowsTotal(static_cast<float>(source.Height() + target.Height())),
        fTemp(fWidth * static_cast<size_t>(source.Height())) {}

  bool Run() { return FilterRows() && FilterColumns(); }

 private:
  bool Ask() { return !fProgress || fProgress(static_cast<float>(++fRowsDone) / fRowsTotal); }

  // Pass 1: every source row horizontally into 16-bit values.
  bool FilterRows() {
    for (int y = 0; y < fSource.Height(); ++y) {
      const uint8_t* in = fSource.ScanLine(y);
      uint16_t* out = &fTemp[static_cast<size_t>(y) * fWidth];
      for (size_t x = 0; x < fWidth; ++x) {
        float sum = 0.0f;
        for (int c = fColumns.Begin[x]; c < fColumns.Begin[x + 1]; ++c)
          sum += fColumns.Weight[static_cast<size_t>(c)] * in[fColumns.Index[static_cast<size_t>(c)]];
        out[x] = static_cast<uint16_t>(std::lround(std::clamp(sum, 0.0f, 255.0f) * kTo16));
      }
      if (!Ask()) return false;
    }
    return true;
  }

  // Pass 2: the columns vertically, a whole row of sums at a time.
  bool FilterColumns() {
    std::vector<float> sums(fWidth);
    for (int y = 0; y < fTarget.Height(); ++y) {
      std::fill(sums.begin(), sums.end(), 0.0f);
      for (int c = fRows.Begin[static_cast<size_t>(y)]; c < fRows.Begin[static_cast<size_t>(y) + 1]; ++c) {
        const float w = fRows.Weight[static_cast<size_t>(c)];
        const uint16_t* in = &fTemp[static_cast<size_t>(fRows.Index[static_cast<size_t>(c)]) * fWidth];
        for (size_t x = 0; x < fWidth; ++x) sums[x] += w * in[x];
      }
      StoreRow(sums, fTarget.ScanLine(y));
      if (!Ask()) return false;
    }
    return true;
  }

  void StoreRow(const std::vector<float>& sums, uint8_t* out) const {
    for (size_t x = 0; x < fWidth; ++x) {
      const float sum = std::clamp(sums[x], 0.0f, 65535.0f);
      out[x] = fTable ? fTable[std::lround(sum * (4095.0f / 65535.0f))]
                      : static_cast<uint8_t>(std::lround(sum * kFrom16));
    }
  }

  const TBitmap& fSource;
  TBitmap& fTarget;
  const uint8_t* fTable;
  const TBitmapProgress& fProgress;
  TContributors fColumns;
  TContributors fRows;
  size_t fWidth;
  float fRowsTotal;
  int fRowsDone = 0;
  std::vector<uint16_t> fTemp;  // source height x target width
};

}  // namespace

double FilterWeight(TResampleFilter filter, double x) {
  const double ax = std::fabs(x);
  switch (filter) {
    case TResampleFilter::Box:
      return x > -0.5 && x <= 0.5 ? 1.0 : 0.0;
    case TResampleFilter::Triangle:
      return ax < 1.0 ? 1.0 - ax : 0.0;
    case TResampleFilter::Hermite:
      return ax < 1.0 ? (2.0 * ax - 3.0) * ax * ax + 1.0 : 0.0;
    case TResampleFilter::Bell:
      return BellWeight(ax);
    case TResampleFilter::BSpline:
      return BSplineWeight(ax);
    case TResampleFilter::Mitchell:
      return MitchellWeight(ax);
    case TResampleFilter::Lanczos3:
      return ax < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
  }
  return 0.0;
}

double FilterSupport(TResampleFilter filter) {
  switch (filter) {
    case TResampleFilter::Box:
      return 0.5;
    case TResampleFilter::Triangle:
    case TResampleFilter::Hermite:
      return 1.0;
    case TResampleFilter::Bell:
      return 1.5;
    case TResampleFilter::BSpline:
    case TResampleFilter::Mitchell:
      return 2.0;
    case TResampleFilter::Lanczos3:
      return 3.0;
  }
  return 1.0;
}

bool Resample(const TBitmap& source, TBitmap& target, TResampleFilter filter, double support,
              const uint8_t* outputTable4096, const TBitmapProgress& progress) {
  ZEL_ASSERT(source.Format()->BytesPerPixel() == 1 && target.Format()->BytesPerPixel() == 1,
             "Resample - 8-bit bitmaps expected");
  if (source.Width() <= 0 || source.Height() <= 0 || target.Width() <= 0 || target.Height() <= 0) return true;
  if (support <= 0.0) support = FilterSupport(filter);
  TResampler resampler(source, target, filter, support, outputTable4096, progress);
  return resampler.Run();
}

}  // namespace zel
