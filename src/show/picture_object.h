// Picture objects: a picture with optional border, crop, aspect framing and
// frame-by-frame animation, drawn at the resolution its largest drawn size
// needs; and masks, pictures used as an 8-bit alpha mask by a viewport.
#pragma once

#include <cstdint>
#include <memory>

#include "draw/device_drawer.h"
#include "show/object_shadow.h"
#include "show/picture_framing.h"
#include "show/zel_object.h"

namespace zel {

class TImage;

enum class TPictureFiltering : uint8_t { Nearest = 0, Bilinear = 1, Default = 2 };

inline constexpr int32_t kImageIndexNotSet = -2147483647;

class TZelImage : public TZelObject {
 public:
  TZelImage(TZelObject* parent, TStringView guid);
  ~TZelImage() override;

  bool Antialiased() const noexcept { return fAntialiased; }
  TPictureFiltering Filtering() const noexcept { return fFiltering; }
  float MipLodBias() const noexcept { return fMipLodBias; }
  const TString& ImageName() const noexcept { return fImageName; }
  // A new name is asked for at the next update; the old picture stays
  // until the new one has loaded.
  void SetImageName(TString name);
  int32_t EffectBufferNumber() const noexcept { return fEffectBuffer; }
  int32_t ImageIndex() const noexcept { return fImageIndex; }
  const TBorderParams& BorderParams() const noexcept { return fBorder; }
  void SetBorderParams(const TBorderParams& border);
  // As read; "AnimCount" 0 is resolved against the picture file when the
  // picture arrives (see Animation).
  const TImageAnimationParams& AnimationKeys() const noexcept { return fAnimationKeys; }
  void SetAnimationKeys(const TImageAnimationParams& animation);
  // The animation in force: the keys, or the picture file's own frames.
  const TImageAnimationParams& Animation() const noexcept { return fAnimation; }

  // The loaded picture (none before the first update, or when the name
  // gives none).
  TImage* Picture() const noexcept { return fPicture.get(); }
  // The name the loaded picture was asked for under.
  const TString& LoadedName() const noexcept { return fLoadedName; }
  const TPictureFraming& Framing() const noexcept { return fFraming; }
  int32_t Level() const noexcept { return fLevel; }
  int32_t CurrentFrame() const noexcept { return fFrame; }

  void SetTime(double t, bool withChildren) override;
  void UpdateTransform(bool withChildren) override;
  void PreparePictures(TDeviceDrawer& drawer) override;
  void ReleaseResources(TDeviceDrawer& drawer) override;

  // The drawer's parameters for the picture as it stands now.
  TImageDrawParams DrawParams() const;
  // The picture's plane: the world origin and axes, anchored so that the
  // shown part lands at the object's rectangle.
  TDrawPlane PicturePlane() const;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;
  void DrawSelf(TDeviceDrawer& drawer) override;
  // The name the picture is asked for under.
  virtual TString RequestName() const { return fImageName; }
  // Masks are never soft-edged nor animated.
  virtual bool MayAnimate() const { return true; }
  virtual bool AntialiasedByDefault() const { return true; }
  // Whether the picture's framed size is the object's size (texts and
  // buttons have sizes of their own).
  virtual bool SizeFromPicture() const { return true; }
  // Whether the picture is drawn from a reduced copy when shown small
  // (texts are rendered at the size they are shown at instead).
  virtual bool UsesPictureLevels() const { return true; }
  void SetAntialiased(bool antialiased) noexcept { fAntialiased = antialiased; }
  // The name is asked for again at the next update or drawing.
  void RequestPictureAgain() noexcept { fPictureStale = true; }
  void LoadPictureIfStale();
  // The shadow, drawn before the object when its keys ask for one.
  void DrawShadow(TDeviceDrawer& drawer, const TShadowSource& source);
  // A picture's shadow: the shown part of the picture at its level.
  TShadowSource PictureShadowSource() const;

 private:
  void ResolveAnimation();
  void UpdateFraming();
  void UpdateLevel();

  bool fAntialiased = true;
  TPictureFiltering fFiltering = TPictureFiltering::Default;
  float fMipLodBias = 0;
  TString fImageName;
  int32_t fEffectBuffer = 0;
  TBorderParams fBorder;
  TImageAnimationParams fAnimationKeys;
  TImageAnimationParams fAnimation;
  int32_t fImageIndex = kImageIndexNotSet;

  std::unique_ptr<TImage> fPicture;
  TString fLoadedName;
  bool fPictureStale = true;
  TPictureFraming fFraming;
  int32_t fLevel = 0;
  int32_t fFrame = 0;
  std::unique_ptr<TObjectShadow> fShadowPicture;
};

// A picture used as an alpha mask by the viewport it belongs to; it draws
// nothing by itself.
class TZelMask : public TZelImage {
 public:
  using TZelImage::TZelImage;

  // The viewport's mask layer, or false when there is no picture to mask
  // with. opacity is the layer's, percent.
  bool MaskLayer(float opacity, TMaskLayer& layer) const;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;
  void DrawSelf(TDeviceDrawer& drawer) override { (void)drawer; }
  TString RequestName() const override;
  bool MayAnimate() const override { return false; }
};

}  // namespace zel
