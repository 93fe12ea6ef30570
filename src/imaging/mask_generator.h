// Generated soft masks: a rounded rectangle or an ellipse, white where the
// masked picture shows and black where it is hidden, with a soft band at the
// edge. Every parameter is encoded in the picture name, so that the picture
// cache shares equal masks.
#pragma once

#include <cstdint>
#include <memory>

#include "core/obj.h"
#include "core/strings.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_store.h"

namespace zel {

enum class TMaskKind : uint8_t { RoundedRect = 0, Ellipse = 1 };

struct TMaskParams {
  uint8_t Kind = 0;          // 1 an ellipse; any other value a rounded rectangle
  float Softness = 0;        // percent
  float CornerRadius = 0;    // percent of the shorter side
  int32_t Width = 512, Height = 512;
};

inline constexpr char16_t kPresetedMaskPrefix[] = u"PresetedMask:";

// "PresetedMask:" width ":" height ":" kind ":" softness ":" corner radius.
// Blanks before each field are skipped; a width or height that does not
// convert is 512, the kind is 0 unless it is 1, softness and radius that do
// not convert are 0. The whole name is given; it never throws.
TMaskParams ParseMaskName(TStringView name);
TString BuildMaskName(const TMaskParams& params);

class TMaskGenerator : public TObj {
 public:
  // Asked after every row; answering false stops the generation and the
  // rows made so far are kept (the rest stays black).
  TBitmapProgress Progress;

  // An 8-bit picture ("A8") of the parameters' size whose store is named by
  // the name; null for a size the picture limits refuse.
  std::unique_ptr<TImage> Make(const TMaskParams& params, const TString& name);
};

}  // namespace zel
