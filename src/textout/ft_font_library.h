// The installed fonts as FreeType faces: font names (Windows names included)
// resolve to font files through fontconfig and through files registered by
// path, and every face is used under one process-wide lock because FreeType
// faces are not safe to share between threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include "core/strings.h"

namespace zel {

// The screen's vertical resolution in pixels per inch: 96 until the player
// sets the display's own.
int ScreenResolution();
void SetScreenResolution(int dpi);

// The pixel size of a font of this many points at the screen's resolution.
int PixelHeightFor(double points);

// The metric-compatible family installed for a Windows family name
// ("Arial" -> "Liberation Sans"), or nothing.
std::optional<TString> MetricCompatibleFamily(TStringView family);

// One face of a font file with its shaping font.
struct TFtFace {
  FT_Face Face = nullptr;
  hb_font_t* Shaper = nullptr;
  std::string File;
  int Index = 0;
  TString Family;
  bool Bold = false;
  bool Italic = false;

  // Sizes the face (and its shaper) to the pixel height.
  void SetPixelHeight(int pixels);
  // The glyph of a code point, 0 when the face lacks it.
  uint32_t GlyphOf(char32_t c) const { return FT_Get_Char_Index(Face, c); }
};

class TFtFontLibrary {
 public:
  static TFtFontLibrary& Instance();
  ~TFtFontLibrary();

  // Everything that touches a face runs under this lock.
  std::recursive_mutex& Lock() { return fLock; }

  // Makes the faces of a file known by their family and style; they are
  // preferred over fontconfig's answers. False when the file is no font.
  bool AddFontFile(const std::string& path);

  // The face for a family and the bold and italic bits. With fallback a
  // family that is not installed gets the default face (as the platform
  // substitutes an unknown face name); without, nothing.
  TFtFace* Find(TStringView family, uint8_t style, bool fallback);

 private:
  TFtFontLibrary();
  TFtFace* Open(const std::string& file, int index);
  TFtFace* FindRegistered(TStringView family, uint8_t style);
  TFtFace* FindFontconfig(TStringView family, uint8_t style, bool fallback);

  std::recursive_mutex fLock;
  FT_Library fLibrary = nullptr;
  bool fUsedFontconfig = false;
  std::vector<std::unique_ptr<TFtFace>> fFaces;
  std::vector<TFtFace*> fRegistered;
  std::map<std::pair<TString, int>, TFtFace*> fLookups;  // folded family + style (+4 with fallback)
};

}  // namespace zel
