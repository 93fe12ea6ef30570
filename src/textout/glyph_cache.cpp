#include "textout/glyph_cache.h"


#include "core/stream_errors.h"
#include "textout/stream_fields.h"

namespace zel {

namespace {

using stream_fields::ReadInt;
using stream_fields::WriteFloat;
using stream_fields::WriteInt;

int32_t CheckedCount(TStream& s, int32_t count, int64_t bytesEach) {
  return stream_fields::CheckedCount(s, count, bytesEach, "Glyph data count out of range");
}

}  // namespace

TString ReadCountedString(TStream& stream, int32_t count) {
  CheckedCount(stream, count, 2);
  TString text;
  if (stream.ReadStringUnits(text, 0, count) != count) throw EStreamReadError("Glyph data ends early");
  return text;
}

const TGlyphData* TGlyphCache::Find(uint16_t glyphIndex) const {
  for (const TGlyphData& glyph : fGlyphs)
    if (glyph.Info.ID.GlyphIndex == glyphIndex) return &glyph;
  return nullptr;
}

void TGlyphCache::Add(TGlyphData glyph) { fGlyphs.push_back(std::move(glyph)); }

void TGlyphCache::ReadFrom(TStream& s) {
  const int32_t count = CheckedCount(s, ReadInt(s), 30);
  fFontKey = ReadCountedString(s, ReadInt(s));
  for (int32_t i = 0; i < count; ++i) {
    TGlyphData glyph;
    TGlyphMetrics& m = glyph.Info.Metrics;
    glyph.Info.ID.FontKey = fFontKey;
    glyph.Info.ID.GlyphIndex = s.ReadUInt16();
    m.A = ReadInt(s);
    m.B = ReadInt(s);
    m.C = ReadInt(s);
    m.Ascent = ReadInt(s);
    m.Descent = ReadInt(s);
    glyph.Info.ID.Size = s.ReadFloat();
    // The entry does not store them, but they follow from what it does.
    m.Advance = m.A + m.B + m.C;
    m.Height = m.Ascent + m.Descent;
    const int32_t points = CheckedCount(s, ReadInt(s), 12);
    glyph.Path.Points.resize(static_cast<size_t>(points));
    for (TPathPoint& p : glyph.Path.Points) {
      p.X = s.ReadFloat();
      p.Y = s.ReadFloat();
      p.Command = ReadInt(s);
    }
    fGlyphs.push_back(std::move(glyph));
  }
}

void TGlyphCache::WriteTo(TStream& s) const {
  WriteInt(s, static_cast<int32_t>(fGlyphs.size()));
  WriteInt(s, static_cast<int32_t>(fFontKey.size()));
  s.WriteString(fFontKey);
  for (const TGlyphData& glyph : fGlyphs) {
    const TGlyphMetrics& m = glyph.Info.Metrics;
    s.WriteUInt16(glyph.Info.ID.GlyphIndex);
    WriteInt(s, m.A);
    WriteInt(s, m.B);
    WriteInt(s, m.C);
    WriteInt(s, m.Ascent);
    WriteInt(s, m.Descent);
    WriteFloat(s, glyph.Info.ID.Size);
    WriteInt(s, static_cast<int32_t>(glyph.Path.Points.size()));
    for (const TPathPoint& p : glyph.Path.Points) {
      WriteFloat(s, p.X);
      WriteFloat(s, p.Y);
      WriteInt(s, p.Command);
    }
  }
}

TGlyphCache* TFontCache::Find(TStringView fontKey) const {
  for (const auto& cache : fCaches)
    if (cache->FontKey() == fontKey) return cache.get();
  return nullptr;
}

TGlyphCache* TFontCache::Add(std::unique_ptr<TGlyphCache> cache) {
  fCaches.push_back(std::move(cache));
  return fCaches.back().get();
}

TGlyphCache* TFontCache::FindOrAdd(TStringView fontKey) {
  if (TGlyphCache* cache = Find(fontKey)) return cache;
  return Add(std::make_unique<TGlyphCache>(TString(fontKey)));
}

void TFontCache::SetOwnerKey(TStringView key) {
  if (key == fOwnerKey) return;
  fCaches.clear();
  fOwnerKey = TString(key);
}

TFontCache& GlobalFontCache() {
  static TFontCache cache;
  return cache;
}

}  // namespace zel
