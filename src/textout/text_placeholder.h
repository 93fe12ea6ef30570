// The stand-in for a missing or broken picture or video, drawn as text: what
// went wrong, the file's name, "Path:" and its folder, yellow on blue.
#pragma once

#include "core/strings.h"
#include "imaging/bitmap_store.h"

namespace zel {

TRef<TBitmapStore> MakeTextPlaceholderPicture(TStringView name, bool streamExisted, bool forVideo);

// Makes the picture cache draw its placeholders with the text above instead
// of the plain picture; to be called after the picture loading is installed.
void InstallTextPlaceholder();

}  // namespace zel
