// Text objects: lines of text (with macros filled in from the slide and its
// main picture) rendered to a picture at the resolution they are shown at,
// and drawn like a picture. A text is sized by its parent's height, not by
// a fit mode, and keeps its proportions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "show/picture_object.h"
#include "textout/text_params.h"

namespace zel {

class TZelButton;

// A text's own size, in text units (pixels of the 72-point design size).
struct TTextSize {
  double width = 0, height = 0;
  bool operator==(const TTextSize&) const = default;
};

// The largest scale that keeps a text picture within the texture limits:
// halved until w x s and h x s are at most 30,000 and w x h x s^2 at most
// 10,000,000. A scale that is not a positive number gives 0.
double LimitedRenderScale(double scale, TTextSize size);

class TZelText : public TZelImage {
 public:
  TZelText(TZelObject* parent, TStringView guid);
  ~TZelText() override;

  // --- What the project says ------------------------------------------------
  // The lines as written ("^&" separates them).
  const std::vector<TString>& Lines() const noexcept { return fLines; }
  void SetText(TStringView value);
  const TString& FontName() const noexcept { return fParams.FontName; }
  uint8_t Style() const noexcept { return fParams.Style; }
  uint8_t Alignment() const noexcept { return fParams.Alignment; }
  int32_t LineSpacing() const noexcept { return fParams.LineSpacing; }
  // The colours of the three looks (normal, hover, pressed), RGB. When
  // they differ the text is rendered white and the look's colour is a
  // tint, so a change of look renders nothing again.
  const std::array<uint32_t, 3>& Colors() const noexcept { return fColors; }
  void SetColors(const std::array<uint32_t, 3>& colors);
  bool Rasterized() const noexcept { return fRasterize; }
  bool IsTextComment() const noexcept { return fTextComment; }
  // Making a text the text comment takes the mark from every other text of
  // its slide tree.
  void SetTextComment(bool comment);

  // --- What is worked out -----------------------------------------------------
  // The lines with their macros replaced, as last built.
  const std::vector<TString>& ExpandedLines() const noexcept { return fExpanded; }
  TTextSize TextSize() const noexcept { return fTextSize; }
  // Picture pixels per text unit.
  double RenderScale() const noexcept { return fRenderScale; }
  // The "Text: " name the picture is rendered under (empty for a
  // rasterized text).
  const TString& TextPictureName() const noexcept { return fPictureName; }
  // The height of one line in text units.
  double FontSize() const;

  // Builds the text now when anything it depends on changed: the lines are
  // expanded again, measured, and (after the first time) the key points
  // scaled so that a changed height keeps each line's size on the screen.
  void BuildText();
  // The button whose caption this text is, or null.
  TZelButton* CaptionOf() const noexcept { return fCaptionOf; }
  // A caption lets clicks through, casts no shadow and takes the theme's
  // colour (RGB) for every look when there is a theme.
  void SetCaptionOf(TZelButton* button, std::optional<uint32_t> color);

  void UpdateTransform(bool withChildren) override;
  float EffectiveOpacity() const override;

 protected:
  void ReadKindKeys(const TIniIdentList& keys) override;
  void DrawSelf(TDeviceDrawer& drawer) override;
  TString RequestName() const override;
  double PlacementFactor(TObjectSize parentSize) const override;
  bool ShadowEnabledByDefault() const override { return true; }
  bool AntialiasedByDefault() const override { return false; }
  bool SizeFromPicture() const override { return false; }
  bool UsesPictureLevels() const override { return fRasterize; }
  bool MayAnimate() const override { return false; }

 private:
  bool ColorsDiffer() const;
  // The colour the picture is rendered in: the look's colour when all
  // three agree, else white (the look is then a tint).
  uint32_t RenderColor() const;
  std::vector<TString> ExpandLines() const;
  void Measure();
  void ScaleKeyPoints(double factor);
  double WantedRenderScale() const;
  void UpdateRenderScale();
  TDrawPlane TextPlane() const;
  TImageDrawParams TextDrawParams() const;

  std::vector<TString> fLines{u"Text"};
  std::vector<TString> fExpanded;
  TTextParams fParams;
  std::array<uint32_t, 3> fColors{0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  bool fRasterize = false;
  TString fRasterizedGuid;
  TObjectSize fBlackBoxSize;
  bool fTextComment = false;
  TZelButton* fCaptionOf = nullptr;

  bool fTextStale = true;
  int64_t fBuiltForSlide = -1;
  TString fMeasureKey;  // what the size was measured for
  TTextSize fTextSize;
  double fMeasuredHeight = 0;  // 0 until the first measurement
  double fLeftOverhang = 0;    // text units left of the box the glyphs reach
  double fRenderScale = 0;
  uint32_t fRenderedColour = 0;  // what the picture name was last built for
  TString fRenderedKey;
  TString fPictureName;
};

}  // namespace zel
