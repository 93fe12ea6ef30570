#include "textout/ft_font_library.h"

#include <atomic>
#include <cmath>

#include <fontconfig/fontconfig.h>
#include <hb-ft.h>

#include "core/log.h"

namespace zel {

namespace {

std::atomic<int> gResolution{96};

TString Folded(TStringView text) { return LowerCase(text); }

// The face name the platform falls back on when none is given.
constexpr char16_t kDefaultFamily[] = u"Arial";

}  // namespace

int ScreenResolution() { return gResolution.load(); }
void SetScreenResolution(int dpi) { gResolution.store(dpi > 0 ? dpi : 96); }

int PixelHeightFor(double points) {
  return static_cast<int>(std::nearbyint(ScreenResolution() * points / 72.0));
}

std::optional<TString> MetricCompatibleFamily(TStringView family) {
  static const std::pair<const char16_t*, const char16_t*> kTable[] = {
      {u"arial", u"Liberation Sans"},
      {u"helvetica", u"Liberation Sans"},
      {u"times new roman", u"Liberation Serif"},
      {u"times", u"Liberation Serif"},
      {u"courier new", u"Liberation Mono"},
      {u"courier", u"Liberation Mono"},
  };
  const TString folded = Folded(family);
  for (const auto& [windows, installed] : kTable)
    if (folded == windows) return TString(installed);
  return std::nullopt;
}

void TFtFace::SetPixelHeight(int pixels) {
  if (pixels < 1) pixels = 1;
  if (Face->size && Face->size->metrics.y_ppem == pixels) return;
  FT_Set_Pixel_Sizes(Face, 0, static_cast<FT_UInt>(pixels));
  hb_ft_font_changed(Shaper);
}

TFtFontLibrary& TFtFontLibrary::Instance() {
  static TFtFontLibrary library;
  return library;
}

TFtFontLibrary::TFtFontLibrary() {
  if (FT_Init_FreeType(&fLibrary) != 0) fLibrary = nullptr;
}

TFtFontLibrary::~TFtFontLibrary() {
  for (auto& face : fFaces) {
    hb_font_destroy(face->Shaper);
    FT_Done_Face(face->Face);
  }
  fFaces.clear();
  if (fLibrary) FT_Done_FreeType(fLibrary);
  // Fontconfig's configuration was loaded by the first match; it goes with
  // the library so that nothing of it outlives the process's fonts.
  if (fUsedFontconfig) FcFini();
}

TFtFace* TFtFontLibrary::Open(const std::string& file, int index) {
  for (auto& face : fFaces)
    if (face->File == file && face->Index == index) return face.get();
  if (!fLibrary) return nullptr;
  FT_Face ftFace = nullptr;
  if (FT_New_Face(fLibrary, file.c_str(), index, &ftFace) != 0) return nullptr;
  if (!FT_IS_SCALABLE(ftFace)) {
    FT_Done_Face(ftFace);
    return nullptr;
  }
  auto face = std::make_unique<TFtFace>();
  face->Face = ftFace;
  face->File = file;
  face->Index = index;
  face->Family = Utf8ToString(ftFace->family_name ? ftFace->family_name : "");
  face->Bold = (ftFace->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  face->Italic = (ftFace->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  face->Shaper = hb_ft_font_create_referenced(ftFace);
  // Outlines and advances are read unhinted, so shaping must agree.
  hb_ft_font_set_load_flags(face->Shaper, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
  face->SetPixelHeight(PixelHeightFor(72));
  fFaces.push_back(std::move(face));
  return fFaces.back().get();
}

bool TFtFontLibrary::AddFontFile(const std::string& path) {
  std::lock_guard guard(fLock);
  TFtFace* face = Open(path, 0);
  if (!face) return false;
  for (TFtFace* known : fRegistered)
    if (known == face) return true;
  fRegistered.push_back(face);
  fLookups.clear();
  return true;
}

TFtFace* TFtFontLibrary::FindRegistered(TStringView family, uint8_t style) {
  const TString folded = Folded(family);
  const bool bold = style & 1, italic = style & 2;
  TFtFace* best = nullptr;
  int bestScore = -1;
  for (TFtFace* face : fRegistered) {
    if (Folded(face->Family) != folded) continue;
    const int score = (face->Bold == bold ? 2 : 0) + (face->Italic == italic ? 1 : 0);
    if (score > bestScore) best = face, bestScore = score;
  }
  return best;
}

TFtFace* TFtFontLibrary::FindFontconfig(TStringView family, uint8_t style, bool fallback) {
  fUsedFontconfig = true;
  FcPattern* pattern = FcPatternCreate();
  const std::string name = StringToUtf8(family);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, (style & 1) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, (style & 2) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return nullptr;

  TFtFace* face = nullptr;
  // Fontconfig always answers with something; only its answer for the very
  // family (or its metric-compatible stand-in) counts as that font.
  bool sameFamily = fallback;
  const TString folded = Folded(family);
  const std::optional<TString> compatible = MetricCompatibleFamily(family);
  FcChar8* matched = nullptr;
  for (int i = 0; !sameFamily && FcPatternGetString(match, FC_FAMILY, i, &matched) == FcResultMatch; ++i) {
    const TString got = Folded(Utf8ToString(reinterpret_cast<const char*>(matched)));
    sameFamily = got == folded || (compatible && got == Folded(*compatible));
  }
  FcChar8* file = nullptr;
  int index = 0;
  if (sameFamily && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    face = Open(reinterpret_cast<const char*>(file), index);
  }
  FcPatternDestroy(match);
  return face;
}

TFtFace* TFtFontLibrary::Find(TStringView family, uint8_t style, bool fallback) {
  std::lock_guard guard(fLock);
  const TString requested = family.empty() ? TString(kDefaultFamily) : TString(family);
  const auto key = std::make_pair(Folded(requested), (style & 3) | (fallback ? 4 : 0));
  if (auto it = fLookups.find(key); it != fLookups.end()) return it->second;

  const std::optional<TString> compatible = MetricCompatibleFamily(requested);
  const auto exact = [style](const TFtFace* f) { return f && f->Bold == bool(style & 1) && f->Italic == bool(style & 2); };
  TFtFace* face = FindRegistered(requested, style);
  if (!face && compatible) face = FindRegistered(*compatible, style);
  // A registered file of the family in another style gives way to an
  // installed face of the very style.
  if (!exact(face)) {
    TFtFace* installed = FindFontconfig(requested, style, false);
    if (!face || exact(installed)) face = installed ? installed : face;
  }
  if (!face && fallback) {
    face = FindRegistered(kDefaultFamily, style);
    if (!face) face = FindRegistered(u"Liberation Sans", style);
    if (!face) face = FindFontconfig(requested, style, true);
    if (!face && !fRegistered.empty()) face = fRegistered.front();
  }
  fLookups[key] = face;
  return face;
}

}  // namespace zel
