#include "imaging/image_loader.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "core/log.h"
#include "imaging/bmp_decoder.h"
#include "imaging/gfx_bitmap_store.h"
#include "imaging/gif_decoder.h"
#include "imaging/image_lib_store.h"
#include "imaging/jpeg_bitmap_store.h"

namespace zel {

namespace {

struct TLoaderEntry {
  TImageLoader Loader;
  std::vector<TString> Extensions;
};

std::mutex gRegistryLock;
std::vector<TLoaderEntry>& Loaders() {
  static std::vector<TLoaderEntry> loaders;
  return loaders;
}

void AddLoader(TImageLoader loader, const std::vector<TString>& extensions) {
  TLoaderEntry entry{std::move(loader), {}};
  for (const auto& extension : extensions) {
    TString e = NormalizeExtension(extension);
    if (!e.empty()) entry.Extensions.push_back(std::move(e));
  }
  Loaders().push_back(std::move(entry));
}

// The system's own decoders, in the order they are tried.
void RegisterStandardLoaders() {
  AddLoader(LoadGfxContainer, {u".vxgfx", u".bmp", u".dib", u".png", u".gif"});
  AddLoader(LoadBmpPicture, {u".bmp", u".dib"});
  AddLoader(LoadJpegPicture, {u".jpg", u".jpeg", u".jpe", u".jfif"});
  AddLoader(LoadGifPicture, {u".gif"});
  AddLoader(LoadPngPicture, {u".png"});
}

void EnsureStandardLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::lock_guard guard(gRegistryLock);
    // Anything registered before first use goes after the system's own.
    std::vector<TLoaderEntry> early = std::move(Loaders());
    Loaders().clear();
    RegisterStandardLoaders();
    for (auto& entry : early) Loaders().push_back(std::move(entry));
  });
}

std::atomic<int64_t> gMaxPicturePixels{int64_t{1} << 28};

bool StartsWithPngSignature(TStream& stream) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const int64_t start = stream.GetPosition();
  uint8_t head[8] = {};
  const int32_t got = stream.Read(std::span<uint8_t>(head, 8));
  stream.SetPosition(start);
  return got == 8 && std::memcmp(head, kSignature, 8) == 0;
}

}  // namespace

TString NormalizeExtension(TStringView extension) {
  size_t begin = 0, end = extension.size();
  while (begin < end && (extension[begin] == u' ' || extension[begin] == u'\t')) ++begin;
  while (end > begin && (extension[end - 1] == u' ' || extension[end - 1] == u'\t')) --end;
  if (begin < end && extension[begin] == u'*') ++begin;
  TString result = LowerCase(extension.substr(begin, end - begin));
  if (result.empty()) return result;
  if (result[0] != u'.') result.insert(result.begin(), u'.');
  return result;
}

TString ExtensionOf(TStringView name) {
  const size_t dot = name.find_last_of(u'.');
  if (dot == TStringView::npos) return {};
  const size_t separator = name.find_last_of(u"\\/");
  if (separator != TStringView::npos && separator > dot) return {};
  return LowerCase(name.substr(dot));
}

void RegisterLoader(TImageLoader loader, const std::vector<TString>& extensions) {
  EnsureStandardLoaders();
  std::lock_guard guard(gRegistryLock);
  AddLoader(std::move(loader), extensions);
}

std::unique_ptr<TImage> LoadImage(TStream& stream, const TString& name, const TLoadParams& params) {
  EnsureStandardLoaders();
  TString extension = ExtensionOf(name);
  const int64_t start = stream.GetPosition();
  try {
    if (extension == u".bmp" && StartsWithPngSignature(stream)) extension = u".png";
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return nullptr;  // a stream that cannot be read holds no picture
  }

  std::vector<TLoaderEntry> loaders;
  {
    std::lock_guard guard(gRegistryLock);
    loaders = Loaders();
  }
  for (const auto& entry : loaders) {
    if (!extension.empty() &&
        std::find(entry.Extensions.begin(), entry.Extensions.end(), extension) == entry.Extensions.end())
      continue;
    TRef<TBitmapStore> store;
    try {
      store = entry.Loader(stream, name, params);
    } catch (const EAbort&) {
      // A request to stop the loading thread is not a decoding failure.
      stream.SetPosition(start);
      throw;
    } catch (const std::exception& e) {
      Log().Write("LoadImage: " + StringToUtf8(name) + ": " + e.what());
      store = nullptr;
    }
    if (store) return std::make_unique<TImage>(std::move(store));
    try {
      stream.SetPosition(start);
    } catch (const std::exception&) {
      return nullptr;
    }
  }
  return nullptr;
}

std::unique_ptr<TImage> LoadImage(std::unique_ptr<TStream> stream, const TString& name, const TLoadParams& params) {
  if (!stream) return nullptr;
  return LoadImage(*stream, name, params);
}

std::unique_ptr<TImage> LoadImageFile(const std::string& fileName, const TLoadParams& params) {
  std::unique_ptr<TFileStream> file;
  try {
    file = TFileStream::OpenRead(fileName);
  } catch (const std::exception&) {
    return nullptr;
  }
  if (!file || !file->IsOpen()) return nullptr;
  try {
    return LoadImage(*file, Utf8ToString(fileName), params);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    return nullptr;  // a folder, or a file that fails while being read
  }
}

int64_t MaxPicturePixels() { return gMaxPicturePixels.load(); }
void SetMaxPicturePixels(int64_t pixels) { gMaxPicturePixels.store(pixels); }
bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= 65535 && height <= 65535 && width * height <= MaxPicturePixels();
}

// ---------------------------------------------------------------------------

std::unique_ptr<TBitmap> RotateBitmap(const TBitmap& source, int orientation) {
  const int w = source.Width(), h = source.Height();
  const bool swap = OrientationSwapsSize(orientation);
  std::unique_ptr<TBitmap> result =
      CreateBitmap(swap ? h : w, swap ? w : h, source.Format(), source.Progress(), nullptr, TBitmapClass::None);
  const size_t bpp = static_cast<size_t>(source.Format()->BytesPerPixel());
  for (int y = 0; y < result->Height(); ++y) {
    uint8_t* out = result->ScanLine(y);
    for (int x = 0; x < result->Width(); ++x, out += bpp) {
      int sx, sy;
      switch (orientation) {
        case 3: sx = w - 1 - x, sy = h - 1 - y; break;
        case 6: sx = y, sy = h - 1 - x; break;  // clockwise
        case 8: sx = w - 1 - y, sy = x; break;  // counter-clockwise
        default: sx = x, sy = y; break;
      }
      std::memcpy(out, source.ScanLine(sy) + static_cast<size_t>(sx) * bpp, bpp);
    }
  }
  return result;
}

TPostLoadHook OrientationHook(int orientation) {
  if (orientation != 3 && orientation != 6 && orientation != 8) return {};
  return [orientation](std::unique_ptr<TBitmap>& bitmap) { bitmap = RotateBitmap(*bitmap, orientation); };
}

bool OrientationSwapsSize(int orientation) { return orientation == 6 || orientation == 8; }

}  // namespace zel
