#include "imaging/gfx_bitmap_store.h"

#include <cstring>

#include "core/log.h"
#include "imaging/bmp_decoder.h"
#include "imaging/stream_bytes.h"
#include "package/z_streams.h"

namespace zel {

namespace {

bool ReadField(TStream& stream, TString& text) {
  uint8_t head[2];
  if (stream.Read(std::span<uint8_t>(head, 2)) != 2) return false;
  const uint16_t length = LoadU16(head);
  std::string bytes(length, '\0');
  if (length > 0 &&
      stream.Read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), length)) != static_cast<int32_t>(length))
    return false;
  text = Utf8ToString(bytes);
  return true;
}

// A BMP of the stated size, with its headers and palette, cannot inflate to
// more than this; anything larger is not a picture of that size.
int64_t InflateLimit(int width, int height) {
  return int64_t{width} * height * 4 * 2 + 65536;
}

}  // namespace

TGfxBitmapStore::TGfxBitmapStore(TString name, int width, int height, TFields fields, std::vector<uint8_t> deflated,
                                 TPostLoadHook postLoad, bool turned)
    : TSysBitmapStore(std::move(name), turned ? height : width, turned ? width : height, FormatA8R8G8B8(),
                      std::move(postLoad)),
      fFields(std::move(fields)),
      fDeflated(std::move(deflated)),
      fStatedWidth(width),
      fStatedHeight(height) {}

const TString* TGfxBitmapStore::Field(TStringView key) const {
  for (const auto& [k, v] : fFields)
    if (SameText(k, key)) return &v;
  return nullptr;
}

std::unique_ptr<TBitmap> TGfxBitmapStore::ReadNativeLevel(int level) {
  if (level != 0) return nullptr;
  std::unique_ptr<TBitmap> picture;
  try {
    TMemoryStream source;
    source.Write(std::span<const uint8_t>(fDeflated));
    source.SetPosition(0);
    TMemoryStream inflated;
    TInflator inflator;
    inflator.SetLimit(InflateLimit(fStatedWidth, fStatedHeight));
    inflator.InflateWhole(source, inflated);
    picture = DecodeBmp(inflated.Bytes());
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    Log().Write("TGfxBitmapStore: " + StringToUtf8(Name()) + ": " + e.what());
  }
  if (picture && picture->Format() != FormatA8R8G8B8()) picture = picture->CloneAs(FormatA8R8G8B8(), TBitmapClass::None);
  if (!picture) {
    picture = CreateBitmap(fStatedWidth, fStatedHeight, FormatA8R8G8B8(), Progress());
    picture->Fill(picture->BoundsRect(), kGfxPlaceholderColor);
  }
  std::vector<uint8_t>().swap(fDeflated);
  return picture;
}

TRef<TBitmapStore> LoadGfxContainer(TStream& stream, const TString& name, const TLoadParams& params) {
  uint8_t signature[4];
  if (stream.Read(std::span<uint8_t>(signature, 4)) != 4 || std::memcmp(signature, "VXGF", 4) != 0) return nullptr;
  uint8_t head[2];
  if (stream.Read(std::span<uint8_t>(head, 2)) != 2) return nullptr;
  const uint16_t count = LoadU16(head);
  TGfxBitmapStore::TFields fields;
  for (uint16_t i = 0; i < count; ++i) {
    TString key, value;
    if (!ReadField(stream, key) || !ReadField(stream, value)) return nullptr;
    fields.emplace_back(std::move(key), std::move(value));
  }
  auto find = [&](TStringView key) -> const TString* {
    for (const auto& [k, v] : fields)
      if (SameText(k, key)) return &v;
    return nullptr;
  };
  const TString* file = find(u"File");
  const TString* width = find(u"Width");
  const TString* height = find(u"Height");
  const TString* originalSize = find(u"OriginalSize");
  if (!file || !width || !height || !originalSize) return nullptr;
  const auto w = TryStrToInt(*width), h = TryStrToInt(*height);
  if (!w || !h || !TryStrToInt(*originalSize) || !PictureSizeAllowed(*w, *h)) return nullptr;

  std::vector<uint8_t> deflated;
  if (!ReadRemaining(stream, deflated)) return nullptr;
  auto store = MakeRef<TGfxBitmapStore>(name, static_cast<int>(*w), static_cast<int>(*h), std::move(fields),
                                        std::move(deflated), OrientationHook(params.Orientation),
                                        OrientationSwapsSize(params.Orientation));
  store->SetProgress(params.Progress);
  return store;
}

}  // namespace zel
