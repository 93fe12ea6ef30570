#include "package/file_accessor.h"

#include <mutex>

#include "core/loader_callback.h"
#include "package/name_translation.h"
#include "platform/disk_names.h"

namespace zel {

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

TStringView LastComponent(TStringView name) {
  const size_t separator = name.find_last_of(u"\\/");
  return separator == TStringView::npos ? name : name.substr(separator + 1);
}

std::optional<std::string> ExistingFile(TStringView name) {
  if (!DiskFileExists(name)) return std::nullopt;
  return DiskNameFor(name);
}

}  // namespace

TFileAccessor::TFileAccessor(TRef<TFileSource> source) : fSource(std::move(source)) {
  ZEL_ASSERT(fSource, "TFileAccessor: no file source");
}

void TFileAccessor::SetBaseFolder(TStringView folder) {
  fBaseFolder.assign(folder);
  if (!fBaseFolder.empty() && !IsSeparator(fBaseFolder.back())) fBaseFolder += u'/';
}

std::unique_ptr<TStream> TFileAccessor::OpenFromSource(TStringView name) {
  std::unique_ptr<TStream> stream;
  {
    std::lock_guard lock(fSource->Lock());
    stream = fSource->Open(name);
  }
  if (!stream) return nullptr;
  const int64_t size = stream->GetSize();
  if (size < 0) return stream;  // a window needs a known size
  auto window = std::make_unique<TPartialStream>(std::move(stream), size, 0);
  window->SetProgressCallback(TPartialStream::kDefaultChunkSize, LoaderProgress());
  return window;
}

std::unique_ptr<TStream> TFileAccessor::OpenStream(TStringView name) {
  std::unique_ptr<TStream> stream;
  try {
    stream = OpenFromSource(name);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception&) {
    stream.reset();  // a damaged entry opens as no stream
  }
  if (stream && fLoadHook) fLoadHook(name, stream);
  if (!stream && fFallback) stream = fFallback(name);
  return stream;
}

std::optional<std::string> TFileAccessor::ResolveDiskName(TStringView name) const {
  if (auto found = ExistingFile(name)) return found;
  if (auto found = ExistingFile(TranslateName(name))) return found;
  if (!fBaseFolder.empty()) {
    if (auto found = ExistingFile(fBaseFolder + TString(LastComponent(name)))) return found;
  }
  return std::nullopt;
}

std::unique_ptr<TFileStream> TFileAccessor::OpenDiskFile(TStringView name) const {
  const auto diskName = ResolveDiskName(name);
  if (!diskName) return nullptr;
  try {
    return std::make_unique<TFileStream>(*diskName, TFileCreation::OpenExisting, fsRead | fsWrite | fsDelete, faRead);
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::optional<TCachedPicture> TFileAccessor::LoadPicture(TStringView name) {
  TRef<TImageHandle> handle = FindOrMakePictureHandle(name, fSource->Serial());
  {
    std::lock_guard lock(handle->Lock());
    if (!handle->Tried()) {
      TRef<TRefObj> store = fSource->AskPictureProviders(name);
      bool streamExisted = false;
      if (!store) {
        try {
          auto stream = OpenFromSource(name);
          streamExisted = stream != nullptr;
          if (stream) store = DecodePicture(std::move(stream), name, fSource->OrientationFor(name));
        } catch (const EAbort&) {
          ReleasePictureHandle(handle);
          throw;
        } catch (const std::exception&) {
          store = nullptr;
        }
      }
      const bool placeholder = !store;
      if (placeholder) store = MakePlaceholder(name, streamExisted, false);
      handle->SetResult(std::move(store), placeholder);
    }
  }
  std::optional<TCachedPicture> picture;
  if (handle->Store()) {
    std::lock_guard lock(PictureCacheLock());
    picture.emplace(handle);
  }
  ReleasePictureHandle(handle);
  return picture;
}

std::unique_ptr<TFileAccessor> TFileAccessor::Clone() const {
  auto clone = std::make_unique<TFileAccessor>(fSource);
  clone->fBaseFolder = fBaseFolder;
  return clone;
}

TFileAccessor& DefaultAccessor() {
  static TFileAccessor* accessor = new TFileAccessor(MakeRef<TRealFileSource>());
  return *accessor;
}

std::unique_ptr<TFileAccessor> NewDefaultAccessor() {
  auto accessor = std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>());
  accessor->SetBaseFolder(DefaultAccessor().BaseFolder());
  return accessor;
}

}  // namespace zel
