// The slide host's side of text pictures: "Text: " names are rendered from
// the show package's cached vector texts and glyph caches where it has
// them, from cached texts built on the spot otherwise, through one producer.
#pragma once

#include <memory>

#include "imaging/bitmap_store.h"
#include "package/file_accessor.h"
#include "textout/cached_vector_text.h"
#include "textout/text_producer.h"

namespace zel {

class TTextPictureHost : public TObj {
 public:
  // The accessor is not owned. Makes the font cache belong to this show:
  // its owner key becomes the package entry "ExeGUID".
  explicit TTextPictureHost(TFileAccessor& accessor, TFontCache* cache = nullptr);

  // The picture for a "Text: " name, with its line rectangles attached.
  std::unique_ptr<TImage> Produce(TStringView name);

  // The cached vector text for a "VectTxt2: " key: the package's entry, or
  // one generated from the installed fonts; nothing when neither works.
  std::unique_ptr<TCachedVectorText> OpenCachedText(const TString& key);

  TTextProducer& Producer() { return fProducer; }

  // The text of an "ExeGUID" entry: a 32-bit count and that many UTF-16
  // units; empty when it is missing or broken.
  static TString ReadExeGuid(TFileAccessor& accessor);

 private:
  void LoadGlyphCache(const TString& fontKey);

  TFileAccessor& fAccessor;
  TFontCache& fCache;
  TTextProducer fProducer;
};

}  // namespace zel
