// Text types and the conversions at the edges of the system.
//
// Every string inside the player is UTF-16 (`TString`), so that hashes,
// indexes and case rules work on UTF-16 code units. File names, the log and
// exception messages are UTF-8 (`std::string`); convert only where text
// enters or leaves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

using TString = std::u16string;
using TStringView = std::u16string_view;

// UTF-8 to UTF-16. Malformed sequences become U+FFFD.
TString Utf8ToString(std::string_view text);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string StringToUtf8(TStringView text);

// Plain 7-bit text (literals, numbers) widened unit by unit.
TString AsciiToString(std::string_view text);

// Case mapping of each code point through the Unicode tables.
TString LowerCase(TStringView text);
TString UpperCase(TStringView text);

// Case-insensitive comparison by Unicode case folding: <0, 0 or >0.
int CompareTextIgnoreCase(TStringView a, TStringView b);
bool SameText(TStringView a, TStringView b);

TString IntToStr(int64_t value);
// A decimal integer with an optional sign and surrounding blanks; nothing
// when the text is not a number or does not fit in 64 bits.
std::optional<int64_t> TryStrToInt(TStringView text);
int64_t StrToIntDef(TStringView text, int64_t defaultValue);

}  // namespace zel
