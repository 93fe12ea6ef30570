// Buttons: a face built from a theme's pictures in three looks (normal,
// hover, pressed), as wide as its caption needs, with its first child text
// as the caption.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "show/picture_object.h"

namespace zel {

class TButtonProducer;
class TZelText;

// The face width of a button: at least the face height, at least the
// minimum width (percent of the height), and wide enough for the caption
// (width / height = aspect, its first key point's scale x in percent) with
// the caption offset (percent of the height) as margin. Never wider than
// the largest picture the device takes.
int32_t ButtonFaceWidth(int32_t faceHeight, double minWidth, double captionOffset, double captionAspect,
                        double captionScaleX);

// A face height for a button whose theme is missing, so that its caption
// still has a height to be laid out in.
inline constexpr int32_t kFacelessButtonHeight = 40;

class TZelButton : public TZelImage {
 public:
  TZelButton(TZelObject* parent, TStringView guid);
  ~TZelButton() override;

  const TString& Theme() const noexcept { return fTheme; }
  float ButtonOpacity() const noexcept { return fButtonOpacity; }
  float CaptionOpacity() const noexcept { return fCaptionOpacity; }
  int32_t Hue() const noexcept { return fHue; }
  int32_t Saturation() const noexcept { return fSaturation; }
  int32_t Lightness() const noexcept { return fLightness; }
  // The caption: the first child, when that is a text.
  TZelText* Caption() const noexcept { return fCaption; }
  // The face of a look, or null when the theme gives none.
  TImage* Face(TClickLook look) const { return fFaces[static_cast<size_t>(look)].get(); }
  // The "Button: " name of a look's face (empty without a theme).
  const TString& FaceName(TClickLook look) const { return fFaceNames[static_cast<size_t>(look)]; }

  void ReadFromProject(const TCommonIniSection& source) override;
  void UpdateTransform(bool withChildren) override;
  void SetClickLook(TClickLook look) override;
  void PreparePictures(TDeviceDrawer& drawer) override;
  void ReleaseResources(TDeviceDrawer& drawer) override;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;
  void DrawSelf(TDeviceDrawer& drawer) override;
  TString RequestName() const override { return {}; }
  bool SizeFromPicture() const override { return false; }
  bool UsesPictureLevels() const override { return false; }
  bool MayAnimate() const override { return false; }

 private:
  TButtonProducer* Producer() const;
  void AttachCaption();
  void UpdateFaces();
  void RequestFaces(bool haveTheme, int32_t width);
  TImageDrawParams FaceDrawParams(const TImage& face) const;

  TString fTheme;
  float fButtonOpacity = 100, fCaptionOpacity = 100;
  int32_t fHue = 0, fSaturation = 0, fLightness = 0;
  double fMinWidth = -1;  // below 0: the theme's
  double fCaptionOffset = 100;
  TZelText* fCaption = nullptr;
  std::array<TString, 3> fFaceNames;
  std::array<std::unique_ptr<TImage>, 3> fFaces;
  const TButtonProducer* fRequestedProducer = nullptr;
  int32_t fRequestedWidth = -1;  // what the faces were last asked for with
};

}  // namespace zel
