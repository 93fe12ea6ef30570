// How picture generators ask for the pictures they are built from: by name,
// through whoever resolves names for them (normally the slide host, whose
// picture cache shares equal names).
#pragma once

#include <functional>
#include <memory>

#include "core/strings.h"
#include "imaging/bitmap_store.h"

namespace zel {

// The picture a name stands for, or null when it gives none.
using TPictureRequest = std::function<std::unique_ptr<TImage>(TStringView name)>;

}  // namespace zel
