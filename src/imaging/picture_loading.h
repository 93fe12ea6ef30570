// Connects the file accessor's picture cache to the decoders: decoding a
// picture stream, the placeholder for a missing or broken picture, and the
// accessor's pictures as image objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/bitmap_store.h"
#include "package/file_accessor.h"

namespace zel {

// Registers the decoders and the placeholder maker with the picture cache.
// Done once at start-up (and by tests); later calls change nothing.
void InstallPictureLoading();

// The stand-in picture: a plain yellow-framed blue picture until text
// pictures exist. streamExisted tells a broken file from a missing one.
TRef<TBitmapStore> MakePlaceholderPicture(TStringView name, bool streamExisted, bool forVideo);

// The accessor's shared picture as an image object that keeps the cached
// picture alive for as long as it lives; none when the accessor has none.
std::unique_ptr<TImage> LoadAccessorPicture(TFileAccessor& accessor, TStringView name);

// A generated picture (a shadow, a mask, a button face) shared through the
// picture cache: while any copy for the name and source serial is alive,
// every request gets it; otherwise `make` makes it. Null when `make` gives
// nothing.
std::unique_ptr<TImage> CachedGeneratedPicture(TStringView name, uint32_t serial,
                                               const std::function<std::unique_ptr<TImage>()>& make);

}  // namespace zel
