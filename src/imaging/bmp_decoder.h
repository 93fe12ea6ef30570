// The BMP decoder: uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel, RLE8,
// RLE4 and 16-bit bit fields.
#pragma once

#include <memory>
#include <span>

#include "core/streams.h"
#include "imaging/image_loader.h"

namespace zel {

// Decodes a whole BMP file held in memory; nothing when it is not a BMP
// this decoder reads or when it is damaged.
std::unique_ptr<TBitmap> DecodeBmp(std::span<const uint8_t> file);
// Decodes from the stream's position; on failure the position is restored.
std::unique_ptr<TBitmap> DecodeBmp(TStream& stream);

// The loader: the picture decoded at once, wrapped in a store.
TRef<TBitmapStore> LoadBmpPicture(TStream& stream, const TString& name, const TLoadParams& params);

}  // namespace zel
