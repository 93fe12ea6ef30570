#include "show/zel_object.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "core/log.h"
#include "draw/device_drawer.h"
#include "ini/ini_document.h"
#include "show/object_kinds.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;

const std::array<TString, 3> kFitModeNames = {u"None", u"PlaceInto", u"Cover"};
const std::array<TString, 2> kPlaceModeNames = {u"Absolute", u"Percent"};

TRgbColor ColorFromIni(uint32_t rgb) {
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)};
}

// The fit factor of an object of size w x h in a parent of pw x ph.
double FitFactor(TFitMode mode, TObjectSize parent, TObjectSize own) {
  if (own.width <= 0 || own.height <= 0 || parent.width <= 0 || parent.height <= 0) return 0;
  const double rw = static_cast<double>(parent.width) / own.width;
  const double rh = static_cast<double>(parent.height) / own.height;
  switch (mode) {
    case TFitMode::PlaceInto:
      return std::min(rw, rh);
    case TFitMode::Cover:
      return 1.0 / std::min(static_cast<double>(own.width) / parent.width,
                            static_cast<double>(own.height) / parent.height);
    case TFitMode::None:
      break;
  }
  // Not fitted: one own unit is one parent unit.
  return 1;
}

double Determinant(const T3DVector& x, const T3DVector& y, const T3DVector& z) noexcept { return Dot(x, Cross(y, z)); }

}  // namespace

TFrameMatrix MultiplyFrames(const TFrameMatrix& a, const TFrameMatrix& b) noexcept {
  TFrameMatrix result;
  for (size_t i = 0; i < 3; ++i) result[i] = b[0] * a[i].x + b[1] * a[i].y + b[2] * a[i].z;
  return result;
}

TZelObject::TZelObject(TZelObject* parent, TStringView guid)
    : TZelParams(guid), fParent(parent), fSlide(parent ? parent->fSlide : nullptr) {
  if (fParent) fParent->fChildren.push_back(this);
}

TZelObject::~TZelObject() {
  FreeChildren();
  if (fParent) fParent->RemoveChild(this);
}

void TZelObject::RemoveChild(TZelObject* child) {
  const auto it = std::find(fChildren.begin(), fChildren.end(), child);
  if (it != fChildren.end()) fChildren.erase(it);
}

TZelSlideHost* TZelObject::Host() const { return fSlide ? fSlide->SlideHost() : nullptr; }

double TZelObject::AnchorTime(TKeyPointAnchor anchor) const {
  return fSlide ? fSlide->Anchors().AnchorTime(anchor) : 0;
}

float TZelObject::EffectiveOpacity() const {
  const TZelSlide* slide = Slide();
  const float base = slide ? slide->BaseOpacity() : 100.0f;
  return base * Opacity() / 100.0f;
}

// --- Reading -----------------------------------------------------------------

void TZelObject::ReadFromProject(const TCommonIniSection& source) {
  fName = source.Name();
  ReadCommonKeys(source);
  ReadKindKeys(source);
  ReadChildren(source);
  KeyPoints().ReadSpeedTexts(source);
  fSizesStale = true;
}

void TZelObject::ReadCommonKeys(const TIniIdentList& keys) {
  fFitMode = static_cast<TFitMode>(keys.ReadIndexFolded(u"FitMode", kFitModeNames, static_cast<int32_t>(TFitMode::PlaceInto)));
  fPosMode = static_cast<TPlaceMode>(keys.ReadIndexFolded(u"PosMode", kPlaceModeNames, 1));
  fCenterMode = static_cast<TPlaceMode>(keys.ReadIndexFolded(u"CenterMode", kPlaceModeNames, 1));
  fDeltaTime1 = keys.ReadFloat(u"DeltaTime1", 0);
  fDeltaTime2 = keys.ReadFloat(u"DeltaTime2", 0);
  fTranspForClick = keys.ReadBool(u"TranspForClick", false);
  KeyPoints().SetPerspectiveCorrection(keys.ReadBool(u"PerspectiveCorrection", false));
  fShadow.enabled = keys.ReadBool(u"ShadowEnable", ShadowEnabledByDefault());
  fShadow.size = static_cast<float>(keys.ReadFloat(u"ShadowSize", 16));
  fShadow.color = ColorFromIni(keys.ReadColor(u"ShadowColor", 0));
  fShadow.opacity = static_cast<float>(keys.ReadFloat(u"ShadowOpacity", 59));
  fShadow.distance = static_cast<float>(keys.ReadFloat(u"ShadowDistance", 1.5));
  fShadow.angle = static_cast<float>(keys.ReadFloat(u"ShadowAngle", 45));
  fShadow.spreadIndex = keys.ReadInteger(u"ShadowSpreadIndex", 0);
  fShadow.shadow3D = keys.ReadBool(u"3DShadow", false);
  const int32_t hideMode = keys.ReadInteger(u"HideMode", 0);
  fHideFront = (hideMode & 1) != 0;
  fHideBack = hideMode >= 2;
  fChildInvisible = keys.ReadBool(u"ChildInvis", false);
  fAction = keys.ReadString(u"Action", u"");
  fTreeNode = keys.ReadBool(u"TreeNode", true);
}

void TZelObject::ReadKeyPoint(const TIniIdentList& keys) {
  TKeyPoints& points = KeyPoints();
  const double time = keys.ReadFloat(u"Time", 0);
  const auto anchor = KeyPointAnchorFromName(keys.ReadString(u"Origin", u"SlideBegin")).value_or(TKeyPointAnchor::SlideBegin);
  TKeyPointValues values;
  const auto set = [&](TKeyValue which, TStringView key, double defaultValue, double factor = 1) {
    values.Set(which, static_cast<float>(keys.ReadFloat(key, defaultValue) * factor));
  };
  set(TKeyValue::Opacity, u"Opacity", 100);
  set(TKeyValue::Angle, u"Angle", 0, kDegreesToRadians);
  set(TKeyValue::ScaleX, u"ScaleX", 100);
  set(TKeyValue::ScaleY, u"ScaleY", 100);
  const TIniFloatPoint position = keys.ReadFloatPoint(u"Position", {0, 0});
  values.Set(TKeyValue::PositionX, position.x);
  values.Set(TKeyValue::PositionY, position.y);
  const TIniFloatPoint centre = keys.ReadFloatPoint(u"CenterPos", {0, 0});
  values.Set(TKeyValue::CenterX, centre.x);
  values.Set(TKeyValue::CenterY, centre.y);
  set(TKeyValue::AngleX, u"AngleX", 0, kDegreesToRadians);
  set(TKeyValue::AngleY, u"AngleY", 0, kDegreesToRadians);
  set(TKeyValue::Depth, u"ZPos", 0);
  set(TKeyValue::Blur, u"Blur", 0);
  set(TKeyValue::ColorDegree, u"ColorDegree", 0);
  const TRgbColor color = ColorFromIni(keys.ReadColor(u"Color", 0xFFFFFF));
  values.SetColor({color.red, color.green, color.blue});
  points.SetCurrentValues(values);
  points.AddKeyPoint(anchor, time);
}

void TZelObject::ReadChildren(const TIniIdentList& source) {
  KeyPoints().Clear();
  // Children met again (same GUID, same kind) are kept and re-read; the
  // others go at the end.
  std::unordered_multimap<TString, TZelObject*> previous;
  for (TZelObject* child : fChildren) previous.emplace(child->Guid(), child);
  const std::vector<TZelObject*> before = fChildren;
  std::vector<TZelObject*> ordered;
  ordered.reserve(fChildren.size());

  for (const TIniObject* object = source.FirstObject(); object; object = source.NextObject(object)) {
    const TString type = IniFold(object->Type());
    if (type == u"keypoint") {
      ReadKeyPoint(*object);
      continue;
    }
    // A type this player does not know is left out with its subtree.
    if (!IsZelObjectType(type)) continue;
    const TString guid = object->ReadString(u"GUID", u"");
    TZelObject* child = nullptr;
    if (!guid.empty()) {
      const auto [first, last] = previous.equal_range(guid);
      for (auto it = first; it != last; ++it) {
        if (SameZelObjectClass(it->second->fTypeName, type)) {
          child = it->second;
          previous.erase(it);
          break;
        }
      }
    }
    if (!child) child = CreateZelObject(type, this, guid);
    child->fTypeName = type;
    ordered.push_back(child);
    child->ReadFromProject(*object);
  }

  // New children registered at the end; the project's order is the one
  // kept, and every earlier child not met again is freed.
  for (TZelObject* old : before)
    if (std::find(ordered.begin(), ordered.end(), old) == ordered.end()) delete old;
  fChildren = std::move(ordered);
}

// --- Time and placement ---------------------------------------------------

void TZelObject::SetTime(double t, bool withChildren) {
  TKeyPoints& points = KeyPoints();
  points.SetTime(t);
  // "SlideBegin" and "SlideEnd" of the slide.
  const double begin = fSlide ? fSlide->Start() : 0;
  const double end = fSlide ? fSlide->End() + fSlide->OutEffect() : 0;
  fShown = begin + fDeltaTime1 <= t && t <= end - fDeltaTime2;
  if (withChildren)
    for (TZelObject* child : fChildren) child->SetTime(t, true);
}

double TZelObject::PlacementFactor(TObjectSize parentSize) const { return FitFactor(fFitMode, parentSize, fSize); }

TObjectSize TZelObject::ParentSize() const { return fParent ? fParent->fSize : fSize; }

TParentFrame TZelObject::ParentFrame() const {
  if (!fParent) return {};
  return {fParent->fOrigin, fParent->fMatrix, fParent->fXAxis, fParent->fYAxis, fParent->fZAxis};
}

double TZelObject::DepthScale() const {
  const TZelSlide* slide = Slide();
  return slide ? slide->DepthScale() : 1.0;
}

void TZelObject::Place(const TParentFrame& parent, TObjectSize parentSize, double depthScale) {
  const TKeyPointValues& v = Values();
  const double k = PlacementFactor(parentSize);
  fScaleX = v.ScaleX() * k / 100.0;
  fScaleY = v.ScaleY() * k / 100.0;

  const double a = v.Angle(), ax = v.AngleX(), ay = v.AngleY();
  fSinA = std::sin(a);
  fCosA = std::cos(a);
  fSinX = std::sin(ax);
  fCosX = std::cos(ax);
  fSinY = std::sin(ay);
  fCosY = std::cos(ay);
  const double sa = fSinA, ca = fCosA, sx = fSinX, cx = fCosX, sy = fSinY, cy = fCosY;
  const double SX = fScaleX, SY = fScaleY;
  const TFrameMatrix own = {
      T3DVector{SX * cy * ca, SX * cy * sa, SX * sy},
      T3DVector{SY * (sx * sy * ca - cx * sa), SY * (sx * sy * sa + cx * ca), -SY * sx * cy},
      T3DVector{-SY * (cx * sy * ca + sx * sa), SY * (-cx * sy * sa + sx * ca), SY * cx * cy},
  };
  fMatrix = MultiplyFrames(own, parent.matrix);
  fXAxis = {fMatrix[0].x, fMatrix[0].y, fMatrix[0].z * depthScale};
  fYAxis = {fMatrix[1].x, fMatrix[1].y, fMatrix[1].z * depthScale};
  fZAxis = {fMatrix[2].x, fMatrix[2].y, fMatrix[2].z * depthScale};

  const double pw = parentSize.width, ph = parentSize.height;
  double px = v.PositionX(), py = v.PositionY();
  if (fPosMode == TPlaceMode::Percent) {
    px *= pw * 0.005;
    py *= ph * 0.005;
  }
  const double pz = v.Depth() * ph / 200.0;
  fOrigin = parent.origin + parent.xAxis * px + parent.yAxis * py + parent.zAxis * pz;

  const double w = fSize.width, h = fSize.height;
  if (fCenterMode == TPlaceMode::Percent) {
    fCornerOffset = {static_cast<float>(-v.CenterX() * w * 0.005 - w * 0.5),
                     static_cast<float>(-v.CenterY() * h * 0.005 - h * 0.5)};
  } else {
    // The centre in own units, from the middle of the object.
    fCornerOffset = {static_cast<float>(-v.CenterX() - w * 0.5), static_cast<float>(-v.CenterY() - h * 0.5)};
  }

  const double det = Determinant(fXAxis, fYAxis, fZAxis);
  fInvDet = det != 0 ? 1.0 / det : 0;
}

void TZelObject::UpdateVisibility(const T3DVector& eye) {
  // Rows grow to the right and downwards in a space whose depth points away
  // from the viewer, so y x x is the normal on the side an unturned object
  // shows the viewer.
  const T3DVector normal = Cross(fYAxis, fXAxis);
  const bool front = Dot(normal, eye - fOrigin) >= 0;
  fVisibleByFacing = front ? !fHideFront : !fHideBack;
  fHidden = fParent && (fParent->fHidden || (fParent->fChildInvisible && !fParent->fVisibleByFacing));
}

void TZelObject::UpdateTransform(bool withChildren) {
  Place(ParentFrame(), ParentSize(), DepthScale());
  const TZelSlideHost* host = Host();
  UpdateVisibility(host ? host->EyePosition() : T3DVector{0, 0, -1});

  const TKeyPointValues& v = Values();
  const TDrawnState now{fOrigin, fXAxis, fYAxis, fZAxis, fCornerOffset, v.Opacity(), v.Color(), v.ColorDegree(),
                        Drawable()};
  fTransformChanged = !(now == fPrevious);
  if (fTransformChanged) {
    fPrevious = now;
    SetLayoutChanged(true);
  }
  if (withChildren)
    for (TZelObject* child : fChildren) child->UpdateTransform(true);
}

std::array<T3DVector, 4> TZelObject::Corners(double inflate) const {
  const double left = fCornerOffset.x, top = fCornerOffset.y;
  const double right = left + fSize.width, bottom = top + fSize.height;
  std::array<T3DVector, 4> corners = {
      fOrigin + fXAxis * left + fYAxis * top,
      fOrigin + fXAxis * right + fYAxis * top,
      fOrigin + fXAxis * right + fYAxis * bottom,
      fOrigin + fXAxis * left + fYAxis * bottom,
  };
  if (inflate != 0) {
    const T3DVector dx = Normalized(fXAxis) * inflate, dy = Normalized(fYAxis) * inflate;
    corners[0] += dx * -1 + dy * -1;
    corners[1] += dx + dy * -1;
    corners[2] += dx + dy;
    corners[3] += dx * -1 + dy;
  }
  return corners;
}

// --- Hit testing ------------------------------------------------------------

bool TZelObject::HitEligible() const {
  if (fInvDet != 0) return true;
  const TZelSlideHost* host = Host();
  return host && host->HitFilter() && host->HitFilter()(*this);
}

bool TZelObject::HitTestRay(const TCameraRay& ray) const {
  double invDet = fInvDet;
  if (invDet == 0) {
    // A flat frame: the host's filter let it through; measure it against
    // the drawn slide instead.
    const TZelSlide* slide = Slide();
    const double area = slide ? slide->Size().width * slide->ScaleX() / 100.0 * slide->Size().height * slide->ScaleY() / 100.0 : 0;
    invDet = area > 0 ? 1000000.0 / area : 0;
  }
  // Local coordinates of a world vector d: d times the inverse frame, the
  // inverse built from the adjugate (its columns are cross products).
  const T3DVector cu = Cross(fYAxis, fZAxis), cv = Cross(fZAxis, fXAxis), cw = Cross(fXAxis, fYAxis);
  const auto local = [&](const T3DVector& d) {
    return T3DVector{Dot(d, cu) * invDet, Dot(d, cv) * invDet, Dot(d, cw) * invDet};
  };
  const T3DVector start = local(ray.origin - fOrigin);
  const T3DVector step = local(ray.direction);
  if (step.z == 0) return false;
  // Only what lies ahead of the camera is under the point.
  const double t = -start.z / step.z;
  if (t < 0) return false;
  const double u = start.x + t * step.x, v = start.y + t * step.y;
  const double left = fCornerOffset.x, top = fCornerOffset.y;
  return u >= left && u <= left + fSize.width && v >= top && v <= top + fSize.height;
}

TZelObject* TZelObject::HitTestChildren(const TCameraRay& ray, const THitFilter& filter) {
  for (auto it = fChildren.rbegin(); it != fChildren.rend(); ++it) {
    TZelObject* child = *it;
    if (TZelObject* inner = child->HitTestChildren(ray, filter)) return inner;
    if (child->HitEligible() && child->HitTestRay(ray) && (!filter || filter(*child))) return child;
  }
  return nullptr;
}

TZelObject* TZelObject::HitTest(float x, float y, const THitFilter& filter) {
  const TZelSlideHost* host = Host();
  const TCameraRay ray = host ? host->RayThrough(x, y) : TCameraRay{{x, y, -1}, {0, 0, 1}};
  return HitTestChildren(ray, filter);
}

// --- Change tracking and drawing ------------------------------------------

bool TZelObject::KeyPointsChanged() const {
  if (fSizesStale || KeyPoints().KeyPointsChanged()) return true;
  return std::any_of(fChildren.begin(), fChildren.end(), [](const TZelObject* c) { return c->KeyPointsChanged(); });
}

void TZelObject::ResetChangeTracking(bool recursive) {
  SetContentChanged(false);
  SetLayoutChanged(false);
  KeyPoints().ResetChangeMarks();
  if (recursive)
    for (TZelObject* child : fChildren) child->ResetChangeTracking(true);
}

void TZelObject::Draw(TDeviceDrawer& drawer) {
  if (Drawable()) {
    try {
      DrawSelf(drawer);
    } catch (const std::exception& e) {
      // One object that fails to draw must not take the frame with it; it
      // says so once, not every frame.
      if (!fDrawFailureLogged) {
        fDrawFailureLogged = true;
        Log().Write("object " + StringToUtf8(fName) + " not drawn: " + e.what());
      }
    }
  }
  ResetChangeTracking(false);
  for (TZelObject* child : fChildren) drawer.Draw(*child);
}

void TZelObject::PreparePictures(TDeviceDrawer& drawer) {
  for (TZelObject* child : fChildren) child->PreparePictures(drawer);
}

void TZelObject::FreeChildren() {
  // Each child leaves the list as it goes.
  while (!fChildren.empty()) delete fChildren.back();
}

void TZelObject::Preload(double showTime) {
  for (TZelObject* child : fChildren) child->Preload(showTime);
}

void TZelObject::ReleaseResources(TDeviceDrawer& drawer) {
  for (TZelObject* child : fChildren) child->ReleaseResources(drawer);
}

}  // namespace zel
