// The system's own picture container: the signature "VXGF", a list of text
// fields, then a BMP file compressed as raw deflate data. The fields
// "File", "Width", "Height" and "OriginalSize" are required. The picture is
// inflated and decoded on the first request for level 0; content that
// cannot be decoded shows as an opaque green rectangle of the stated size.
#pragma once

#include <utility>
#include <vector>

#include "imaging/image_loader.h"

namespace zel {

class TGfxBitmapStore : public TSysBitmapStore {
 public:
  using TFields = std::vector<std::pair<TString, TString>>;

  // The size is the stated one, as the picture is held (before any turn
  // the post-load hook makes).
  TGfxBitmapStore(TString name, int width, int height, TFields fields, std::vector<uint8_t> deflated,
                  TPostLoadHook postLoad, bool turned = false);

  const TFields& Fields() const { return fFields; }
  // The value of a field (names compared without case), or nothing.
  const TString* Field(TStringView key) const;

 protected:
  std::unique_ptr<TBitmap> ReadNativeLevel(int level) override;

 private:
  TFields fFields;
  std::vector<uint8_t> fDeflated;
  int fStatedWidth;
  int fStatedHeight;
};

TRef<TBitmapStore> LoadGfxContainer(TStream& stream, const TString& name, const TLoadParams& params);

// The colour of a container picture that cannot be decoded.
constexpr TColor kGfxPlaceholderColor = 0xFF00FF00;

}  // namespace zel
