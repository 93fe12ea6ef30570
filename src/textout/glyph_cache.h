// Glyph outlines kept per font: a glyph cache holds the glyphs of one font
// key, and the process-wide font cache holds the glyph caches of the show
// that is open, so that every text of the show shares extracted outlines.
#pragma once

#include <memory>
#include <vector>

#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"
#include "textout/vector_text.h"

namespace zel {

struct TGlyphData {
  TGlyphInfo Info;
  TPath Path;  // design units at Info.ID.Size
};

class TGlyphCache : public TObj {
 public:
  explicit TGlyphCache(TString fontKey) : fFontKey(std::move(fontKey)) {}

  const TString& FontKey() const { return fFontKey; }
  // The first glyph with the index, or nothing.
  const TGlyphData* Find(uint16_t glyphIndex) const;
  void Add(TGlyphData glyph);
  size_t Count() const { return fGlyphs.size(); }

  // The "VectTextCache: " entry format. Reading replaces the key with the
  // stored one; a stream that ends early or holds impossible counts raises
  // EStreamReadError, and the glyphs read before stay.
  void ReadFrom(TStream& stream);
  void WriteTo(TStream& stream) const;

 private:
  TString fFontKey;
  std::vector<TGlyphData> fGlyphs;
};

class TFontCache : public TObj {
 public:
  // Exact, case-sensitive comparison of the keys.
  TGlyphCache* Find(TStringView fontKey) const;
  TGlyphCache* Add(std::unique_ptr<TGlyphCache> cache);
  TGlyphCache* FindOrAdd(TStringView fontKey);
  void Clear() { fCaches.clear(); }
  size_t Count() const { return fCaches.size(); }

  const TString& OwnerKey() const { return fOwnerKey; }
  // A different owner drops every glyph cache.
  void SetOwnerKey(TStringView key);

 private:
  std::vector<std::unique_ptr<TGlyphCache>> fCaches;
  TString fOwnerKey;
};

// The one font cache of the process; used by the thread that makes slide
// pictures, so it has no lock.
TFontCache& GlobalFontCache();

// Shared by the entry readers: a UTF-16 string of count units, refusing
// counts beyond what the stream still holds.
TString ReadCountedString(TStream& stream, int32_t count);

}  // namespace zel
