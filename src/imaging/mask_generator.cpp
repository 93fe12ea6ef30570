#include "imaging/mask_generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"

namespace zel {

namespace {

constexpr size_t kPrefixLength = std::size(kPresetedMaskPrefix) - 1;
constexpr int32_t kDefaultSide = 512;
// Percentages beyond this mean nothing and would overflow a float.
constexpr double kPercentLimit = 1e6;

TStringView SkipBlanks(TStringView field) {
  while (!field.empty() && (field.front() == u' ' || field.front() == u'\t')) field.remove_prefix(1);
  return field;
}

std::vector<TStringView> SplitFields(TStringView text) {
  std::vector<TStringView> fields;
  for (;;) {
    const size_t colon = text.find(u':');
    fields.push_back(SkipBlanks(text.substr(0, colon)));
    if (colon == TStringView::npos) break;
    text.remove_prefix(colon + 1);
  }
  return fields;
}

int32_t SideOrDefault(TStringView field) {
  const auto value = TryStrToInt(field);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) return kDefaultSide;
  return static_cast<int32_t>(*value);
}

float PercentOrZero(TStringView field) {
  double value;
  if (!IniTextToFloat(field, value)) return 0;
  return static_cast<float>(std::clamp(value, -kPercentLimit, kPercentLimit));
}

TString FloatText(float value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? AsciiToString(std::string_view(buffer, end)) : TString(u"0");
}

// The ease of the soft band: quadratic in, quadratic out.
double Ease(double x) { return x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x); }

// The value of a pixel that lies `inset` pixels inside the shape's edge
// (negative outside) with a soft band of `band` pixels.
uint8_t ValueAtInset(double inset, double band) {
  if (inset > band) return 255;
  if (inset < 0) return 0;
  if (band <= 0) return inset > 0 ? 255 : 0;
  return static_cast<uint8_t>(255 - std::lround(255 * Ease((band - inset) / band)));
}

// The shape of one mask, with everything that does not change from pixel to
// pixel worked out once.
class TMaskShape {
 public:
  explicit TMaskShape(const TMaskParams& params)
      : fEllipse(params.Kind == static_cast<uint8_t>(TMaskKind::Ellipse)),
        fWidth(params.Width),
        fHeight(params.Height) {
    const double shorter = std::min(fWidth, fHeight);
    const double softness = std::max(0.0, static_cast<double>(params.Softness));
    if (fEllipse) {
      fRadius = (fWidth - 1) / 2;
      fBand = shorter * softness / 100;
    } else {
      // Corner circles larger than half the shorter side would overlap.
      const double wanted = std::round(shorter * std::max(0.0, static_cast<double>(params.CornerRadius)) / 100);
      fRadius = std::min(wanted, shorter / 2);
      fBand = fRadius * softness / 100 + 1;
    }
  }

  uint8_t ValueAt(int32_t x, int32_t y) const {
    return ValueAtInset(fEllipse ? EllipseInset(x, y) : RoundedInset(x, y), fBand);
  }

 private:
  // The ellipse is measured on pixel indexes: its centre is the middle
  // pixel, its horizontal radius reaches the first and last column, and the
  // vertical distances are stretched to the horizontal scale.
  double EllipseInset(int32_t x, int32_t y) const {
    const double dx = x - (fWidth - 1) / 2;
    const double dy = (y - (fHeight - 1) / 2) * fWidth / fHeight;
    return fRadius - std::hypot(dx, dy);
  }

  // The rounded rectangle is measured on pixel centres against the picture's
  // outline, so that its straight edges run along the picture's border and
  // the border pixels get the first step of the soft band.
  double RoundedInset(int32_t x, int32_t y) const {
    const double px = x + 0.5, py = y + 0.5;
    const double cornerX = px < fRadius ? fRadius : px > fWidth - fRadius ? fWidth - fRadius : -1;
    const double cornerY = py < fRadius ? fRadius : py > fHeight - fRadius ? fHeight - fRadius : -1;
    if (cornerX >= 0 && cornerY >= 0) return fRadius - std::hypot(px - cornerX, py - cornerY);
    return std::min(std::min(px, fWidth - px), std::min(py, fHeight - py));
  }

  bool fEllipse;
  double fWidth, fHeight;
  double fRadius = 0;
  double fBand = 0;
};

}  // namespace

TMaskParams ParseMaskName(TStringView name) {
  TMaskParams params;
  if (name.size() < kPrefixLength) return params;
  const std::vector<TStringView> fields = SplitFields(name.substr(kPrefixLength));
  const auto field = [&fields](size_t i) { return i < fields.size() ? fields[i] : TStringView(); };
  params.Width = SideOrDefault(field(0));
  params.Height = SideOrDefault(field(1));
  params.Kind = TryStrToInt(field(2)) == 1 ? 1 : 0;
  params.Softness = PercentOrZero(field(3));
  params.CornerRadius = PercentOrZero(field(4));
  return params;
}

TString BuildMaskName(const TMaskParams& params) {
  return TString(kPresetedMaskPrefix) + IntToStr(params.Width) + u":" + IntToStr(params.Height) + u":" +
         IntToStr(params.Kind) + u":" + FloatText(params.Softness) + u":" + FloatText(params.CornerRadius);
}

std::unique_ptr<TImage> TMaskGenerator::Make(const TMaskParams& params, const TString& name) {
  if (!PictureSizeAllowed(params.Width, params.Height)) return nullptr;
  std::unique_ptr<TBitmap> mask = CreateBitmap(params.Width, params.Height, FormatA8());
  const TMaskShape shape(params);
  int32_t y = 0;
  while (y < params.Height) {
    uint8_t* row = mask->ScanLine(y);
    for (int32_t x = 0; x < params.Width; ++x) row[x] = shape.ValueAt(x, y);
    ++y;
    if (Progress && !Progress(static_cast<float>(y) / static_cast<float>(params.Height))) break;
  }
  // A stopped generation keeps its rows; the rest hides.
  for (; y < params.Height; ++y) std::memset(mask->ScanLine(y), 0, static_cast<size_t>(params.Width));
  return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(name, std::move(mask)));
}

}  // namespace zel
