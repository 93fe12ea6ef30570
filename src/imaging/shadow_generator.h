// Generated "Shadow: " pictures: the soft drop shadow of a picture or of a
// box (optionally with a gradient), with every parameter spelled out in the
// picture name so that the picture cache shares equal requests.
#pragma once

#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "core/strings.h"
#include "imaging/bitmap_store.h"
#include "imaging/drop_shadow.h"
#include "imaging/geometry.h"
#include "imaging/picture_request.h"

namespace zel {

inline constexpr char16_t kShadowPrefix[] = u"Shadow: ";
// The picture name that stands for a box rather than a picture.
inline constexpr char16_t kShadowBoxName[] = u"N\\A";

// Gradient types of box shadows (the alpha runs from the start to the end).
enum class TShadowGradient : uint8_t {
  TopLeftToBottomRight = 0,
  TopRightToBottomLeft = 1,
  BottomLeftToTopRight = 2,
  BottomRightToTopLeft = 3,
  BottomToTop = 4,
  TopToBottom = 5,
  LeftToRight = 6,
  RightToLeft = 7,
  Uniform = 8,  // the start alpha everywhere; so is any type above 8
};

struct TShadowParams {
  TString PictureName = kShadowBoxName;
  // The part of the picture (at PictureLevel) that casts the shadow; for a
  // box, its size. Left and top are 0 when the parameters are normalised.
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  // Room added around the source before blurring, in source pixels.
  int32_t MarginX = 0, MarginY = 0;
  // The alpha of the working bitmap where the source does not cover it.
  int32_t BaseAlpha = 255;
  float Blur = 0;  // in source pixels
  uint8_t Blue = 0, Green = 0, Red = 0;
  float Density = 100;  // the shadow's opacity, percent
  int32_t ContourPreset = 0;
  uint8_t GradientStartAlpha = 255, GradientEndAlpha = 255, GradientType = 8;
  int32_t PictureLevel = 0;

  bool IsBox() const { return PictureName == kShadowBoxName; }
  int32_t SourceWidth() const { return Right - Left; }
  int32_t SourceHeight() const { return Bottom - Top; }
  bool operator==(const TShadowParams&) const = default;
};

// "Shadow: " then left, top, right, bottom, margin x, margin y, base alpha,
// blur, contour preset, gradient type, gradient start alpha, gradient end
// alpha, blue, green, red, density (two decimals) and picture level, each
// followed by ":", and last the picture name.
TString BuildShadowName(const TShadowParams& params);
// Reads a name made by BuildShadowName (the prefix may be left out). Blanks
// are not skipped: a field that is not a number in range gives 0, the base
// alpha 255 and the gradient type 8; missing fields count as such and a
// missing picture name is empty. Never throws.
TShadowParams ParseShadowName(TStringView name);

// The parameters scaled so that the shadow is computed at about 40,000
// pixels: right, bottom and both margins times
// s = sqrt(40000 / ((right + 2 margin x) (bottom + 2 margin y))), rounded.
// Left and top must be 0 (a programming error otherwise); a source with no
// area is returned unchanged.
TShadowParams NormalizeShadowParams(const TShadowParams& params);

// Attached to the store of every generated shadow: where the source lies in
// the shadow picture, so that whoever draws it can place it.
class TShadowGeometry : public TObj {
 public:
  int32_t WorkingWidth = 0, WorkingHeight = 0;  // the source and its margins after halving
  int32_t Halvings = 0;                         // k: one result pixel spans 2^k source pixels
  int32_t MarginX = 0, MarginY = 0;             // the margins after halving: round(margin / 2^k)
  int32_t BlurMargin = 0;                       // added on each side by the blur, in result pixels

  double Scale() const { return static_cast<double>(int64_t{1} << Halvings); }
  // The source rectangle's place in the shadow picture, in its pixels.
  TRect SourceRect() const {
    return {BlurMargin + MarginX, BlurMargin + MarginY, BlurMargin + WorkingWidth - MarginX,
            BlurMargin + WorkingHeight - MarginY};
  }
};

class TShadowGenerator : public TObj {
 public:
  TShadowGenerator();

  TBitmapProgress Progress;

  // The shadow picture for the parameters, its store named
  // BuildShadowName(params) and carrying a TShadowGeometry. The source
  // picture (unless a box) is asked for through request. Null when the
  // source picture cannot be had or the progress said stop.
  std::unique_ptr<TImage> Make(const TShadowParams& params, const TPictureRequest& request);
  // The same for a "Shadow: " name.
  std::unique_ptr<TImage> MakeFromName(TStringView name, const TPictureRequest& request) {
    return Make(ParseShadowName(name), request);
  }

  TShadowProducer& Producer() { return *fProducer; }

 private:
  std::unique_ptr<TShadowProducer> fProducer;
};

// The shadow of one object: it keeps its picture until the parameters change.
class TShadow : public TObj {
 public:
  // Normalised shadows are computed at about 40,000 pixels and stretched
  // when drawn; box shadows are always normalised.
  explicit TShadow(bool normalized);

  // Asks for the picture named after the parameters (normalised when the
  // flag is set or for a box) through request -- normally the slide host,
  // whose picture cache shares equal names -- only when they differ from
  // the ones it holds. Returns true when the picture changed. When the
  // request gives nothing, the old picture stays and the next update asks
  // again. A negative picture level is a programming error.
  bool Update(const TShadowParams& params, const TPictureRequest& request);

  TImage* Picture() const { return fPicture.get(); }
  // The parameters the picture was made with (normalised where it is).
  const TShadowParams& Params() const { return fParams; }
  bool Normalized() const { return fNormalized; }
  // The picture level the shadow was made from; -1 before the first picture.
  int32_t Level() const { return fPicture ? fParams.PictureLevel : -1; }
  // The geometry of the held picture, or null.
  const TShadowGeometry* Geometry() const;

 private:
  std::unique_ptr<TImage> fPicture;
  TShadowParams fParams;
  bool fNormalized;
};

}  // namespace zel
