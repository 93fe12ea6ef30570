#include "imaging/shadow_generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <type_traits>

namespace zel {

namespace {

constexpr size_t kPrefixLength = std::size(kShadowPrefix) - 1;
constexpr int kNumericFields = 17;  // the fields before the picture name

// ---------------------------------------------------------------------------
// The name format.

std::string FloatText(float value, int decimals) {
  char buffer[64];
  const auto result = decimals < 0 ? std::to_chars(buffer, buffer + sizeof buffer, value)
                                   : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                                   decimals);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

// Plain ASCII or nothing: numbers never hold other characters.
std::optional<std::string> Narrow(TStringView text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t c : text) {
    if (c > 127) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return narrow;
}

// The whole field must be the number: no blanks, no trailing characters.
template <typename T>
std::optional<T> StrictNumber(TStringView field) {
  const auto narrow = Narrow(field);
  if (!narrow || narrow->empty()) return std::nullopt;
  T value{};
  const char* end = narrow->data() + narrow->size();
  const auto result = std::from_chars(narrow->data(), end, value);
  if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>)
    if (!std::isfinite(value)) return std::nullopt;
  return value;
}

int32_t IntField(TStringView field, int32_t otherwise = 0) {
  return StrictNumber<int32_t>(field).value_or(otherwise);
}

uint8_t ByteField(TStringView field, uint8_t otherwise = 0) {
  const auto value = StrictNumber<int32_t>(field);
  return value && *value >= 0 && *value <= 255 ? static_cast<uint8_t>(*value) : otherwise;
}

float FloatField(TStringView field) { return StrictNumber<float>(field).value_or(0.0f); }

// ---------------------------------------------------------------------------
// The working bitmap.

struct TWorkingSize {
  int32_t Width = 0, Height = 0, Halvings = 0;
};

// Big sources are halved until the blur works on at most 700,000 pixels and
// 10,000 pixels a side.
TWorkingSize WorkingSizeFor(const TShadowParams& params) {
  TWorkingSize size{params.SourceWidth() + 2 * params.MarginX, params.SourceHeight() + 2 * params.MarginY, 0};
  while (int64_t{size.Width} * size.Height > 700'000) size.Width /= 2, size.Height /= 2, ++size.Halvings;
  while (size.Width > 10'000 || size.Height > 10'000) size.Width /= 2, size.Height /= 2, ++size.Halvings;
  return size;
}

int32_t ScaledMargin(int32_t margin, int32_t halvings) {
  return static_cast<int32_t>(std::lround(std::ldexp(static_cast<double>(margin), -halvings)));
}

// Where along the gradient a pixel lies, out of extent.
struct TGradientPlace {
  int Position;
  int Extent;
};

TGradientPlace GradientPlace(uint8_t type, int x, int y, int w, int h) {
  const int rx = w - 1 - x, by = h - 1 - y, diagonal = (w - 1) + (h - 1);
  switch (static_cast<TShadowGradient>(type)) {
    case TShadowGradient::TopLeftToBottomRight: return {x + y, diagonal};
    case TShadowGradient::TopRightToBottomLeft: return {rx + y, diagonal};
    case TShadowGradient::BottomLeftToTopRight: return {x + by, diagonal};
    case TShadowGradient::BottomRightToTopLeft: return {rx + by, diagonal};
    case TShadowGradient::BottomToTop: return {by, h - 1};
    case TShadowGradient::TopToBottom: return {y, h - 1};
    case TShadowGradient::LeftToRight: return {x, w - 1};
    case TShadowGradient::RightToLeft: return {rx, w - 1};
    default: return {0, 0};
  }
}

void FillGradient(TBitmap& bitmap, const TShadowParams& params) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const int start = params.GradientStartAlpha, span = params.GradientEndAlpha - start;
  for (int y = 0; y < h; ++y) {
    uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x, out += 4) {
      const TGradientPlace place = GradientPlace(params.GradientType, x, y, w, h);
      out[0] = out[1] = out[2] = 0;
      out[3] = static_cast<uint8_t>(place.Extent > 0 ? start + span * place.Position / place.Extent : start);
    }
  }
}

void DrawBox(TBitmap& working, const TShadowParams& params, int32_t marginX, int32_t marginY) {
  if (params.GradientStartAlpha == 255 && params.GradientEndAlpha == 255)
    working.Fill({marginX, marginY, working.Width() - marginX, working.Height() - marginY}, MakeColor(0, 0, 0, 255));
  else
    FillGradient(working, params);
}

// The source rectangle of the picture, halved like the working size, copied
// in at the scaled margins. False when the picture cannot be had.
bool DrawPicture(TBitmap& working, const TShadowParams& params, const TWorkingSize& size, TPoint at,
                 const TPictureRequest& request, const TBitmapProgress& progress) {
  std::unique_ptr<TImage> picture = request ? request(params.PictureName) : nullptr;
  if (!picture) return false;
  TBitmap* level = picture->GetMipLevel(params.PictureLevel, FormatA8R8G8B8());
  if (!level) return false;
  const TRect rect = TRect{params.Left, params.Top, params.Right, params.Bottom}.Intersect(level->BoundsRect());
  if (rect.IsEmpty()) return true;  // nothing of the picture casts a shadow
  TCropBitmap crop(*level, rect);
  const TBitmap* source = &crop;
  std::unique_ptr<TBitmap> halved;
  for (int i = 0; i < size.Halvings; ++i) {
    halved = HalveBitmap(*source, TBitmapClass::None, progress);
    source = halved.get();
  }
  working.Draw(TRect::FromSize(at.X, at.Y, source->Width(), source->Height()), *source, false, {0, 0});
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

TString BuildShadowName(const TShadowParams& p) {
  const std::string fields[kNumericFields] = {
      std::to_string(p.Left),           std::to_string(p.Top),          std::to_string(p.Right),
      std::to_string(p.Bottom),         std::to_string(p.MarginX),      std::to_string(p.MarginY),
      std::to_string(p.BaseAlpha),      FloatText(p.Blur, -1),          std::to_string(p.ContourPreset),
      std::to_string(p.GradientType),   std::to_string(p.GradientStartAlpha), std::to_string(p.GradientEndAlpha),
      std::to_string(p.Blue),           std::to_string(p.Green),        std::to_string(p.Red),
      FloatText(p.Density, 2),          std::to_string(p.PictureLevel)};
  TString name = kShadowPrefix;
  for (const std::string& field : fields) name += AsciiToString(field) + u":";
  return name + p.PictureName;
}

TShadowParams ParseShadowName(TStringView name) {
  if (name.starts_with(kShadowPrefix)) name.remove_prefix(kPrefixLength);
  TStringView fields[kNumericFields];
  TStringView rest = name;
  bool complete = true;
  for (TStringView& field : fields) {
    if (!complete) break;  // missing fields stay empty
    const size_t colon = rest.find(u':');
    if (colon == TStringView::npos) {
      field = rest;
      complete = false;
      continue;
    }
    field = rest.substr(0, colon);
    rest.remove_prefix(colon + 1);
  }
  TShadowParams p;
  p.Left = IntField(fields[0]);
  p.Top = IntField(fields[1]);
  p.Right = IntField(fields[2]);
  p.Bottom = IntField(fields[3]);
  p.MarginX = IntField(fields[4]);
  p.MarginY = IntField(fields[5]);
  p.BaseAlpha = IntField(fields[6], 255);
  p.Blur = FloatField(fields[7]);
  p.ContourPreset = IntField(fields[8]);
  p.GradientType = ByteField(fields[9], 8);
  p.GradientStartAlpha = ByteField(fields[10]);
  p.GradientEndAlpha = ByteField(fields[11]);
  p.Blue = ByteField(fields[12]);
  p.Green = ByteField(fields[13]);
  p.Red = ByteField(fields[14]);
  p.Density = FloatField(fields[15]);
  p.PictureLevel = IntField(fields[16]);
  p.PictureName = complete ? TString(rest) : TString();
  return p;
}

TShadowParams NormalizeShadowParams(const TShadowParams& params) {
  ZEL_ASSERT(params.Left == 0 && params.Top == 0, "NormalizeShadowParams - Left and Top must be 0");
  const double area = (static_cast<double>(params.Right) + 2.0 * params.MarginX) *
                      (static_cast<double>(params.Bottom) + 2.0 * params.MarginY);
  if (!(area > 0.0)) return params;
  const double s = std::sqrt(40'000.0 / area);
  auto scaled = [s](int32_t v) { return static_cast<int32_t>(std::lround(v * s)); };
  TShadowParams result = params;
  result.Right = scaled(params.Right);
  result.Bottom = scaled(params.Bottom);
  result.MarginX = scaled(params.MarginX);
  result.MarginY = scaled(params.MarginY);
  return result;
}

// ---------------------------------------------------------------------------

TShadowGenerator::TShadowGenerator() : fProducer(std::make_unique<TShadowProducer>()) {}

std::unique_ptr<TImage> TShadowGenerator::Make(const TShadowParams& params, const TPictureRequest& request) {
  const TWorkingSize size = WorkingSizeFor(params);
  if (size.Width <= 0 || size.Height <= 0) return nullptr;
  const int32_t marginX = ScaledMargin(params.MarginX, size.Halvings);
  const int32_t marginY = ScaledMargin(params.MarginY, size.Halvings);
  std::unique_ptr<TBitmap> working = CreateBitmap(size.Width, size.Height, FormatA8R8G8B8());
  working->Fill(working->BoundsRect(), MakeColor(0, 0, 0, static_cast<uint32_t>(std::clamp(params.BaseAlpha, 0, 255))));
  try {
    if (params.IsBox())
      DrawBox(*working, params, marginX, marginY);
    else if (!DrawPicture(*working, params, size, {marginX, marginY}, request, Progress))
      return nullptr;
  } catch (const EAbort&) {
    return nullptr;
  }
  const TString name = BuildShadowName(params);
  auto source = MakeRef<TWrapperBitmapStore>(name, std::move(working));
  TShadowProducer& producer = *fProducer;
  producer.Blur = std::ldexp(static_cast<double>(params.Blur), -size.Halvings);
  producer.Blue = params.Blue, producer.Green = params.Green, producer.Red = params.Red;
  producer.ShadowAlpha = static_cast<uint8_t>(std::clamp(std::lround(params.Density * 255.0 / 100.0), 0L, 255L));
  producer.ContourPreset = params.ContourPreset;
  producer.Progress = Progress;
  std::unique_ptr<TImage> result = producer.Make(*source, name);
  if (!result) return nullptr;
  auto geometry = std::make_unique<TShadowGeometry>();
  geometry->WorkingWidth = size.Width;
  geometry->WorkingHeight = size.Height;
  geometry->Halvings = size.Halvings;
  geometry->MarginX = marginX;
  geometry->MarginY = marginY;
  geometry->BlurMargin = producer.DropShadow().Margin();
  result->Store().Attach(std::move(geometry));
  return result;
}

// ---------------------------------------------------------------------------

TShadow::TShadow(bool normalized) : fNormalized(normalized) {}

bool TShadow::Update(const TShadowParams& params, const TPictureRequest& request) {
  ZEL_ASSERT(params.PictureLevel >= 0, "TShadow.Update - Level not Assigned");
  const TShadowParams wanted = fNormalized || params.IsBox() ? NormalizeShadowParams(params) : params;
  if (fPicture && wanted == fParams) return false;
  std::unique_ptr<TImage> picture = request ? request(BuildShadowName(wanted)) : nullptr;
  if (!picture) return false;
  fPicture = std::move(picture);
  fParams = wanted;
  return true;
}

const TShadowGeometry* TShadow::Geometry() const {
  return fPicture ? fPicture->Store().FindAttached<TShadowGeometry>() : nullptr;
}

}  // namespace zel
