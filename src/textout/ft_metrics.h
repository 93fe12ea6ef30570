// Metrics of a FreeType face in the units the vector texts use: pixels at a
// given pixel height, y downwards. Callers hold the font library's lock.
#pragma once

#include <cstdint>

#include "textout/ft_font_library.h"
#include "textout/vector_text.h"

namespace zel {

// The Windows ascent and descent of the face (its OS/2 table's, else the
// face's own) at the pixel height, rounded.
int FaceAscent(const TFtFace& face, int pixels);
int FaceDescent(const TFtFace& face, int pixels);
// The ascent, descent, underline and strike-out of the face at the height.
TFontMetrics FaceFontMetrics(const TFtFace& face, int pixels);

struct TGlyphWidths {
  int32_t A = 0, B = 0, C = 0;
};
// Loads the glyph unhinted into the face's slot at its current size. A bold
// or italic request that the face itself does not answer is made up, as the
// platform does for families without such faces: the outline is thickened
// or slanted. False when the glyph cannot be loaded.
bool LoadStyledGlyph(const TFtFace& face, uint32_t glyph, uint8_t style);
// How much wider a made-up bold makes each advance, in 26.6 pixels (0 when
// the face is bold itself or bold was not asked for).
long SyntheticBoldStrength(const TFtFace& face, uint8_t style);

// The glyph's left bearing, black-box width and right bearing at the face's
// current size, read unhinted; the glyph stays loaded in the face's slot.
// False when the glyph cannot be loaded.
bool GlyphWidths(const TFtFace& face, uint32_t glyph, uint8_t style, TGlyphWidths& widths);

}  // namespace zel
