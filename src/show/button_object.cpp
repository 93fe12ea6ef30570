#include "show/button_object.h"

#include <algorithm>
#include <cmath>

#include "imaging/bitmap_store.h"
#include "imaging/button_producer.h"
#include "ini/ini_document.h"
#include "show/key_point.h"
#include "show/text_object.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

// The widest face the render device takes as one texture row.
constexpr int32_t kMaxFaceWidth = 16384;

constexpr std::array<TClickLook, 3> kLooks = {TClickLook::Normal, TClickLook::Hover, TClickLook::Pressed};

int32_t RoundToInt(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int32_t>(std::clamp(std::round(value), -2147483647.0, 2147483647.0));
}

}  // namespace

int32_t ButtonFaceWidth(int32_t faceHeight, double minWidth, double captionOffset, double captionAspect,
                        double captionScaleX) {
  const double h = faceHeight;
  const double c = 100 - captionScaleX;
  const int32_t byMinimum = RoundToInt(h * minWidth / 100);
  const int32_t byCaption = RoundToInt((h - RoundToInt(c * h / 100)) * captionAspect + h * captionOffset / 100);
  const int32_t width = std::max(faceHeight, std::max(byMinimum, byCaption));
  return std::clamp(width, 1, kMaxFaceWidth);
}

TZelButton::TZelButton(TZelObject* parent, TStringView guid) : TZelImage(parent, guid) {}

TZelButton::~TZelButton() = default;

void TZelButton::ReadKindKeys(const TIniIdentList& keys) {
  TZelImage::ReadKindKeys(keys);
  fTheme = keys.ReadString(u"Theme", u"");
  fButtonOpacity = static_cast<float>(keys.ReadFloat(u"BtnOpacity", 100));
  fCaptionOpacity = static_cast<float>(keys.ReadFloat(u"TxtOpacity", 100));
  fHue = keys.ReadInteger(u"Hue", 0);
  fSaturation = keys.ReadInteger(u"Saturation", 0);
  fLightness = keys.ReadInteger(u"Lightness", 0);
  fMinWidth = keys.ReadFloat(u"BtnMinWidth", -1);
  fCaptionOffset = keys.ReadFloat(u"BtnOffsetX", 100);
  fRequestedWidth = -1;  // the faces' names may have changed
}

void TZelButton::ReadFromProject(const TCommonIniSection& source) {
  TZelImage::ReadFromProject(source);
  AttachCaption();
}

TButtonProducer* TZelButton::Producer() const {
  TZelSlideHost* host = Host();
  return host ? host->ButtonProducer(fTheme) : nullptr;
}

void TZelButton::AttachCaption() {
  const auto children = Children();
  fCaption = children.empty() ? nullptr : dynamic_cast<TZelText*>(children.front());
  if (!fCaption) return;
  const TButtonProducer* producer = Producer();
  fCaption->SetCaptionOf(this, producer ? std::optional<uint32_t>(producer->CaptionColor() & 0xFFFFFFu) : std::nullopt);
}

void TZelButton::UpdateFaces() {
  const TButtonProducer* producer = Producer();
  const int32_t height = producer && producer->FaceHeight() > 0 ? producer->FaceHeight() : kFacelessButtonHeight;
  double aspect = 0, scaleX = 100;
  if (fCaption) {
    fCaption->BuildText();
    const TTextSize size = fCaption->TextSize();
    if (size.height > 0) aspect = size.width / size.height;
    const TKeyPoints& points = fCaption->KeyPoints();
    scaleX = points.Count() > 0 ? points.KeyPoint(0).Values().ScaleX() : points.Current().ScaleX();
  }
  const double minWidth = fMinWidth >= 0 || !producer ? std::max(fMinWidth, 0.0) : producer->MinWidth();
  const int32_t width = ButtonFaceWidth(height, minWidth, fCaptionOffset, aspect, scaleX);
  SetSize({width, height});
  // Every update of the slide passes here: the faces are asked for again
  // only when the theme or the width changed, also after a request that
  // gave nothing.
  if (producer == fRequestedProducer && width == fRequestedWidth) return;
  fRequestedProducer = producer;
  fRequestedWidth = width;
  RequestFaces(producer != nullptr, width);
}

void TZelButton::RequestFaces(bool haveTheme, int32_t width) {
  TZelSlideHost* host = Host();
  for (const TClickLook look : kLooks) {
    const size_t i = static_cast<size_t>(look);
    TString name;
    if (haveTheme) {
      TButtonFaceRequest request;
      request.Theme = fTheme;
      request.State = static_cast<int32_t>(look);
      request.Width = width;
      request.Hue = fHue;
      request.Saturation = fSaturation;
      request.Lightness = fLightness;
      name = BuildButtonFaceName(request);
    }
    if (name == fFaceNames[i] && fFaces[i]) continue;
    fFaceNames[i] = std::move(name);
    fFaces[i] = host && !fFaceNames[i].empty() ? host->RequestPicture(fFaceNames[i]) : nullptr;
  }
}

void TZelButton::UpdateTransform(bool withChildren) {
  UpdateFaces();
  TZelImage::UpdateTransform(withChildren);
}

void TZelButton::SetClickLook(TClickLook look) {
  TZelImage::SetClickLook(look);
  if (fCaption) fCaption->SetClickLook(look);
}

TImageDrawParams TZelButton::FaceDrawParams(const TImage& face) const {
  TImageDrawParams params = DrawParams();
  params.source = {0, 0, static_cast<float>(face.Width()), static_cast<float>(face.Height())};
  params.level = 0;
  params.columns = params.rows = 1;
  params.opacity = EffectiveOpacity() * fButtonOpacity / 100.0f;
  const TButtonProducer* producer = Producer();
  if (producer) params.smooth = producer->Filtering() == TButtonFiltering::Nearest ? 0 : 1;
  return params;
}

void TZelButton::DrawSelf(TDeviceDrawer& drawer) {
  TImage* face = Face(ClickLook());
  // The other looks are kept on the device, so that hovering and pressing
  // show their faces at once.
  for (const TClickLook look : kLooks)
    if (TImage* other = Face(look); other && other != face) drawer.PrepareImage(*other, FaceDrawParams(*other));
  if (!face || Size().width <= 0 || Size().height <= 0) return;
  const TFloatPoint corner = CornerOffset();
  const TDrawPlane plane{Origin(), XAxis(), YAxis(), {-corner.x, -corner.y}};
  TShadowSource shadow;
  shadow.pictureName = FaceName(ClickLook());
  shadow.rect = {0, 0, static_cast<float>(face->Width()), static_cast<float>(face->Height())};
  shadow.plane = plane;
  shadow.sizeFactor = Size().height / 400.0 * 1.1;
  shadow.basis = 3.0 * Size().height;
  DrawShadow(drawer, shadow);
  drawer.DrawImage(*face, plane.position, FaceDrawParams(*face), plane.axisX, plane.axisY, plane.anchor);
}

void TZelButton::PreparePictures(TDeviceDrawer& drawer) {
  UpdateFaces();
  for (const TClickLook look : kLooks)
    if (TImage* face = Face(look)) drawer.PrepareImage(*face, FaceDrawParams(*face));
  TZelImage::PreparePictures(drawer);
}

void TZelButton::ReleaseResources(TDeviceDrawer& drawer) {
  for (const TClickLook look : kLooks)
    if (TImage* face = Face(look)) drawer.ReleaseImage(*face);
  TZelImage::ReleaseResources(drawer);
}

}  // namespace zel
