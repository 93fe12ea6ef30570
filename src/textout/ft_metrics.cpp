#include "textout/ft_metrics.h"

#include <cmath>

#include <freetype/ftoutln.h>
#include <freetype/tttables.h>

namespace zel {

namespace {

int Scaled(double units, const TFtFace& face, int pixels) {
  const double upem = face.Face->units_per_EM ? face.Face->units_per_EM : 2048;
  return static_cast<int>(std::nearbyint(units * pixels / upem));
}

const TT_OS2* Os2Of(const TFtFace& face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.Face, FT_SFNT_OS2));
  return os2 && os2->version != 0xFFFF ? os2 : nullptr;
}

}  // namespace

int FaceAscent(const TFtFace& face, int pixels) {
  if (const TT_OS2* os2 = Os2Of(face); os2 && os2->usWinAscent) return Scaled(os2->usWinAscent, face, pixels);
  return Scaled(face.Face->ascender, face, pixels);
}

int FaceDescent(const TFtFace& face, int pixels) {
  if (const TT_OS2* os2 = Os2Of(face); os2 && os2->usWinDescent) return Scaled(os2->usWinDescent, face, pixels);
  return Scaled(-face.Face->descender, face, pixels);
}

TFontMetrics FaceFontMetrics(const TFtFace& face, int pixels) {
  TFontMetrics m;
  m.Ascent = FaceAscent(face, pixels);
  m.Descent = FaceDescent(face, pixels);
  // The top of the bar, as the post table gives it (FreeType's own field is
  // the bar's centre).
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face.Face, FT_SFNT_POST));
  const double thickness = post ? post->underlineThickness : face.Face->underline_thickness;
  const double position = post ? post->underlinePosition : face.Face->underline_position + thickness / 2;
  m.UnderlinePosition = static_cast<float>(Scaled(position, face, pixels));
  m.UnderlineSize = static_cast<float>(std::max(1, Scaled(thickness, face, pixels)));
  if (const TT_OS2* os2 = Os2Of(face); os2 && os2->yStrikeoutSize > 0) {
    m.StrikeoutPosition = static_cast<float>(Scaled(os2->yStrikeoutPosition, face, pixels));
    m.StrikeoutSize = static_cast<float>(std::max(1, Scaled(os2->yStrikeoutSize, face, pixels)));
  } else {
    // Without the table: a bar as thick as the underline at a third of the ascent.
    m.StrikeoutPosition = std::nearbyint(m.Ascent / 3.0f);
    m.StrikeoutSize = m.UnderlineSize;
  }
  return m;
}

long SyntheticBoldStrength(const TFtFace& face, uint8_t style) {
  if (!(style & 1) || face.Bold || !face.Face->size) return 0;
  // FreeType's own emboldening strength: a 24th of the em.
  return face.Face->size->metrics.y_ppem * 64L / 24;
}

bool LoadStyledGlyph(const TFtFace& face, uint32_t glyph, uint8_t style) {
  if (FT_Load_Glyph(face.Face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
  FT_GlyphSlot slot = face.Face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return true;
  if (const long strength = SyntheticBoldStrength(face, style)) {
    FT_Outline_EmboldenXY(&slot->outline, strength, 0);
  }
  if ((style & 2) && !face.Italic) {
    // The slant FreeType uses for oblique faces (about 12 degrees).
    FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
    FT_Outline_Transform(&slot->outline, &shear);
  }
  return true;
}

bool GlyphWidths(const TFtFace& face, uint32_t glyph, uint8_t style, TGlyphWidths& widths) {
  if (!LoadStyledGlyph(face, glyph, style)) return false;
  const FT_GlyphSlot slot = face.Face->glyph;
  const long strength = SyntheticBoldStrength(face, style);
  const int advance = static_cast<int>(std::nearbyint(slot->linearHoriAdvance / 65536.0 + strength / 64.0));
  double left = slot->metrics.horiBearingX, right = slot->metrics.horiBearingX + slot->metrics.width;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0) {
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    left = static_cast<double>(box.xMin);
    right = static_cast<double>(box.xMax);
  } else if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    left = right = 0;
  }
  widths.A = static_cast<int32_t>(std::nearbyint(left / 64.0));
  widths.B = static_cast<int32_t>(std::nearbyint(right / 64.0)) - widths.A;
  widths.C = advance - widths.A - widths.B;
  return true;
}

}  // namespace zel
