// JPEG pictures through libjpeg-turbo. The header is read when the picture
// is loaded; levels 0 to 3 are decoded at the library's DCT scaling (full,
// half, quarter and eighth size), so a large photo shown small is never
// decoded at full size. Smaller levels are halved from level 3.
#pragma once

#include <vector>

#include "imaging/image_loader.h"

namespace zel {

ZEL_DECLARE_EXCEPTION(EJpegError, EImageError);

class TJpegBitmapStore : public TSysBitmapStore {
 public:
  TJpegBitmapStore(TString name, int width, int height, bool grey, bool progressive, std::vector<uint8_t> file,
                   TPostLoadHook postLoad);
  bool Grey() const { return fGrey; }
  bool Progressive() const { return fProgressive; }

 protected:
  // EJpegError ("JPEG error #N") when the library fails.
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override;

 private:
  bool fGrey;
  bool fProgressive;
  std::vector<uint8_t> fFile;
};

TRef<TBitmapStore> LoadJpegPicture(TStream& stream, const TString& name, const TLoadParams& params);

// Decodes a JPEG held in memory at a DCT scale of 1 / 2^level (level 0..3)
// into "R8G8B8"; EJpegError on failure.
std::unique_ptr<TBitmap> DecodeJpeg(const uint8_t* data, size_t size, int level, const TBitmapProgress& progress = {});

// The global quality option: the library's faster integer transform and
// plain upsampling instead of the exact ones.
void SetJpegFastDecoding(bool fast);
bool JpegFastDecoding();

}  // namespace zel
