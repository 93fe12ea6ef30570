// Text and font parameters, and the "Text: " picture names that carry them:
// a text object writes its lines and parameters into such a name, and the
// slide host reads them back to render the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "core/strings.h"

namespace zel {

// Style bits shared by text and font parameters.
enum : uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

struct TTextParams {
  TString FontName;
  uint8_t Style = 0;
  uint8_t Alignment = 1;  // 0 left, 1 centre, 2 right
  int32_t LineSpacing = 0;  // extra gap = line height * LineSpacing / 200
  uint32_t Colour = 0xFFFFFFFF;  // ARGB
  double Size = 1.0;  // design units to picture pixels
  float ShiftX = 0;
  float ShiftY = 0;
  bool operator==(const TTextParams&) const = default;
};

struct TFontParams {
  TString FontName;
  float Size = 72;  // points
  uint8_t Style = 0;
  uint32_t Colour = 0x00FFFFFF;
  bool operator==(const TFontParams&) const = default;
};

inline constexpr char16_t kTextPrefix[] = u"Text: ";

// "Bold,Italic,Underline,StrikeOut" for the set bits, in that order.
TString StyleWords(uint8_t style);
// The bits of the exact words among the first four comma-separated words;
// blanks and tabs before a word are skipped.
uint8_t ParseStyleWords(TStringView words);
// The font key of the glyph caches: name + ":" + the style words.
TString FontKey(TStringView fontName, uint8_t style);

// The value with the given decimals, "." as the point, trailing zeros and a
// trailing point removed ("1", "0.5", "-2.25").
TString FormatDecimal(double value, int decimals);

// One line in the escaped form of the names: "<" -> "<<", ">" -> ">>", and
// runs of characters that change when lower-cased enclosed in "<" ... ">",
// so that the case survives case-insensitive name comparison.
TString EscapeTextLine(TStringView line);
// The inverse over a whole name.
TString UnescapeText(TStringView text);

// The lines field: the escaped lines joined by "^&" between double quotes.
TString BuildLinesField(const std::vector<TString>& lines);
// Parses an unescaped lines field: quotes removed, empty -> one space,
// "^&" separates lines, "^" with any other character is kept.
std::vector<TString> ParseLinesField(TStringView field);

// The escaped name that renders the lines with the parameters.
TString BuildTextPictureName(const TTextParams& params, const std::vector<TString>& lines);

struct TParsedTextName {
  TTextParams Params;
  std::vector<TString> Lines;
};
// Unescapes and parses a "Text: " name; fields that are missing or do not
// parse keep their defaults. Never fails.
TParsedTextName ParseTextPictureName(TStringView name);

// The fields of an escaped name split at ":" from the seventh character on
// (field 11 takes the rest); missing fields are empty.
std::vector<TString> SplitTextNameFields(TStringView name);
// "VectTxt2: " + field 0 + ":" + field 4 + ":" + field 11 of an escaped name.
TString CachedVectorTextKey(TStringView escapedName);

}  // namespace zel
