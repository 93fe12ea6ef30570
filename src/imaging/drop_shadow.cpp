#include "imaging/drop_shadow.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/resample.h"

namespace zel {

namespace {

// Where a pixel's alpha byte lies: 0 for 8-bit bitmaps, the alpha channel's
// byte for 32-bit ones.
int AlphaByteOf(const TCommonPixelFormat& format) {
  if (format.BytesPerPixel() == 1) return 0;
  const TPixelChannel* alpha = format.BytesPerPixel() == 4 ? format.ChannelFor(u'A') : nullptr;
  ZEL_ASSERT(alpha != nullptr && alpha->Bits == 8 && alpha->Shift % 8 == 0,
             "TDropShadow.Make - Unsupported Pixel Format " + format.NameUtf8());
  return alpha->Shift / 8;
}

}  // namespace

TDropShadow::TDropShadow() : fCurve(std::make_unique<TCurvesData>()) {}

int TDropShadow::MarginFor(double factor) {
  if (!(factor > 0.0)) factor = 1.0;
  return static_cast<int>(std::ceil(2.5 * factor));
}

TBitmapProgress TDropShadow::Part(float from, float to) const {
  if (!fProgress) return {};
  return [this, from, to](float fraction) { return fProgress(from + (to - from) * fraction); };
}

// The source's alpha in a zeroed bitmap with room for the blur around it.
std::unique_ptr<TBitmap> TDropShadow::MakePadded(const TBitmap& source, int margin) {
  const int bpp = source.Format()->BytesPerPixel();
  const size_t alphaByte = static_cast<size_t>(AlphaByteOf(*source.Format()));
  const int w = source.Width(), h = source.Height();
  auto padded = CreateBitmap(w + 2 * margin, h + 2 * margin, FormatA8());
  for (int y = 0; y < padded->Height(); ++y) std::memset(padded->ScanLine(y), 0, static_cast<size_t>(padded->Width()));
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = source.ScanLine(y) + alphaByte;
    uint8_t* out = padded->ScanLine(y + margin) + margin;
    for (int x = 0; x < w; ++x, in += bpp) out[x] = *in;
    if (!Ask(0.2f * static_cast<float>(y + 1) / static_cast<float>(h))) return nullptr;
  }
  return padded;
}

// The curve spread over the 4,096 steps of the enlarging pass's output;
// empty when the curve would change nothing.
std::vector<uint8_t> TDropShadow::ContourTable() const {
  if (fCurve->PresetNumber() == 0 || fCurve->IsIdentity()) return {};
  const auto& curve = fCurve->Table();
  std::vector<uint8_t> table(4096);
  for (size_t i = 0; i < table.size(); ++i) {
    const double position = static_cast<double>(i) * 255.0 / 4095.0;
    const size_t low = std::min<size_t>(static_cast<size_t>(position), 255);
    const size_t high = std::min<size_t>(low + 1, 255);
    const double value = curve[low] + (curve[high] - curve[low]) * (position - static_cast<double>(low));
    table[i] = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
  }
  return table;
}

TBitmap* TDropShadow::Make(const TBitmap& source) {
  AlphaByteOf(*source.Format());  // checks the format before any work
  const double f = fFactor > 0.0 ? fFactor : 1.0;
  fMargin = MarginFor(f);
  fReduced.reset();
  fResult = MakePadded(source, fMargin);
  if (!fResult) return nullptr;
  const int width = fResult->Width(), height = fResult->Height();
  fReduced = CreateBitmap(static_cast<int>(std::lround(width / f)) + 1, static_cast<int>(std::lround(height / f)) + 1,
                          FormatA8());
  if (!Resample(*fResult, *fReduced, TResampleFilter::BSpline, 2.0, nullptr, Part(0.2f, 0.4f))) return nullptr;
  const std::vector<uint8_t> table = ContourTable();
  if (!Resample(*fReduced, *fResult, TResampleFilter::BSpline, 2.0, table.empty() ? nullptr : table.data(),
                Part(0.4f, 1.0f)))
    return nullptr;
  return fResult.get();
}

// ---------------------------------------------------------------------------

TShadowProducer::TShadowProducer() : fDropShadow(std::make_unique<TDropShadow>()) {}

std::unique_ptr<TBitmap> TShadowProducer::Colourise(const TBitmap& alpha) const {
  auto result = CreateBitmap(alpha.Width(), alpha.Height(), FormatA8R8G8B8());
  for (int y = 0; y < alpha.Height(); ++y) {
    const uint8_t* in = alpha.ScanLine(y);
    uint8_t* out = result->ScanLine(y);
    for (int x = 0; x < alpha.Width(); ++x, out += 4) {
      const unsigned v = in[x];
      out[0] = Blue, out[1] = Green, out[2] = Red;
      out[3] = static_cast<uint8_t>(v == 255 ? ShadowAlpha : v * ShadowAlpha / 255);
    }
  }
  return result;
}

std::unique_ptr<TImage> TShadowProducer::Make(TBitmapStore& picture, TString name) {
  TBitmap* level0 = picture.GetMipLevel(0);
  ZEL_ASSERT(level0 != nullptr && level0->Format()->BytesPerPixel() == 4 && level0->Format()->HasAlpha(),
             "TShadowProducer.Make - 32-bit picture expected");
  TDropShadow& shadow = *fDropShadow;
  // The curve is chosen afresh so that an unknown preset means none rather
  // than the one of the previous shadow.
  shadow.Curve().Reset();
  shadow.Curve().SelectPreset(ContourPreset);
  shadow.SetFactor(Blur);
  shadow.SetProgress(Progress);
  const TBitmap* alpha = shadow.Make(*level0);
  if (!alpha) return nullptr;
  auto store = MakeRef<TWrapperBitmapStore>(std::move(name), Colourise(*alpha));
  return std::make_unique<TImage>(store);
}

}  // namespace zel
