#include "show/text_object.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/log.h"
#include "imaging/bitmap_store.h"
#include "ini/ini_document.h"
#include "show/button_object.h"
#include "show/key_point.h"
#include "show/slide_macro_values.h"
#include "show/text_macros.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"
#include "textout/text_producer.h"

namespace zel {

namespace {

const std::array<TString, 3> kAlignNames = {u"Left", u"Center", u"Right"};

constexpr double kMaxSide = 30000;
constexpr double kMaxArea = 10000000;

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | (rgb & 0xFFFFFFu); }

TRgbQuadColor QuadOf(uint32_t rgb) {
  return {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16), 0};
}

// The largest scale x or y over the key points, percent; the current
// values when there are none.
double LargestKeyPointScale(const TKeyPoints& points) {
  double largest = std::max(points.Current().ScaleX(), points.Current().ScaleY());
  if (points.Count() > 0) largest = 0;
  for (int32_t i = 0; i < points.Count(); ++i) {
    const TKeyPointValues& values = points.KeyPoint(i).Values();
    largest = std::max({largest, static_cast<double>(values.ScaleX()), static_cast<double>(values.ScaleY())});
  }
  return largest;
}

}  // namespace

double LimitedRenderScale(double scale, TTextSize size) {
  if (!std::isfinite(scale) || scale <= 0 || !std::isfinite(size.width) || !std::isfinite(size.height)) return 0;
  const double w = std::max(size.width, 0.0), h = std::max(size.height, 0.0);
  // Each halving brings a finite product down; 2,100 halvings take any
  // double below the smallest limit, so the loop always ends.
  for (int i = 0; i < 2100; ++i) {
    if (w * scale <= kMaxSide && h * scale <= kMaxSide && (w * scale) * (h * scale) <= kMaxArea) return scale;
    scale /= 2;
  }
  return 0;
}

TZelText::TZelText(TZelObject* parent, TStringView guid) : TZelImage(parent, guid) {
  fParams.FontName = u"Arial";
  fParams.Alignment = 1;
}

TZelText::~TZelText() = default;

// --- Reading -----------------------------------------------------------------

void TZelText::ReadKindKeys(const TIniIdentList& keys) {
  TZelImage::ReadKindKeys(keys);
  SetText(keys.ReadString(u"Text", u"Text"));
  const uint32_t normal = keys.ReadColor(u"TextColor", 0xFFFFFF);
  SetColors({normal, keys.ReadColor(u"TextColorHover", normal), keys.ReadColor(u"TextColorClick", normal)});
  fParams.FontName = keys.ReadString(u"FontName", u"Arial");
  fParams.Style = ParseStyleWords(keys.ReadString(u"FontStyle", u""));
  fParams.Alignment = static_cast<uint8_t>(keys.ReadIndexFolded(u"TextAlign", kAlignNames, 1));
  fParams.LineSpacing = keys.ReadInteger(u"LineSpacing", 0);
  fParams.ShiftX = static_cast<float>(keys.ReadFloat(u"ShiftX", 0));
  fParams.ShiftY = static_cast<float>(keys.ReadFloat(u"ShiftY", 0));
  fRasterize = keys.ReadBool(u"Rasterize", false);
  fRasterizedGuid = keys.ReadString(u"RasterizedGUID", u"");
  const TIniPoint box = keys.ReadPoint(u"BlackBoxSize", {0, 0});
  fBlackBoxSize = {box.x, box.y};
  SetTextComment(TypeName() == u"textcomment");
  fTextStale = true;
}

void TZelText::SetText(TStringView value) {
  // One pair of enclosing quotes goes, "^&" splits the lines.
  std::vector<TString> lines = ParseLinesField(value);
  if (lines == fLines) return;
  fLines = std::move(lines);
  fTextStale = true;
}

void TZelText::SetColors(const std::array<uint32_t, 3>& colors) {
  std::array<uint32_t, 3> rgb;
  for (size_t i = 0; i < 3; ++i) rgb[i] = colors[i] & 0xFFFFFFu;
  if (rgb == fColors) return;
  fColors = rgb;
  // Equal colours render in the colour, unequal ones in white with a tint:
  // either way the rendered colour may have changed.
  if (!fPictureName.empty()) UpdateRenderScale();
}

void TZelText::SetTextComment(bool comment) {
  fTextComment = comment;
  if (!comment || !Slide()) return;
  // Only one text comment per slide tree.
  std::vector<TZelObject*> pending{Slide()};
  while (!pending.empty()) {
    TZelObject* object = pending.back();
    pending.pop_back();
    if (auto* text = dynamic_cast<TZelText*>(object); text && text != this) text->fTextComment = false;
    for (TZelObject* child : object->Children()) pending.push_back(child);
  }
}

void TZelText::SetCaptionOf(TZelButton* button, std::optional<uint32_t> color) {
  fCaptionOf = button;
  if (color) SetColors({*color, *color, *color});
  SetTransparentForClick(true);
  TShadowKeys noShadow = Shadow();
  noShadow.enabled = false;
  SetShadowKeys(noShadow);
}

// --- Building ------------------------------------------------------------------

std::vector<TString> TZelText::ExpandLines() const {
  TSlideMacroValues values(*this);
  const TMTParser parser([&values](TMacroValue which) { return values.Value(which); });
  std::vector<TString> expanded;
  expanded.reserve(fLines.size());
  for (const TString& line : fLines) expanded.push_back(parser.Expand(line));
  return expanded;
}

void TZelText::BuildText() {
  const int64_t slideIndex = Slide() ? Slide()->Index() : -1;
  if (!fTextStale && slideIndex == fBuiltForSlide) return;
  fTextStale = false;
  fBuiltForSlide = slideIndex;
  fExpanded = ExpandLines();
  // The size depends on the lines, the font, the style and the spacing:
  // the name of the text at scale 1 in white holds those (and the
  // alignment and shift, which the picture's name needs too).
  TTextParams atOne = fParams;
  atOne.Size = 1;
  atOne.Colour = 0xFFFFFFFF;
  TString measureKey = fRasterize ? ImageName() : BuildTextPictureName(atOne, fExpanded);
  if (measureKey != fMeasureKey || fTextSize == TTextSize{}) {
    fMeasureKey = std::move(measureKey);
    Measure();
  }
  UpdateRenderScale();
}

void TZelText::Measure() {
  TTextSize size;
  if (fRasterize) {
    // A ready-made picture: its size unless the project gives one.
    LoadPictureIfStale();
    size = {static_cast<double>(fBlackBoxSize.width), static_cast<double>(fBlackBoxSize.height)};
    if ((size.width <= 0 || size.height <= 0) && Picture())
      size = {static_cast<double>(Picture()->Width()), static_cast<double>(Picture()->Height())};
    fLeftOverhang = 0;
  } else if (TZelSlideHost* host = Host()) {
    if (std::unique_ptr<TVectorText> text = host->OpenVectorText(fMeasureKey)) {
      const TPoint measured = TTextProducer::TextSize(*text, static_cast<float>(fParams.LineSpacing));
      size = {static_cast<double>(measured.X), static_cast<double>(measured.Y)};
      fLeftOverhang = LayoutText(*text, 1, static_cast<float>(fParams.LineSpacing)).L;
    }
  }
  if (size.height <= 0 || size.width <= 0) return;
  // A text measured again at another height scales its key points, so that
  // every line keeps its size on the screen. Captions follow their button.
  if (fMeasuredHeight > 0 && size.height != fMeasuredHeight && !fCaptionOf)
    ScaleKeyPoints(size.height / fMeasuredHeight);
  fMeasuredHeight = size.height;
  fTextSize = size;
  SetSize({static_cast<int32_t>(std::lround(size.width)), static_cast<int32_t>(std::lround(size.height))});
}

void TZelText::ScaleKeyPoints(double factor) {
  if (!std::isfinite(factor) || factor <= 0) return;
  TKeyPoints& points = KeyPoints();
  const auto scaled = [factor](float value) { return static_cast<float>(value * factor); };
  for (int32_t i = 0; i < points.Count(); ++i) {
    TKeyPoint& point = points.KeyPoint(i);
    point.SetValue(TKeyValue::ScaleX, scaled(point.Values().ScaleX()));
    point.SetValue(TKeyValue::ScaleY, scaled(point.Values().ScaleY()));
  }
  if (points.Count() > 0) {
    points.SetTime(points.Time());
  } else {
    points.SetCurrentValue(TKeyValue::ScaleX, scaled(points.Current().ScaleX()));
    points.SetCurrentValue(TKeyValue::ScaleY, scaled(points.Current().ScaleY()));
  }
  fSizesStale = true;
}

double TZelText::FontSize() const {
  const double lines = static_cast<double>(std::max<size_t>(1, fExpanded.empty() ? fLines.size() : fExpanded.size()));
  const double divisor = lines + (lines - 1) * fParams.LineSpacing / 200.0;
  return divisor > 0 ? fTextSize.height / divisor : fTextSize.height;
}

// --- Scale and placement -------------------------------------------------------

double TZelText::WantedRenderScale() const {
  const double h = fTextSize.height;
  if (h <= 0) return 0;
  if (fCaptionOf) {
    const TZelObject* buttonParent = fCaptionOf->Parent();
    const double parentHeight = buttonParent ? buttonParent->LargestDrawnHeight() : 0;
    return ScaleY() * LargestKeyPointScale(fCaptionOf->KeyPoints()) * parentHeight / 10000.0 / h;
  }
  const double parentHeight = Parent() ? Parent()->LargestDrawnHeight() : 0;
  return LargestKeyPointScale(KeyPoints()) * parentHeight / 100.0 / h;
}

void TZelText::UpdateRenderScale() {
  if (fRasterize) {
    fRenderScale = 1;
    fPictureName.clear();
    return;
  }
  double scale = LimitedRenderScale(WantedRenderScale(), fTextSize);
  // Before the first measurement of the parent the text is rendered at its
  // design size, so that it has a picture at all.
  if (scale <= 0) scale = LimitedRenderScale(1, fTextSize);
  if (scale <= 0) return;
  const uint32_t colour = Opaque(RenderColor());
  // Every update of the slide asks: the name is built only when the scale,
  // the colour or the text changed.
  if (scale == fRenderScale && colour == fRenderedColour && fRenderedKey == fMeasureKey && !fPictureName.empty())
    return;
  TTextParams params = fParams;
  params.Colour = colour;
  params.Size = scale;
  TString name = BuildTextPictureName(params, fExpanded);
  fRenderScale = scale;
  fRenderedColour = colour;
  fRenderedKey = fMeasureKey;
  if (name == fPictureName) return;
  fPictureName = std::move(name);
  RequestPictureAgain();
}

double TZelText::PlacementFactor(TObjectSize parentSize) const {
  // Scale y is the text's height in percent of the parent's height.
  if (fTextSize.height <= 0 || parentSize.height <= 0) return 0;
  return parentSize.height / fTextSize.height;
}

void TZelText::UpdateTransform(bool withChildren) {
  BuildText();
  TZelImage::UpdateTransform(withChildren);
  if (!fRasterize) UpdateRenderScale();
}

float TZelText::EffectiveOpacity() const {
  const float own = TZelImage::EffectiveOpacity();
  return fCaptionOf ? own * fCaptionOf->CaptionOpacity() / 100.0f : own;
}

TString TZelText::RequestName() const { return fRasterize ? ImageName() : fPictureName; }

// --- Looks and drawing ---------------------------------------------------------

bool TZelText::ColorsDiffer() const { return fColors[0] != fColors[1] || fColors[0] != fColors[2]; }

uint32_t TZelText::RenderColor() const {
  return ColorsDiffer() ? 0xFFFFFFu : fColors[static_cast<size_t>(ClickLook())];
}

TImageDrawParams TZelText::TextDrawParams() const {
  TImageDrawParams params = DrawParams();
  params.source = {};
  params.level = fRasterize ? Level() : 0;
  if (ColorsDiffer()) {
    params.tint = 1;
    params.tintColor = QuadOf(fColors[static_cast<size_t>(ClickLook())]);
  }
  return params;
}

TDrawPlane TZelText::TextPlane() const {
  const TImage* picture = Picture();
  const TFloatPoint corner = CornerOffset();
  // Picture pixels per own unit in each direction.
  double sx = fRenderScale, sy = fRenderScale;
  double left = 0, top = 0;
  if (fRasterize) {
    sx = picture && Size().width > 0 ? static_cast<double>(picture->Width()) / Size().width : 1;
    sy = picture && Size().height > 0 ? static_cast<double>(picture->Height()) / Size().height : 1;
  } else {
    // The producer leaves one pixel of margin and the left overhang before
    // the text's box.
    left = 1 + fLeftOverhang * fRenderScale;
    top = 1;
  }
  const float anchorX = static_cast<float>(left - corner.x * sx);
  const float anchorY = static_cast<float>(top - corner.y * sy);
  return {Origin(), XAxis() * (1 / sx), YAxis() * (1 / sy), {anchorX, anchorY}};
}

void TZelText::DrawSelf(TDeviceDrawer& drawer) {
  LoadPictureIfStale();
  TImage* picture = Picture();
  if (!picture || Size().width <= 0 || Size().height <= 0 || fRenderScale <= 0) return;
  TShadowSource shadow;
  shadow.pictureName = LoadedName();
  shadow.rect = {0, 0, static_cast<float>(picture->Width()), static_cast<float>(picture->Height())};
  shadow.level = fRasterize ? Level() : 0;
  const TDrawPlane plane = TextPlane();
  shadow.plane = plane;
  shadow.sizeFactor = FontSize() * fRenderScale / 400.0 * 1.1;
  shadow.basis = std::round(3 * FontSize());
  DrawShadow(drawer, shadow);
  drawer.DrawImage(*picture, plane.position, TextDrawParams(), plane.axisX, plane.axisY, plane.anchor);
}

}  // namespace zel
