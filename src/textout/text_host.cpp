#include "textout/text_host.h"

#include "core/log.h"
#include "textout/text_picture.h"

namespace zel {

TTextPictureHost::TTextPictureHost(TFileAccessor& accessor, TFontCache* cache)
    : fAccessor(accessor), fCache(cache ? *cache : GlobalFontCache()) {
  fCache.SetOwnerKey(ReadExeGuid(accessor));
}

TString TTextPictureHost::ReadExeGuid(TFileAccessor& accessor) {
  std::unique_ptr<TStream> stream = accessor.OpenStream(u"ExeGUID");
  if (!stream) return {};
  try {
    return ReadCountedString(*stream, static_cast<int32_t>(stream->ReadUInt32()));
  } catch (const TCommonException&) {
    return {};
  }
}

void TTextPictureHost::LoadGlyphCache(const TString& fontKey) {
  if (fCache.Find(fontKey)) return;
  std::unique_ptr<TStream> stream = fAccessor.OpenStream(u"VectTextCache: " + fontKey);
  if (!stream) return;
  auto cache = std::make_unique<TGlyphCache>(fontKey);
  try {
    cache->ReadFrom(*stream);
  } catch (const TCommonException& e) {
    // The glyphs read before the damage are kept.
    Log().Write("Broken glyph cache for " + StringToUtf8(fontKey) + ": " + e.what());
  }
  fCache.Add(std::move(cache));
}

std::unique_ptr<TCachedVectorText> TTextPictureHost::OpenCachedText(const TString& key) {
  // The generator answers while this one name is opened, and only then.
  fAccessor.SetFallbackOpener([this](TStringView name) { return GenerateCachedVectorText(name, &fCache); });
  std::unique_ptr<TStream> stream;
  try {
    stream = fAccessor.OpenStream(key);
  } catch (...) {
    fAccessor.SetFallbackOpener({});
    throw;
  }
  fAccessor.SetFallbackOpener({});
  if (!stream) return nullptr;
  auto text = std::make_unique<TCachedVectorText>(&fCache);
  try {
    text->ReadFrom(*stream, [this](const TString& fontKey) { LoadGlyphCache(fontKey); });
  } catch (const TCommonException& e) {
    Log().Write("Broken cached text " + StringToUtf8(key) + ": " + e.what());
    return nullptr;
  }
  return text;
}

std::unique_ptr<TImage> TTextPictureHost::Produce(TStringView name) {
  return ProduceTextPicture(fProducer, name, [this](const TString& key) -> std::unique_ptr<TVectorText> {
    return OpenCachedText(key);
  });
}

}  // namespace zel
