// A vector text whose glyphs point into the process-wide glyph caches: read
// from a show package's "VectTxt2: " entry (so a show renders with its own
// outlines where its fonts are missing) or built from the installed fonts.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/streams.h"
#include "textout/glyph_cache.h"
#include "textout/vector_text.h"

namespace zel {

struct TGlyphPointer {
  TString FontKey;
  uint16_t GlyphIndex = 0;
  float Size = 72;
  int32_t X = 0;
  bool operator==(const TGlyphPointer&) const = default;
};

struct TGlyphLine {
  std::vector<TGlyphPointer> Glyphs;
};

class TCachedVectorText : public TVectorText {
 public:
  // Called with each glyph pointer's font key while reading, so that the
  // glyph cache of that font can be loaded.
  using TGlyphCacheLoader = std::function<void(const TString& fontKey)>;

  // The glyphs are looked up in the given font cache (the global one when
  // none is given), which must outlive the text.
  explicit TCachedVectorText(TFontCache* cache = nullptr);

  // The entry format, from the stream's start. Raises EStreamReadError for
  // data that ends early or holds impossible counts.
  void ReadFrom(TStream& stream, const TGlyphCacheLoader& loader = {});
  void WriteTo(TStream& stream) const;

  // Shapes the lines with the installed fonts and adds every glyph not yet
  // cached to the font cache.
  static std::unique_ptr<TCachedVectorText> Build(const TFontParams& font, const std::vector<TString>& lines,
                                                  TFontCache* cache = nullptr);

  TLineMetrics LineMetrics(int line) const override;
  int GlyphCount(int line) const override;
  TPath GlyphPath(int line, int glyph) const override;
  TGlyphMetrics GlyphMetrics(int line, int glyph) const override;

  const std::vector<TGlyphLine>& Lines() const { return fLines; }

 private:
  const TGlyphPointer* Pointer(int line, int glyph) const;
  const TGlyphData* Data(const TGlyphPointer& pointer) const;
  // The glyph's metrics at the pointer's size, or nothing without data.
  bool PointerMetrics(const TGlyphPointer& pointer, TGlyphMetrics& metrics) const;

  TFontCache* fCache;
  std::vector<TGlyphLine> fLines;
};

// The generator behind "VectTxt2: " names that the package lacks: the name's
// font, style words and lines built into a cached vector text and written to
// a memory stream; the glyphs go to the font cache (the global one when none
// is given). Nothing for a name of another kind.
std::unique_ptr<TStream> GenerateCachedVectorText(TStringView name, TFontCache* cache = nullptr);

}  // namespace zel
