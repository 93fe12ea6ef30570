#include "show/picture_object.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/log.h"
#include "imaging/bitmap_store.h"
#include "ini/ini_document.h"
#include "show/key_point.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

const std::array<TString, 3> kFilteringNames = {u"Nearest", u"Bilinear", u"Default"};

// The most frame durations a picture object reads.
constexpr size_t kMaxIntervals = 4096;

std::vector<int32_t> ReadIntervals(const TIniIdentList& keys) {
  std::vector<int32_t> intervals(kMaxIntervals);
  int32_t count = keys.ReadIntegers(u"AnimInterval", intervals);
  // A bad item ends the list: the ones before it still count.
  if (count < 0) count = ~count;
  intervals.resize(std::min<size_t>(static_cast<size_t>(count), kMaxIntervals));
  if (intervals.empty()) intervals.push_back(100);
  return intervals;
}

// "100,50,..." as the picture decoder records an animated file's frames.
std::vector<int32_t> ParseDurations(const TString& text) {
  std::vector<int32_t> durations;
  int32_t value = 0;
  bool any = false;
  for (const char16_t c : text) {
    if (c >= u'0' && c <= u'9') {
      value = std::min(value * 10 + (c - u'0'), 100000000);
      any = true;
    } else if (c == u',') {
      if (any) durations.push_back(value);
      value = 0;
      any = false;
    }
  }
  if (any) durations.push_back(value);
  return durations;
}

TRgbQuadColor QuadColor(const TKeyPointColor& color) { return {color.blue, color.green, color.red, 0}; }

}  // namespace

TZelImage::TZelImage(TZelObject* parent, TStringView guid) : TZelObject(parent, guid) {}

TZelImage::~TZelImage() = default;

void TZelImage::ReadKindKeys(const TIniIdentList& keys) {
  fAntialiased = keys.ReadBool(u"Antialiased", AntialiasedByDefault());
  fFiltering = static_cast<TPictureFiltering>(keys.ReadIndexFolded(u"Filtering", kFilteringNames, 2));
  fMipLodBias = static_cast<float>(keys.ReadFloat(u"MipLodBias", 0));
  fEffectBuffer = keys.ReadInteger(u"ReplaceWithEffectBuffer", 0);
  fImageIndex = keys.ReadInteger(u"ImageIndex", kImageIndexNotSet);
  SetImageName(keys.ReadString(u"ImageName", u""));

  TBorderParams border;
  border.borderEnabled = keys.ReadBool(u"EnableBorder", false);
  border.cropEnabled = keys.ReadBool(u"EnableCrop", false);
  border.aspectEnabled = keys.ReadBool(u"EnableAspect", false);
  border.borderWidth = static_cast<float>(keys.ReadFloat(u"BorderWidth", 3.4));
  border.borderColor = keys.ReadColorAlpha(u"BorderColor", 0xFFFFFFFF);
  TIniFloatPoint cropPoint;
  const TIniRect crop = keys.ReadRect(u"CropRect", {}, cropPoint);
  border.cropRect[0] = crop.left;
  border.cropRect[1] = crop.top;
  border.cropRect[2] = crop.right;
  border.cropRect[3] = crop.bottom;
  border.cropPoint[0] = cropPoint.x;
  border.cropPoint[1] = cropPoint.y;
  TIniFloatPoint unused;
  const TIniRect aspect = keys.ReadRect(u"AspectParams", {}, unused);
  border.aspect[0] = aspect.left;
  border.aspect[1] = aspect.top;
  border.aspect[2] = aspect.right;
  border.aspect[3] = aspect.bottom;
  SetBorderParams(border);

  TImageAnimationParams animation;
  animation.columns = keys.ReadInteger(u"AnimColumns", 1);
  animation.rows = keys.ReadInteger(u"AnimRows", 1);
  animation.count = keys.ReadInteger(u"AnimCount", 0);
  animation.intervals = ReadIntervals(keys);
  animation.repeatCount = keys.ReadInteger(u"AnimRepCount", 0);
  animation.startOffset = static_cast<float>(keys.ReadFloat(u"AnimOffset", 0));
  SetAnimationKeys(animation);
}

void TZelImage::SetImageName(TString name) {
  if (name == fImageName && !fPictureStale) return;
  fImageName = std::move(name);
  fPictureStale = true;
}

void TZelImage::SetBorderParams(const TBorderParams& border) {
  fBorder = border;
  UpdateFraming();
}

void TZelImage::SetAnimationKeys(const TImageAnimationParams& animation) {
  fAnimationKeys = animation;
  ResolveAnimation();
  UpdateFraming();
}

void TZelImage::ResolveAnimation() {
  fAnimation = fAnimationKeys;
  if (!MayAnimate()) {
    fAnimation = {};
    return;
  }
  fAnimation.columns = std::max(1, fAnimation.columns);
  fAnimation.rows = std::max(1, fAnimation.rows);
  if (fAnimationKeys.count > 0) return;
  // No count of its own: one frame, unless the file carries its frames.
  fAnimation.count = 1;
  const TTilesTag* tag = fPicture ? fPicture->Store().FindAttached<TTilesTag>() : nullptr;
  if (!tag || tag->Columns < 1 || tag->Rows < 1) return;
  fAnimation.columns = tag->Columns;
  fAnimation.rows = tag->Rows;
  fAnimation.count = tag->Columns * tag->Rows;
  const std::vector<int32_t> durations = ParseDurations(tag->Durations);
  if (!durations.empty()) fAnimation.intervals = durations;
  fAnimation.repeatCount = tag->LoopCount;
}

void TZelImage::UpdateFraming() {
  // Without a picture the size stays as it was: nothing is drawn anyway.
  if (!fPicture) {
    fFraming = {};
    return;
  }
  fFraming = FramePicture(fPicture->Width(), fPicture->Height(), fBorder, fAnimation);
  if (SizeFromPicture()) SetSize({fFraming.width, fFraming.height});
}

void TZelImage::LoadPictureIfStale() {
  if (!fPictureStale) return;
  fPictureStale = false;
  TZelSlideHost* host = Host();
  if (!host) return;
  const TString name = fEffectBuffer != 0 ? TString(u"SlideEffectBuffer") + IntToStr(fEffectBuffer) : RequestName();
  if (name.empty()) {
    fPicture.reset();
    fLoadedName.clear();
  } else if (std::unique_ptr<TImage> picture = host->RequestPicture(name)) {
    // The old picture stays until this point: a name that gives nothing
    // keeps what was shown.
    fPicture = std::move(picture);
    fLoadedName = name;
  }
  ResolveAnimation();
  UpdateFraming();
}

void TZelImage::SetTime(double t, bool withChildren) {
  TZelObject::SetTime(t, withChildren);
  if (!fAnimation.Animated()) {
    fFrame = 0;
    return;
  }
  const double elapsed = t - AnchorTime(TKeyPointAnchor::SlideBegin) - fAnimation.startOffset;
  fFrame = AnimationFrameAt(fAnimation, elapsed);
}

void TZelImage::UpdateTransform(bool withChildren) {
  LoadPictureIfStale();
  TZelObject::UpdateTransform(withChildren);
  UpdateLevel();
}

void TZelImage::UpdateLevel() {
  if (!fPicture || fAnimation.Animated() || !UsesPictureLevels()) {
    fLevel = 0;
    return;
  }
  const float w = LargestDrawnWidth(), h = LargestDrawnHeight();
  if (w > 0 && h > 0) fLevel = PictureLevelFor(fPicture->Width(), fPicture->Height(), w, h);
}

TImageDrawParams TZelImage::DrawParams() const {
  TImageDrawParams params;
  const bool animated = fAnimation.Animated();
  params.antialiased = fAntialiased && !animated ? 1 : 0;
  params.premultiplied = 0;
  params.opacity = EffectiveOpacity();
  params.smooth = fFiltering == TPictureFiltering::Nearest ? 0 : 1;
  params.source = animated && fPicture ? AnimationFrameRect(fPicture->Width(), fPicture->Height(), fAnimation, fFrame)
                                       : fFraming.source;
  params.level = fLevel;
  params.mipBias = fMipLodBias;
  params.columns = fAnimation.columns;
  params.rows = fAnimation.rows;
  const TKeyPointColor& tint = Color();
  params.tint = tint == TKeyPointColor{} ? 0 : 1;
  params.tintColor = QuadColor(tint);
  params.colorCorrection = ColorDegree();
  return params;
}

TDrawPlane TZelImage::PicturePlane() const {
  const TFloatPoint corner = CornerOffset();
  TFloatPoint anchor;
  if (fAnimation.Animated() && fPicture) {
    const TFloatRect frame = AnimationFrameRect(fPicture->Width(), fPicture->Height(), fAnimation, fFrame);
    anchor = {frame.left - corner.x, frame.top - corner.y};
  } else {
    anchor = {fFraming.source.left - corner.x - fFraming.border, fFraming.source.top - corner.y - fFraming.border};
  }
  return {Origin(), XAxis(), YAxis(), anchor};
}

void TZelImage::DrawShadow(TDeviceDrawer& drawer, const TShadowSource& source) {
  if (!Shadow().enabled) return;
  if (!fShadowPicture) fShadowPicture = std::make_unique<TObjectShadow>();
  fShadowPicture->Draw(drawer, *this, source, EffectiveOpacity());
}

TShadowSource TZelImage::PictureShadowSource() const {
  TShadowSource source;
  source.pictureName = fLoadedName;
  source.rect = DrawParams().source;
  if (source.rect.Empty() && fPicture)
    source.rect = {0, 0, static_cast<float>(fPicture->Width()), static_cast<float>(fPicture->Height())};
  source.level = fLevel;
  source.plane = PicturePlane();
  const double scale = std::ldexp(1.0, -fLevel);
  const double w = (source.rect.right - source.rect.left) * scale, h = (source.rect.bottom - source.rect.top) * scale;
  source.sizeFactor = std::sqrt(std::max(0.0, w * h)) / 400.0;
  source.basis = std::sqrt(std::max(0.0, static_cast<double>(Size().width) * Size().height));
  return source;
}

void TZelImage::DrawSelf(TDeviceDrawer& drawer) {
  LoadPictureIfStale();
  if (!fPicture || Size().width <= 0 || Size().height <= 0) return;
  DrawShadow(drawer, PictureShadowSource());
  const float opacity = EffectiveOpacity();
  const float border = fFraming.border;
  if (fBorder.borderEnabled && !fAnimation.Animated() && border > 0) {
    const TFloatPoint corner = CornerOffset();
    const TDrawPlane plane{Origin(), XAxis(), YAxis(), {-corner.x, -corner.y}};
    drawer.DrawBorder(plane, fAntialiased, opacity, fBorder.borderColor,
                      {static_cast<float>(Size().width), static_cast<float>(Size().height)},
                      {border, border, border, border});
  }
  const TDrawPlane plane = PicturePlane();
  drawer.DrawImage(*fPicture, plane.position, DrawParams(), plane.axisX, plane.axisY, plane.anchor);
}

void TZelImage::PreparePictures(TDeviceDrawer& drawer) {
  LoadPictureIfStale();
  if (fPicture) drawer.PrepareImage(*fPicture, DrawParams());
  TZelObject::PreparePictures(drawer);
}

void TZelImage::ReleaseResources(TDeviceDrawer& drawer) {
  if (fPicture) drawer.ReleaseImage(*fPicture);
  if (fShadowPicture) fShadowPicture->Release(drawer);
  TZelObject::ReleaseResources(drawer);
}

// --- Masks -----------------------------------------------------------------

void TZelMask::ReadKindKeys(const TIniIdentList& keys) {
  TZelImage::ReadKindKeys(keys);
  SetAntialiased(false);
}

TString TZelMask::RequestName() const {
  return ImageName().empty() ? TString() : TString(u"Mask: ") + ImageName();
}

bool TZelMask::MaskLayer(float opacity, TMaskLayer& layer) const {
  if (!Picture() || Size().width <= 0 || Size().height <= 0) return false;
  layer = {};
  layer.picture = Picture();
  layer.imageParams = DrawParams();
  layer.imageParams.opacity = opacity;
  layer.plane = PicturePlane();
  return true;
}

}  // namespace zel
