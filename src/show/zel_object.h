// An object of a slide's tree: a picture, text, button, box, frame, mask,
// video clip or viewport, or the slide itself at the root. Children are
// placed relative to their parent; this class holds what every kind shares:
// the keys every object reads, placement in space, when the object is shown,
// hit testing and the largest size it is drawn at.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "draw/geometry.h"
#include "show/effect_params.h"
#include "show/zel_params.h"

namespace zel {

class TCommonIniSection;
class TIniIdentList;
class TZelSlide;
class TZelSlideHost;

enum class TFitMode : uint8_t { None = 0, PlaceInto = 1, Cover = 2 };
enum class TPlaceMode : uint8_t { Absolute = 0, Percent = 1 };

// The rows of a 3 x 3 matrix (row vectors: a point is a row times the matrix).
using TFrameMatrix = std::array<T3DVector, 3>;
TFrameMatrix MultiplyFrames(const TFrameMatrix& a, const TFrameMatrix& b) noexcept;
inline constexpr TFrameMatrix kIdentityFrame = {T3DVector{1, 0, 0}, T3DVector{0, 1, 0}, T3DVector{0, 0, 1}};

// A parent's frame as its children are placed in it: its origin, its frame
// matrix (before depth scaling) and its world axes.
struct TParentFrame {
  T3DVector origin;
  TFrameMatrix matrix = kIdentityFrame;
  T3DVector xAxis{1, 0, 0}, yAxis{0, 1, 0}, zAxis{0, 0, 1};
};

struct TObjectSize {
  int32_t width = 0, height = 0;
  bool operator==(const TObjectSize&) const = default;
};

// A ray from the viewer's camera into the scene.
struct TCameraRay {
  T3DVector origin;
  T3DVector direction;
};

// The shadow an object casts, as its keys say.
struct TShadowKeys {
  bool enabled = false;
  float distance = 1.5f;
  float angle = 45;  // degrees
  float size = 16;
  TRgbColor color;
  float opacity = 59;  // percent
  int32_t spreadIndex = 0;
  bool shadow3D = false;
};

// How a clickable button or text looks (its state number in the show).
enum class TClickLook : uint8_t { Normal = 0, Hover = 1, Pressed = 2 };

class TZelObject : public TZelParams {
 public:
  // The object registers with its parent, which owns it from then on.
  TZelObject(TZelObject* parent, TStringView guid);
  ~TZelObject() override;

  TZelObject* Parent() const noexcept { return fParent; }
  std::span<TZelObject* const> Children() const noexcept { return fChildren; }

  const TString& Name() const noexcept { return fName; }
  void SetName(TString name) { fName = std::move(name); }
  // The project's type name folded to lower case ("slide" for slides).
  const TString& TypeName() const noexcept { return fTypeName; }
  void SetTypeName(TString type) { fTypeName = std::move(type); }

  bool TransparentForClick() const noexcept { return fTranspForClick; }
  const TString& Action() const noexcept { return fAction; }
  const TShadowKeys& Shadow() const noexcept { return fShadow; }
  TFitMode FitMode() const noexcept { return fFitMode; }
  TPlaceMode PositionMode() const noexcept { return fPosMode; }
  TPlaceMode CenterMode() const noexcept { return fCenterMode; }
  double DeltaTime1() const noexcept { return fDeltaTime1; }
  double DeltaTime2() const noexcept { return fDeltaTime2; }
  bool HideFront() const noexcept { return fHideFront; }
  bool HideBack() const noexcept { return fHideBack; }
  bool ChildInvisible() const noexcept { return fChildInvisible; }
  bool TreeNode() const noexcept { return fTreeNode; }

  // The object's size in its own units, set by its kind.
  TObjectSize Size() const noexcept { return fSize; }
  // A new size also makes the largest drawn sizes be worked out again.
  void SetSize(TObjectSize size) noexcept {
    if (size == fSize) return;
    fSize = size;
    fSizesStale = true;
  }

  // --- Reading from the project -------------------------------------------
  // The name, the common keys, the children and key points, then the speed
  // texts.
  virtual void ReadFromProject(const TCommonIniSection& source);

  // --- Time and placement -------------------------------------------------
  virtual void SetTime(double t, bool withChildren);
  void UpdateTransform(bool withChildren) override;
  void SetTimeAndUpdate(double t) {
    SetTime(t, true);
    UpdateTransform(true);
  }
  // The current time lies in the object's window: "SlideBegin" +
  // "DeltaTime1" to "SlideEnd" - "DeltaTime2", both included.
  bool ShownInTime() const noexcept { return fShown; }
  // Not turned away from the viewer in a way its hide mode hides.
  bool VisibleByFacing() const noexcept { return fVisibleByFacing; }
  bool HiddenByParent() const noexcept { return fHidden; }
  // What the drawer asks: shown in time, visible by facing and not hidden.
  bool Drawable() const noexcept { return fShown && fVisibleByFacing && !fHidden; }
  // The frame, corner offset, opacity, colour or visibility moved at the
  // last update.
  bool TransformChanged() const noexcept { return fTransformChanged; }

  float EffectiveOpacity() const override;
  double AnchorTime(TKeyPointAnchor anchor) const override;

  const T3DVector& Origin() const noexcept { return fOrigin; }
  const T3DVector& XAxis() const noexcept { return fXAxis; }
  const T3DVector& YAxis() const noexcept { return fYAxis; }
  const T3DVector& ZAxis() const noexcept { return fZAxis; }
  const TFrameMatrix& FrameMatrix() const noexcept { return fMatrix; }
  double InverseDeterminant() const noexcept { return fInvDet; }
  // Where the top-left corner lies relative to the origin, in own units.
  TFloatPoint CornerOffset() const noexcept { return fCornerOffset; }
  // The effective scales (key-point scale times the fit factor).
  double EffectiveScaleX() const noexcept { return fScaleX; }
  double EffectiveScaleY() const noexcept { return fScaleY; }

  // Top-left, top-right, bottom-right, bottom-left in world space; each
  // moved outward by `inflate` along the normalised axes.
  std::array<T3DVector, 4> Corners(double inflate = 0) const;

  // --- Hit testing ----------------------------------------------------------
  using THitFilter = std::function<bool(const TZelObject&)>;
  // The topmost object under a screen point: children from the last to the
  // first, each before its parent; the slide itself is never hit.
  TZelObject* HitTest(float x, float y, const THitFilter& filter = {});
  // Whether the ray meets the object's rectangle (borders included).
  virtual bool HitTestRay(const TCameraRay& ray) const;

  // --- Clicks ----------------------------------------------------------------
  // Buttons and texts with an action look normal, hovered or pressed.
  TClickLook ClickLook() const noexcept { return fClickLook; }
  virtual void SetClickLook(TClickLook look) { fClickLook = look; }
  // The main button went down on this object and has not come up since.
  bool PressedMark() const noexcept { return fPressedMark; }
  void SetPressedMark(bool pressed) noexcept { fPressedMark = pressed; }

  // --- Largest drawn size -----------------------------------------------------
  float LargestDrawnWidth() const noexcept { return fDrawnWidth; }
  float LargestDrawnHeight() const noexcept { return fDrawnHeight; }
  double NearestDepth() const noexcept { return fNearestDepth; }

  // --- The tree -------------------------------------------------------------
  // The slide at the root of the tree (the slide itself for a slide).
  TZelSlide* Slide() const noexcept { return fSlide; }
  TZelSlideHost* Host() const;
  // The object was read again, or its key points or those of any object
  // below it changed, since the largest drawn sizes were last worked out.
  bool KeyPointsChanged() const;
  void ResetChangeTracking(bool recursive);

  // The kind's own drawing, then the children in project order.
  void Draw(TDeviceDrawer& drawer) override;
  // Before a slide is shown: its pictures onto the drawer, and anything
  // that must be ready at a show time (video objects position their
  // source). After it: its resources off the drawer. All recursive; a
  // plain object has nothing of its own.
  virtual void PreparePictures(TDeviceDrawer& drawer);
  virtual void Preload(double showTime);
  virtual void ReleaseResources(TDeviceDrawer& drawer);

 protected:
  // The kind's own drawing; a plain object draws nothing.
  virtual void DrawSelf(TDeviceDrawer& drawer) { (void)drawer; }
  // The size the object is fitted into, and the frame it is placed in.
  virtual TObjectSize ParentSize() const;
  virtual TParentFrame ParentFrame() const;
  // The slide's depth scale, applied to the third component of every axis.
  virtual double DepthScale() const;
  // The kind's own keys, read after the common ones.
  virtual void ReadKindKeys(const TIniIdentList& keys) { (void)keys; }
  void ReadCommonKeys(const TIniIdentList& keys);
  // Key points and child objects, children matched by GUID when re-read.
  void ReadChildren(const TIniIdentList& source);
  void ReadKeyPoint(const TIniIdentList& keys);

  // Text objects cast a shadow unless the project says otherwise.
  virtual bool ShadowEnabledByDefault() const { return false; }
  // How many parent units one own unit takes before the key-point scale:
  // the fit mode's factor; texts are sized by their parent's height instead.
  virtual double PlacementFactor(TObjectSize parentSize) const;
  // A button's caption follows its button's look: it lets clicks through
  // and casts no shadow of its own.
  void SetTransparentForClick(bool transparent) noexcept { fTranspForClick = transparent; }
  void SetShadowKeys(const TShadowKeys& shadow) noexcept { fShadow = shadow; }

  // Frees the children, last first. A slide does it in its own destructor,
  // while the objects can still reach it.
  void FreeChildren();

  bool fSizesStale = true;  // the largest-drawn-size pass must run again

 private:
  friend class TZelSlide;
  void RemoveChild(TZelObject* child);
  void Place(const TParentFrame& parent, TObjectSize parentSize, double depthScale);
  void UpdateVisibility(const T3DVector& eye);
  TZelObject* HitTestChildren(const TCameraRay& ray, const THitFilter& filter);
  bool HitEligible() const;

  TZelObject* fParent;
  // Kept from the parent at creation: every update of every object asks.
  TZelSlide* fSlide;
  std::vector<TZelObject*> fChildren;  // owned, in project order
  TString fName;
  TString fTypeName;
  bool fTranspForClick = false;
  TString fAction;
  TClickLook fClickLook = TClickLook::Normal;
  bool fPressedMark = false;
  TShadowKeys fShadow;
  double fSinA = 0, fCosA = 1, fSinX = 0, fCosX = 1, fSinY = 0, fCosY = 1;
  double fScaleX = 0, fScaleY = 0;
  bool fHideFront = false, fHideBack = false, fChildInvisible = false;
  bool fTreeNode = true;
  TFrameMatrix fMatrix = kIdentityFrame;
  T3DVector fOrigin, fXAxis{1, 0, 0}, fYAxis{0, 1, 0}, fZAxis{0, 0, 1};
  double fInvDet = 1;
  TObjectSize fSize;
  TFloatPoint fCornerOffset;
  double fDeltaTime1 = 0, fDeltaTime2 = 0;
  bool fShown = false, fHidden = false, fVisibleByFacing = true;
  bool fTransformChanged = true;
  bool fDrawFailureLogged = false;
  TFitMode fFitMode = TFitMode::PlaceInto;
  TPlaceMode fPosMode = TPlaceMode::Percent;
  TPlaceMode fCenterMode = TPlaceMode::Percent;
  // The largest-drawn-size pass.
  double fLargestWidth = 0, fLargestHeight = 0, fNearestDepth = 1000000;
  float fDrawnWidth = 0, fDrawnHeight = 0;
  // What the previous update produced, for the change marks.
 protected:
  struct TDrawnState {
    T3DVector origin, xAxis, yAxis, zAxis;
    TFloatPoint cornerOffset;
    float opacity = -1;
    TKeyPointColor color;
    float colorDegree = 0;
    bool drawable = false;
    bool operator==(const TDrawnState&) const = default;
  };

 private:
  TDrawnState fPrevious;
};

}  // namespace zel
