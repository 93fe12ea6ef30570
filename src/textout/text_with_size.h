// "TextWithSize:" pictures: a stand-in of a given size with a text on it,
// named "TextWithSize:WIDTH:HEIGHT:TEXT".
#pragma once

#include "core/strings.h"
#include "imaging/bitmap_store.h"

namespace zel {

inline constexpr char16_t kTextWithSizePrefix[] = u"TextWithSize:";

bool IsTextWithSizeName(TStringView name);

// A grey (170, 170, 170) picture of the size with a darker (100, 100, 100)
// inner rectangle inset by 2 % of the height, and the text in the lighter
// grey over it, scaled to fit 90 % of the width and 20 % of the height,
// centred. Null for a name whose size is missing, not positive or larger
// than a picture may be.
TRef<TBitmapStore> MakeTextWithSizePicture(TStringView name);

}  // namespace zel
