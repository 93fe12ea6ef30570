// PNG pictures through libpng, standing where the external picture library
// stood: the header is read when the picture is loaded, the rows on the
// first request for level 0. Every PNG becomes 24-bit "R8G8B8", or 32-bit
// "A8R8G8B8" when it carries alpha (an alpha channel or a tRNS chunk).
#pragma once

#include <vector>

#include "imaging/image_loader.h"

namespace zel {

class TImageLibStore : public TSysBitmapStore {
 public:
  // Keeps the file's bytes until level 0 has been read.
  TImageLibStore(TString name, int width, int height, TCommonPixelFormat* format, std::vector<uint8_t> file,
                 TPostLoadHook postLoad);

 protected:
  // EImageError when the rows cannot be decoded.
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override;

 private:
  std::vector<uint8_t> fFile;
};

TRef<TBitmapStore> LoadPngPicture(TStream& stream, const TString& name, const TLoadParams& params);

// How a PNG is written: small files, or quickly, for opaque frames that are
// written by the hundred (24-bit, light compression, one row filter).
enum class TPngWriting : uint8_t { Small = 0, FastOpaque = 1 };

// Writes the bitmap as a 32-bit PNG with its alpha, or as a 24-bit one
// when fast writing of an opaque frame is asked for (EImageError on
// failure).
void SavePng(const TBitmap& bitmap, TStream& stream, TPngWriting writing = TPngWriting::Small);

}  // namespace zel
