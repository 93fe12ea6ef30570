#include "textout/font_replacer.h"

#include <cmath>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "textout/ft_font_library.h"
#include "textout/ft_metrics.h"

namespace zel {

namespace {

// The fonts a Windows show expects for other scripts, then installed
// families that stand in for them here.
const char16_t* const kCandidates[] = {
    u"Kartika", u"Vrinda", u"Mv Boli", u"Gautami", u"Tunga", u"Shruti", u"Raavi", u"Sylfaen",
    u"Estrangelo Edessa", u"Arial", u"Latha", u"Mangal", u"Microsoft Sans Serif", u"Ms Gothic",
    u"DejaVu Sans", u"DejaVu Sans Mono",
};

char32_t CodePointAt(TStringView text, size_t i, size_t* next) {
  const char16_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    *next = i + 2;
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  *next = i + 1;
  return c;
}

bool IsCombiningMark(char32_t c) {
  const int8_t type = u_charType(static_cast<UChar32>(c));
  return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

}  // namespace

TFtFace* TFontItem::Face(uint8_t style) {
  const int s = style & 3;
  if (!fResolved[s]) {
    fFaces[s] = TFtFontLibrary::Instance().Find(Font.FontName, static_cast<uint8_t>(s), fFallback);
    // A family installed only in other styles still shows its characters.
    if (!fFaces[s] && s) fFaces[s] = TFtFontLibrary::Instance().Find(Font.FontName, 0, fFallback);
    fResolved[s] = true;
  }
  return fFaces[s];
}

bool TFontItem::Covers(uint8_t style, char32_t c) {
  TFtFace* face = Face(style);
  if (!face) return false;
  std::lock_guard guard(TFtFontLibrary::Instance().Lock());
  return face->GlyphOf(c) != 0;
}

TFontReplacer& TFontReplacer::Instance() {
  static TFontReplacer replacer;
  return replacer;
}

TFontReplacer::TFontReplacer() {
  std::vector<TString> names;
  for (const char16_t* name : kCandidates) names.emplace_back(name);
  SetCandidates(names);
}

std::vector<TString> TFontReplacer::CandidateNames() {
  std::lock_guard guard(fLock);
  std::vector<TString> names;
  for (TFontItem* item : fCandidates) names.push_back(item->Font.FontName);
  return names;
}

void TFontReplacer::SetCandidates(const std::vector<TString>& names) {
  std::lock_guard guard(fLock);
  fCandidates.clear();
  for (const TString& name : names) {
    TFontParams font;
    font.FontName = name;
    font.Size = 10;
    fCandidates.push_back(Item(font, false));
  }
}

TString TFontReplacer::NormalizedName(TStringView name) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  icu::UnicodeString text(false, reinterpret_cast<const UChar*>(name.data()), static_cast<int32_t>(name.size()));
  icu::UnicodeString decomposed;
  if (U_SUCCESS(status)) decomposed = nfd->normalize(text, status);
  if (U_FAILURE(status)) decomposed = text;
  decomposed.foldCase();
  return TString(reinterpret_cast<const char16_t*>(decomposed.getBuffer()), static_cast<size_t>(decomposed.length()));
}

TFontItem* TFontReplacer::Item(const TFontParams& font, bool fallback) {
  const TString key = NormalizedName(font.FontName);
  auto& slot = fItems[key];
  if (!slot) {
    slot = std::make_unique<TFontItem>();
    slot->Font = font;
    slot->fFallback = fallback;
    TFtFace* face = slot->Face(0);
    if (face) {
      std::lock_guard guard(TFtFontLibrary::Instance().Lock());
      slot->FixedPitch = FT_IS_FIXED_WIDTH(face->Face);
    }
  } else if (fallback && !slot->fFallback) {
    // Asked for as the requested font: an uninstalled name now falls back.
    slot->fFallback = true;
    for (int s = 0; s < 4; ++s)
      if (!slot->fFaces[s]) slot->fResolved[s] = false;
  }
  return slot.get();
}

size_t TFontReplacer::ClusterEnd(size_t p) const {
  size_t next = p;
  CodePointAt(fText, p, &next);
  while (next < fText.size()) {
    size_t after = next;
    if (!IsCombiningMark(CodePointAt(fText, next, &after))) break;
    next = after;
  }
  return next;
}

bool TFontReplacer::ClusterCovered(TFontItem* item, size_t p, size_t end) const {
  while (p < end) {
    size_t next = p;
    if (!item->Covers(fRequestedFont.Style, CodePointAt(fText, p, &next))) return false;
    p = next;
  }
  return true;
}

TFontItem* TFontReplacer::NextCandidate(TFontItem* item) {
  size_t start = 0;
  for (size_t i = 0; i < fCandidates.size(); ++i)
    if (fCandidates[i] == item) start = i + 1;
  for (size_t i = start; i < fCandidates.size(); ++i)
    if (fCandidates[i]->FixedPitch == item->FixedPitch && fCandidates[i] != fRequested && fCandidates[i]->Face(0))
      return fCandidates[i];
  if (fRequested->FixedPitch != item->FixedPitch) return nullptr;
  size_t from = 0;
  for (size_t i = 0; i < fCandidates.size(); ++i)
    if (fCandidates[i] == fRequested) from = i + 1;
  for (size_t i = from; i < fCandidates.size(); ++i)
    if (fCandidates[i]->FixedPitch != item->FixedPitch && fCandidates[i]->Face(0)) return fCandidates[i];
  return nullptr;
}

float TFontReplacer::MatchedSize(TFontItem& substitute, TFontItem& requested, const TFontParams& font) {
  const int r = ScreenResolution();
  TFtFace* want = requested.Face(font.Style);
  TFtFace* have = substitute.Face(font.Style);
  if (!want || !have) return font.Size;
  std::lock_guard guard(TFtFontLibrary::Instance().Lock());
  const int ascent = FaceAscent(*want, PixelHeightFor(font.Size));
  if (substitute.MatchAscent == ascent && substitute.MatchStyle == font.Style) return substitute.MatchSize;
  int height = static_cast<int>(std::nearbyint((font.Size + 10) * r / 72.0));
  while (height > 0 && FaceAscent(*have, height) > ascent) --height;
  ++height;
  while (height < 256 && FaceAscent(*have, height) <= ascent) ++height;
  substitute.MatchAscent = ascent;
  substitute.MatchStyle = font.Style;
  substitute.MatchSize = static_cast<float>(height * 72.0 / r);
  return substitute.MatchSize;
}

void TFontReplacer::Split(size_t p, size_t e, TFontItem* item) {
  while (p < e) {
    size_t q = p;
    while (q < e) {
      const size_t end = std::min(ClusterEnd(q), e);
      if (!ClusterCovered(item, q, end)) break;
      q = end;
    }
    bool accepted = true;
    if (q > p) {
      TFontParams font = fRequestedFont;
      font.FontName = item->Font.FontName;
      if (item != fRequested) font.Size = MatchedSize(*item, *fRequested, fRequestedFont);
      accepted = (*fCallback)(font, static_cast<int>(p), static_cast<int>(q - p), true);
    }
    size_t r = q;
    if (accepted) {
      p = q;
      while (r < e) {
        const size_t end = std::min(ClusterEnd(r), e);
        if (ClusterCovered(item, r, end)) break;
        r = end;
      }
    }
    if (r > p) {
      if (TFontItem* next = NextCandidate(item)) {
        Split(p, r, next);
      } else {
        (*fCallback)(fRequestedFont, static_cast<int>(p), static_cast<int>(r - p), false);
      }
    }
    p = r;
  }
}

void TFontReplacer::SplitText(TStringView text, int first, int count, const TFontParams& font,
                              const TRunCallback& callback) {
  std::lock_guard guard(fLock);
  if (first < 0 || count <= 0 || static_cast<size_t>(first) >= text.size()) return;
  const size_t end = std::min(text.size(), static_cast<size_t>(first) + static_cast<size_t>(count));
  // The state of an outer call (a callback that splits again) is restored.
  const TStringView savedText = fText;
  TFontItem* const savedRequested = fRequested;
  const TFontParams savedFont = fRequestedFont;
  const TRunCallback* const savedCallback = fCallback;
  fText = text;
  fRequested = Item(font, true);
  fRequestedFont = font;
  fCallback = &callback;
  try {
    Split(static_cast<size_t>(first), end, fRequested);
  } catch (...) {
    fText = savedText, fRequested = savedRequested, fRequestedFont = savedFont, fCallback = savedCallback;
    throw;
  }
  fText = savedText, fRequested = savedRequested, fRequestedFont = savedFont, fCallback = savedCallback;
}

}  // namespace zel
