// The picture loader: a registry of decoders chosen by file extension and
// by signature, turning a stream into a shared picture.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/streams.h"
#include "imaging/bitmap_store.h"

namespace zel {

// Decoding problems that are not programming errors.
ZEL_DECLARE_EXCEPTION(EImageError, TCommonException);

// What the caller of LoadImage hands to every loader.
struct TLoadParams {
  TBitmapProgress Progress;
  // The orientation code recorded for the picture (1 upright, 3, 6, 8).
  int Orientation = 1;
};

// A loader returns a store or nothing; it may raise, which declines too.
using TImageLoader =
    std::function<TRef<TBitmapStore>(TStream& stream, const TString& name, const TLoadParams& params)>;

// Extensions may be written "*.jpg", " jpg " or ".jpg"; they are kept as ".jpg".
void RegisterLoader(TImageLoader loader, const std::vector<TString>& extensions);
TString NormalizeExtension(TStringView extension);
// The lower-case extension of a name (with its dot), or nothing.
TString ExtensionOf(TStringView name);

// The loaders in order try the stream; nothing when none accepts. The
// stream's position is restored when every loader declines.
std::unique_ptr<TImage> LoadImage(TStream& stream, const TString& name, const TLoadParams& params = {});
// Frees the stream whatever the result.
std::unique_ptr<TImage> LoadImage(std::unique_ptr<TStream> stream, const TString& name, const TLoadParams& params = {});
// Opens the file (UTF-8 name) for shared reading; nothing when it cannot.
std::unique_ptr<TImage> LoadImageFile(const std::string& fileName, const TLoadParams& params = {});

// Decoders refuse pictures with more pixels than this, so that a crafted
// header cannot make them allocate without bound.
int64_t MaxPicturePixels();
void SetMaxPicturePixels(int64_t pixels);
bool PictureSizeAllowed(int64_t width, int64_t height);

// The post-load hook for an orientation code: 3 turns by 180 degrees, 6 by
// 90 degrees clockwise, 8 counter-clockwise; other codes need none.
TPostLoadHook OrientationHook(int orientation);
bool OrientationSwapsSize(int orientation);
// The turns themselves, through the bitmap factory.
std::unique_ptr<TBitmap> RotateBitmap(const TBitmap& source, int orientation);

}  // namespace zel
