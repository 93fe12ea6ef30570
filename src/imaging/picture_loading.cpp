#include "imaging/picture_loading.h"

#include <mutex>

#include "core/loader_callback.h"
#include "imaging/image_loader.h"
#include "imaging/pixel_format.h"

namespace zel {

namespace {

constexpr int kPlaceholderWidth = 256;
constexpr int kPlaceholderHeight = 128;
constexpr int kPlaceholderFrame = 6;

// Keeps a cached picture (and so its handle) alive beside an image.
class TCachedPictureHolder : public TObj {
 public:
  explicit TCachedPictureHolder(TCachedPicture picture) : fPicture(std::move(picture)) {}

 private:
  TCachedPicture fPicture;
};

TRef<TRefObj> DecodeWithLoaders(std::unique_ptr<TStream> stream, TStringView name, int orientation) {
  TLoadParams params;
  params.Orientation = orientation > 0 ? orientation : 1;
  // Decoding reports its progress through the loader callback, which may
  // stop a loading thread.
  params.Progress = [](float) {
    CallLoaderCallback();
    return true;
  };
  auto image = LoadImage(std::move(stream), TString(name), params);
  if (!image) return nullptr;
  return TRef<TRefObj>(image->StoreRef().Get());
}

}  // namespace

TRef<TBitmapStore> MakePlaceholderPicture(TStringView name, bool streamExisted, bool forVideo) {
  (void)streamExisted;
  (void)forVideo;
  auto bitmap = CreateBitmap(kPlaceholderWidth, kPlaceholderHeight, PixelFormat("A8R8G8B8"));
  bitmap->Fill(TRect::FromSize(0, 0, kPlaceholderWidth, kPlaceholderHeight), MakeColor(255, 255, 0));
  bitmap->Fill(TRect::FromSize(kPlaceholderFrame, kPlaceholderFrame, kPlaceholderWidth - 2 * kPlaceholderFrame,
                               kPlaceholderHeight - 2 * kPlaceholderFrame),
               MakeColor(0, 0, 255));
  return MakeRef<TWrapperBitmapStore>(TString(name), std::move(bitmap));
}

void InstallPictureLoading() {
  static std::once_flag once;
  std::call_once(once, [] {
    SetPictureDecoder(DecodeWithLoaders);
    SetPlaceholderMaker([](TStringView name, bool streamExisted, bool forVideo) -> TRef<TRefObj> {
      return TRef<TRefObj>(MakePlaceholderPicture(name, streamExisted, forVideo).Get());
    });
  });
}

std::unique_ptr<TImage> LoadAccessorPicture(TFileAccessor& accessor, TStringView name) {
  auto picture = accessor.LoadPicture(name);
  if (!picture) return nullptr;
  auto* store = dynamic_cast<TBitmapStore*>(picture->Store().Get());
  if (!store) return nullptr;
  auto image = std::make_unique<TImage>(TRef<TBitmapStore>(store));
  image->Attached().push_back(std::make_unique<TCachedPictureHolder>(std::move(*picture)));
  return image;
}

std::unique_ptr<TImage> CachedGeneratedPicture(TStringView name, uint32_t serial,
                                               const std::function<std::unique_ptr<TImage>()>& make) {
  TRef<TImageHandle> handle = FindOrMakePictureHandle(name, serial);
  try {
    std::lock_guard lock(handle->Lock());
    if (!handle->Tried()) {
      std::unique_ptr<TImage> made = make();
      handle->SetResult(made ? TRef<TRefObj>(made->StoreRef()) : TRef<TRefObj>(), false);
    }
  } catch (...) {
    ReleasePictureHandle(handle);
    throw;
  }
  std::unique_ptr<TImage> image;
  if (auto* store = dynamic_cast<TBitmapStore*>(handle->Store().Get())) {
    image = std::make_unique<TImage>(TRef<TBitmapStore>(store));
    std::lock_guard lock(PictureCacheLock());
    image->Attached().push_back(std::make_unique<TCachedPictureHolder>(TCachedPicture(handle)));
  }
  ReleasePictureHandle(handle);
  return image;
}

}  // namespace zel
